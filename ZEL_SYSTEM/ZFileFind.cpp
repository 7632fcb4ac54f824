#include "ZEL_SYSTEM/ZFileFind.h"

#include <string>

#include "ZEL_UTIL/ZPath.h"

ZFileFind::~ZFileFind() { closeSearch(); }

void ZFileFind::closeSearch() {
  if (findHandle) zos::findClose(findHandle);
  findHandle = nullptr;
}

int ZFileFind::findFirst(const ZString& newPattern) {
  pattern = newPattern;
  int separator = ZPath::lastSeparator(pattern);
  directory = separator < 0 ? ZString() : pattern.left(separator);
  closeSearch();
  findData = zos::FindData();
  findHandle = zos::findFirstFile(pattern, findData);
  return findHandle ? 1 : 0;
}

int ZFileFind::findNext() {
  if (!findHandle) return 0;
  return zos::findNextFile(findHandle, findData) ? 1 : 0;
}

ZString ZFileFind::getName() const { return ZString(findData.name); }

int ZFileFind::isDots() const {
  ZString name = getName();
  return (name == "." || name == "..") ? 1 : 0;
}

ZString ZFileFind::getFullPath() const {
  // A pattern without a directory searched the current one: the name alone is resolved there.
  ZString path;
  int separator = ZPath::lastSeparator(pattern);
  if (separator == 0) {
    path = pattern.left(1);  // the root
  } else if (separator > 0) {
    path = directory;
    path += zos::pathSeparator();
  }
  path += getName();
  std::string full;
  if (!zos::fullPathName(path, full)) return ZString();
  return ZString(full.c_str(), static_cast<int>(full.size()));
}

int ZFileFind::exists(const ZString& path) {
  ZString searched = path;
  // A directory named with a trailing separator is searched by its name.
  while (searched.getLength() > 1 && ZPath::lastSeparator(searched) == searched.getLength() - 1 &&
         searched.getAt(searched.getLength() - 2) != ':')
    searched = searched.left(searched.getLength() - 1);
  ZFileFind find;
  return find.findFirst(searched);
}

int ZFileFind::findFiles(const ZString& directory, ZStringList& list, const ZString& pattern) {
  int before = list.getCount();
  ZFileFind find;
  ZString base = directory;
  base += zos::pathSeparator();
  if (find.findFirst(base + pattern)) {
    do {
      if (find.isDots()) continue;
      if (find.isDirectory())
        findFiles(base + find.getName(), list, pattern);
      else
        list.add(find.getFullPath());
    } while (find.findNext());
  }
  return list.getCount() - before;
}
