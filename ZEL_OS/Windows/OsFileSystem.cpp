#include "ZEL_OS/Windows/WinApi.h"
#include "ZEL_OS/OsError.h"
#include "ZEL_OS/OsFileSystem.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace zos {

namespace {

const char* textOf(const char* text) { return text ? text : ""; }

// The runtime library's search handles are numbers with -1 for failure; this layer's handles
// are pointers with 0 for failure, so each search keeps its number in a small record.
struct Search {
  intptr_t handle;
};

void fillEntry(const _finddata_t& found, FindData& data) {
  data = FindData();
  data.attributes = found.attrib;
  data.createTime = found.time_create;
  data.accessTime = found.time_access;
  data.writeTime = found.time_write;
  data.size = found.size;
  std::memcpy(data.name, found.name, strnlen(found.name, sizeof data.name - 1));
}

// The runtime library reports its failures in errno; the layer keeps the system's number.
void captureRuntimeError() {
  switch (errno) {
    case ENOENT: setLastError(ERROR_FILE_NOT_FOUND); break;
    case EINVAL: setLastError(ERROR_INVALID_PARAMETER); break;
    default: captureLastError(); break;
  }
}

}  // namespace

Handle findFirstFile(const char* pattern, FindData& data) {
  _finddata_t found;
  intptr_t handle = _findfirst(textOf(pattern), &found);
  if (handle == -1) {
    captureRuntimeError();
    return nullptr;
  }
  fillEntry(found, data);
  return new Search{handle};
}

bool findNextFile(Handle search, FindData& data) {
  if (!search) return false;
  _finddata_t found;
  if (_findnext(static_cast<Search*>(search)->handle, &found) != 0) {
    captureRuntimeError();
    return false;
  }
  fillEntry(found, data);
  return true;
}

void findClose(Handle search) {
  if (!search) return;
  _findclose(static_cast<Search*>(search)->handle);
  delete static_cast<Search*>(search);
}

bool fullPathName(const char* path, std::string& fullPath) {
  char buffer[MAX_PATH] = {0};
  DWORD length = GetFullPathNameA(textOf(path), MAX_PATH, buffer, nullptr);
  if (length == 0 || length >= MAX_PATH) {
    if (length == 0)
      captureLastError();
    else
      setLastError(ERROR_FILENAME_EXCED_RANGE);
    fullPath.clear();
    return false;
  }
  fullPath = buffer;
  return true;
}

bool currentDirectory(std::string& directory) {
  char buffer[2049] = {0};
  DWORD length = GetCurrentDirectoryA(sizeof buffer, buffer);
  if (length == 0 || length >= sizeof buffer) {
    if (length == 0) captureLastError();
    else setLastError(ERROR_FILENAME_EXCED_RANGE);
    directory.clear();
    return false;
  }
  directory = buffer;
  return true;
}

bool tempPath(std::string& directory) {
  char buffer[MAX_PATH + 1] = {0};
  DWORD length = GetTempPathA(MAX_PATH, buffer);
  if (length == 0 || length > MAX_PATH) {
    if (length == 0) captureLastError();
    else setLastError(ERROR_FILENAME_EXCED_RANGE);
    directory.clear();
    return false;
  }
  directory = buffer;
  return true;
}

bool tempFileName(const char* directory, const char* prefix, unsigned unique, std::string& name) {
  char buffer[MAX_PATH] = {0};
  if (GetTempFileNameA(textOf(directory), textOf(prefix), unique, buffer) == 0) {
    captureLastError();
    name.clear();
    return false;
  }
  name = buffer;
  return true;
}

void splitPath(const char* path, std::string& drive, std::string& directory, std::string& title,
               std::string& extension) {
  // Each part gets a buffer as long as the whole path, so no part is ever cut.
  std::vector<char> d(_MAX_DRIVE + 1), dir(std::strlen(textOf(path)) + 1),
      fname(std::strlen(textOf(path)) + 1), ext(std::strlen(textOf(path)) + 1);
  _splitpath_s(textOf(path), d.data(), d.size(), dir.data(), dir.size(), fname.data(),
               fname.size(), ext.data(), ext.size());
  drive = d.data();
  directory = dir.data();
  title = fname.data();
  extension = ext.data();
}

bool createDirectory(const char* path) {
  if (!CreateDirectoryA(textOf(path), nullptr)) {
    captureLastError();
    return false;
  }
  return true;
}

bool isPathNotFound(int error) { return error == ERROR_PATH_NOT_FOUND; }

bool deleteFile(const char* path) {
  if (!DeleteFileA(textOf(path))) {
    captureLastError();
    return false;
  }
  return true;
}

bool copyFile(const char* source, const char* destination, bool failIfExists) {
  if (!CopyFileA(textOf(source), textOf(destination), failIfExists ? TRUE : FALSE)) {
    captureLastError();
    return false;
  }
  return true;
}

bool streamIsDirectory(std::FILE*) { return false; }

std::string finalLinkTarget(const std::string& path) { return path; }

bool truncateStream(std::FILE* stream, std::int64_t position) {
  if (!stream) {
    setLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  std::fflush(stream);
  HANDLE file = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  LARGE_INTEGER at;
  at.QuadPart = position;
  if (file == INVALID_HANDLE_VALUE || !SetFilePointerEx(file, at, nullptr, FILE_BEGIN) ||
      !SetEndOfFile(file)) {
    captureLastError();
    return false;
  }
  return true;
}

char pathSeparator() { return '\\'; }

bool environmentVariable(const char* name, std::string& value) {
  value.clear();
  std::vector<char> buffer(2000, '\0');
  SetLastError(0);
  DWORD length = GetEnvironmentVariableA(textOf(name), buffer.data(), buffer.size());
  if (length >= buffer.size()) {
    // The value needs more room: ask once more with its length.
    buffer.assign(length + 1, '\0');
    length = GetEnvironmentVariableA(textOf(name), buffer.data(), buffer.size());
  }
  if (length == 0 && GetLastError() != ERROR_ENVVAR_NOT_FOUND) return true;  // set, but empty
  if (length == 0 || length >= buffer.size()) {
    captureLastError();
    return false;
  }
  value.assign(buffer.data(), length);
  return true;
}

bool setEnvironmentVariable(const char* name, const char* value) {
  if (!SetEnvironmentVariableA(textOf(name), value)) {
    captureLastError();
    return false;
  }
  // The runtime library keeps a copy of its own that getenv reads.
  std::string entry = std::string(textOf(name)) + "=" + (value ? value : "");
  _putenv(entry.c_str());
  return true;
}

bool specialFolderPath(int folder, bool create, std::string& path) {
  char buffer[MAX_PATH] = {0};
  if (!SHGetSpecialFolderPathA(nullptr, buffer, folder, create ? TRUE : FALSE)) {
    captureLastError();
    path.clear();
    return false;
  }
  path = buffer;
  return true;
}

}  // namespace zos
