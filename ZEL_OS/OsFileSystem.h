// Files, directories, paths and the environment. Paths may use "\" or "/" on every platform;
// paths the layer builds use pathSeparator(). Every failing call leaves the system's error
// number in lastError().
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

#include "ZEL_OS/OsTypes.h"

namespace zos {

// Attribute bits of a directory entry.
constexpr unsigned fileAttributeReadOnly = 0x01;
constexpr unsigned fileAttributeHidden = 0x02;
constexpr unsigned fileAttributeDirectory = 0x10;
constexpr unsigned fileAttributeArchive = 0x20;

// Special folders: the user's own application data, and that of all users.
constexpr int folderUserAppData = 0x1A;
constexpr int folderCommonAppData = 0x23;

// One entry of a directory search. Times are seconds since 1970.
struct FindData {
  unsigned attributes = 0;
  std::int64_t createTime = 0;
  std::int64_t accessTime = 0;
  std::int64_t writeTime = 0;
  std::uint64_t size = 0;
  char name[260] = {0};
};

// Searches one directory for a pattern (a path whose last part may hold "*" and "?"; "*.*"
// matches every name). The entries "." and ".." come as they do on Windows. Returns a search
// handle (0 when nothing matched or the directory cannot be read) with the first entry.
Handle findFirstFile(const char* pattern, FindData& data);
bool findNextFile(Handle search, FindData& data);
void findClose(Handle search);

// The path's absolute form, relative to the current directory; "." and ".." parts resolved,
// without asking whether it exists. false on failure (a form longer than 259 characters on
// Windows).
bool fullPathName(const char* path, std::string& fullPath);

bool currentDirectory(std::string& directory);

// The directory for temporary files, ending with the separator.
bool tempPath(std::string& directory);

// A temporary file name in the directory made from the prefix and the number; with 0 the name
// is unique and the empty file is created. false on failure.
bool tempFileName(const char* directory, const char* prefix, unsigned unique, std::string& name);

// Splits a path as the runtime library does: drive ("C:", empty where there are no drives),
// directory (with its trailing separator), file title and extension (with its ".").
void splitPath(const char* path, std::string& drive, std::string& directory, std::string& title,
               std::string& extension);

// Creates one directory. isPathNotFound tells the error of a missing parent.
bool createDirectory(const char* path);
bool isPathNotFound(int error);

bool deleteFile(const char* path);

// Copies the file's contents and permissions; with failIfExists an existing destination makes
// it fail. Copying a file onto itself fails.
bool copyFile(const char* source, const char* destination, bool failIfExists);

// Whether an opened stream is a directory (lastError(): EISDIR then). POSIX opens a directory
// for reading like a file; Windows refuses to, so there it is never true.
bool streamIsDirectory(std::FILE* stream);

// Cuts the stream's file at the position (after flushing the stream).
bool truncateStream(std::FILE* stream, std::int64_t position);

char pathSeparator();

// The variable's value; false (and empty) when it is not set.
bool environmentVariable(const char* name, std::string& value);

// Sets the variable for this process and the programs it starts; a null value removes it.
bool setEnvironmentVariable(const char* name, const char* value);

// The path of a special folder (ids above); with create it is made when missing.
bool specialFolderPath(int folder, bool create, std::string& path);

// Writing a file so that it is never seen half written: its new content goes to a file beside it,
// which is brought to the disk and then takes the old file's place in one step.

// Writes what the stream buffers and waits until the system has the file's data on the disk.
bool flushStreamToDisk(std::FILE* stream);

// The file a path finally names: a symbolic link is followed, also through a chain of links (a
// relative link is taken from its own directory), so that a file is replaced where it really is
// and the link stays. A path that is no link comes back as it is. POSIX; Windows gives the path.
std::string finalLinkTarget(const std::string& path);

// Moves the file source to target in one step, replacing a file that is there; a failure leaves
// target as it was. An existing target's access rights carry over to the new file.
bool replaceFile(const char* source, const char* target);

}  // namespace zos
