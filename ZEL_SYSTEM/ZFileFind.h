// ZFileFind: searches a directory for names that match a pattern ("*" and "?" in its last part),
// one entry at a time. Paths may separate their parts with "\" or "/".
#pragma once
#include <cstdint>

#include "ZEL_OS/OsFileSystem.h"
#include "ZEL_UTIL/ZString.h"
#include "ZEL_UTIL/ZStringList.h"
#include "ZEL_UTIL/ZTime.h"

class ZFileFind {
 public:
  static constexpr unsigned attributeDirectory = 0x10;

  ZFileFind() = default;
  ZFileFind(const ZFileFind&) = delete;
  ZFileFind& operator=(const ZFileFind&) = delete;

  virtual const char* getClassName() const { return className(); }
  virtual const char* className() const { return "ZFileFind"; }
  virtual ~ZFileFind();

  // Starts a search (ending one still open); 1 if an entry was found.
  int findFirst(const ZString& pattern);
  // 1 if a further entry was found.
  int findNext();

  // The current entry.
  ZString getName() const;
  unsigned getAttributes() const { return findData.attributes; }
  std::uint64_t getSize() const { return findData.size; }
  int isDirectory() const { return (findData.attributes & attributeDirectory) ? 1 : 0; }
  int isDots() const;
  ZTime getWriteTime() const { return ZTime(static_cast<std::int32_t>(findData.writeTime)); }
  ZTime getCreateTime() const { return ZTime(static_cast<std::int32_t>(findData.createTime)); }

  // The entry's absolute path: the pattern's directory and the name.
  ZString getFullPath() const;

  // 1 if a search for the path finds anything: a file or a directory (wildcards allowed).
  static int exists(const ZString& path);

  // Appends the full paths of the files that match the pattern in the directory and in its
  // subdirectories whose names match it too; returns how many were appended.
  static int findFiles(const ZString& directory, ZStringList& list, const ZString& pattern);

  zos::Handle findHandle = nullptr;  // 0 while no search is open
  zos::FindData findData;
  ZString pattern;
  ZString directory;  // the pattern up to its last separator, empty if it has none

 private:
  void closeSearch();
};
