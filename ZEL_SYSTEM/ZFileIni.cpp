#include "ZEL_SYSTEM/ZFileIni.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "ZEL_OS/OsError.h"
#include "ZEL_OS/OsFileSystem.h"
#include "ZEL_SYSTEM/ZFile.h"
#include "ZEL_SYSTEM/ZFileFind.h"
#include "ZEL_SYSTEM/ZFileSystem.h"
#include "ZEL_SYSTEM/ZSystem.h"
#include "ZEL_UTIL/ZMapStringToNum.h"
#include "ZEL_UTIL/ZMapStringToString.h"
#include "ZEL_UTIL/ZStringList.h"

// Positions in content of one section and, when a key was asked for, of its line. Each is -1 until
// found. The body runs from bodyStart to bodyEnd inclusive: up to the "\n" of the next "\r\n[", or
// bodyEnd is the length of content when no section follows.
struct ZFileIni::Location {
  int sectionStart = -1;
  int bodyStart = -1;
  int bodyEnd = -1;
  int keyStart = -1;
  int valueStart = -1;
  int valueEnd = -1;  // the last character of the value; valueStart - 1 for an empty value
};

namespace {

// The file's text may hold zero bytes (a damaged or binary file): the searches go over all of its
// bytes, so a section or key behind such a byte is still found and never added a second time.
int findInText(const ZString& text, const ZString& what, int start = 0) {
  if (start < 0) start = 0;
  const char* begin = text.getBuffer();
  const char* end = begin + text.getLength();
  if (start >= text.getLength()) return -1;
  const char* hit = std::search(begin + start, end, what.getBuffer(), what.getBuffer() + what.getLength());
  return hit == end ? -1 : static_cast<int>(hit - begin);
}

int findCharInText(const ZString& text, char ch, int start = 0) {
  if (start < 0) start = 0;
  const char* begin = text.getBuffer();
  const char* end = begin + text.getLength();
  if (start >= text.getLength()) return -1;
  const char* hit = std::find(begin + start, end, ch);
  return hit == end ? -1 : static_cast<int>(hit - begin);
}

// A masked file begins with this header and a decimal number; on disk every byte from
// maskedFrom on is XORed with the mask byte. In memory the '+' at maskFlagAt becomes '-', which
// tells save to mask the text again.
const char* const maskedHeader = "[zelContentMask+";
const char* const unmaskedHeader = "[zelContentMask-";
const int maskNumberAt = 16;
const int maskFlagAt = 15;
const int maskedFrom = 22;
// The number is read only from the characters in front of the masked bytes: digits from
// maskedFrom on would read differently masked and unmasked, and a file saved with a long
// number would open with another mask byte.
const int maskNumberLength = maskedFrom - maskNumberAt;

unsigned char maskByte(const ZString& content) {
  int number = content.mid(maskNumberAt, maskNumberLength).toInt();
  return static_cast<unsigned char>((number & 0xFF) - ZFileIni::contentMaskOffset);
}

void applyMask(ZString& content, unsigned char mask) {
  char* text = content.getWritableBuffer();
  for (int i = maskedFrom; i < content.getLength(); ++i) text[i] = static_cast<char>(text[i] ^ mask);
}

bool isBlank(char ch) { return static_cast<unsigned char>(ch) <= 0x20; }

// Writes text as the new content of path. It goes to a new file beside the old one first, which
// then takes the old one's place in one step: a failure on the way (a full disk, a crash, a power
// loss) leaves the old file as it was.
int replaceFileContent(const ZString& path, const ZString& text, ZString& errorText) {
  ZString fullPath = ZFileSystem::getFullPathName(path);
  if (fullPath.isEmpty()) fullPath = path;
  // Through a symbolic link: the file it points to gets the new text, and the link stays a link.
  const std::string target = zos::finalLinkTarget(std::string(fullPath.getBuffer(), fullPath.getLength()));
  fullPath = ZString(target.c_str(), static_cast<int>(target.size()));
  ZString directory = ZFileSystem::getDirectory(fullPath) + ZString(zos::pathSeparator());

  // The new file is made quietly: when it cannot be made, the box names the file to be written,
  // as it would had that file been opened for writing.
  ZFile file;
  if (!file.createTempFile("ini", directory, 1)) {
    errorText = ZFile::showOpenFailure(path);
    return 0;
  }
  ZString tempPath = file.getFileName();
  int result = file.writeText(text);
  if (result && !zos::flushStreamToDisk(file.getStream())) {
    errorText = ZString("Fehler beim Schreiben: ") + ZSystem::getErrorText(zos::lastError());
    result = 0;
  } else if (!result) {
    errorText = file.errorText;
  }
  file.close();
  if (result && !zos::replaceFile(tempPath, fullPath)) {
    errorText = ZFile::showOpenFailure(path);
    result = 0;
  }
  if (!result) std::remove(tempPath);
  return result;
}

// Whether name matches one alternative of a section name pattern.
bool matchesPattern(const ZString& name, const ZString& pattern) {
  if (pattern == "*") return true;
  if (pattern.endsWith("*")) return name.startsWith(pattern.left(pattern.getLength() - 1));
  if (pattern.startsWith("*")) return name.endsWith(pattern.mid(1));
  return name == pattern;
}

}  // namespace

ZFileIni::ZFileIni() = default;

ZFileIni::~ZFileIni() {
  if (errorText.isEmpty() && modified == 1) save();
}

int ZFileIni::open(const ZString& name, int create, int readOnlyFlag) {
  // Pending changes go to the file they belong to; a read-only or closed object has none to keep.
  if (modified == 1 && isOpen() && !readOnly) {
    if (!save()) return 0;
  }
  readOnly = readOnlyFlag;
  errorText = "";
  fileName = name;

  ZFile file;
  int opened = (create == 1 && !ZFileFind::exists(name)) ? file.open(name, "w+b", 1)
                                                         : file.open(name, "rb", 1);
  if (!opened) {
    errorText = ZSystem::getErrorText(zos::lastError());
    fileName = "";
    return 0;
  }
  content = file.readText(-1);
  file.close();
  modified = 0;

  if (content.startsWith(maskedHeader)) {
    applyMask(content, maskByte(content));
    content.setAt(maskFlagAt, '-');
  }
  if (!content.endsWith("\r\n")) content += "\r\n";
  return 1;
}

int ZFileIni::create(const ZString& name) {
  if (errorText.isEmpty() && modified == 1) save();
  fileName = name;
  ZFile file;
  int result = file.create(name, 1);
  if (!result) errorText = ZSystem::getErrorText(zos::lastError());
  file.close();
  return result;
}

int ZFileIni::save() {
  errorText = "";
  if (fileName.isEmpty() || readOnly == 1) return 0;

  bool masked = content.startsWith(unmaskedHeader);
  unsigned char mask = 0;
  if (masked) {
    mask = maskByte(content);
    applyMask(content, mask);
    content.setAt(maskFlagAt, '+');
  }

  int result = replaceFileContent(fileName, content, errorText);
  if (result) modified = 0;

  // With a mask byte of 0 the text is unchanged and keeps its '+': later saves write it as it is.
  if (masked && mask != 0) {
    applyMask(content, mask);
    content.setAt(maskFlagAt, '-');
  }
  return result;
}

bool ZFileIni::locate(const ZString& section, const ZString& key, Location& where) const {
  where = Location();
  ZString header = ZString("[") + section + "]";
  if (content.startsWith(header)) {
    where.sectionStart = 0;
  } else {
    int found = findInText(content, ZString("\r\n") + header);
    if (found < 0) return false;
    where.sectionStart = found + 2;
  }

  const char* text = content.getBuffer();
  int length = content.getLength();
  int pos = where.sectionStart + header.getLength();
  while (pos < length && text[pos] == ' ') ++pos;
  if (pos < length && text[pos] == '\r') ++pos;
  if (pos < length && text[pos] == '\n') ++pos;
  where.bodyStart = pos;

  if (pos < length && text[pos] == '[') {
    where.bodyEnd = pos - 1;
  } else {
    int next = findInText(content, "\r\n[", pos);
    where.bodyEnd = next >= 0 ? next + 1 : length;
  }
  if (key.isEmpty()) return true;

  int line = findInText(content, ZString("\r\n") + key + "=", where.bodyStart - 2);
  if (line < 0 || line >= where.bodyEnd) return false;
  where.keyStart = line + 2;
  where.valueStart = line + key.getLength() + 3;
  int lineEnd = findCharInText(content, '\r', where.valueStart);
  where.valueEnd = (lineEnd >= 0 ? lineEnd : length) - 1;
  return true;
}

ZString ZFileIni::getValue(const ZString& section, const ZString& key,
                           const ZString& defaultValue) {
  Location where;
  if (key.isEmpty() || !locate(section, key, where)) return defaultValue;
  return content.mid(where.valueStart, where.valueEnd - where.valueStart + 1);
}

int ZFileIni::getInt(const ZString& section, const ZString& key, int defaultValue) {
  return getValue(section, key, ZString::fromInt(defaultValue)).toInt();
}

void ZFileIni::setValue(const ZString& section, const ZString& key, const ZString& value) {
  if (key.isEmpty()) return;  // a line without a key could never be read back
  modified = 1;
  Location where;
  bool found = locate(section, key, where);
  if (where.sectionStart < 0) {
    content += ZString("\r\n[") + section + "]\r\n" + key + "=" + value + "\r\n";
  } else if (!found) {
    content.insert(where.bodyEnd + 1, key + "=" + value + "\r\n");
  } else if (!value.isEmpty()) {
    content.remove(where.valueStart, where.valueEnd - where.valueStart + 1);
    content.insert(where.valueStart, value);
  } else {
    content.remove(where.keyStart, where.valueEnd - where.keyStart + 1 + 2);
  }
}

void ZFileIni::setInt(const ZString& section, const ZString& key, int value) {
  setValue(section, key, ZString::fromInt(value));
}

ZString ZFileIni::getSectionText(const ZString& section) {
  ZString text = ZString("\r\n") + content;
  ZString header = ZString("\r\n[") + section + "]";
  int found = findInText(text, header);
  if (found < 0) return ZString();

  const char* chars = text.getBuffer();
  int length = text.getLength();
  int start = found + header.getLength();
  while (start < length && chars[start] == ' ') ++start;
  // The body ends at the next header; line ends in front of it belong to no body, so an empty
  // section directly followed by another one stays empty.
  int end = findInText(text, "\r\n[", start);
  if (end < 0) end = length;
  while (start < end && (chars[start] == '\r' || chars[start] == '\n')) ++start;
  if (start >= end) return ZString();

  ZString body = text.mid(start, end - start);
  if (!body.endsWith("\r\n")) body += "\r\n";
  return body;
}

int ZFileIni::setSectionText(const ZString& section, const ZString& text) {
  ZString body(text);
  if (!body.endsWith("\r\n")) body += "\r\n";
  Location where;
  bool found = locate(section, ZString(), where);
  modified = 1;
  if (!found) {
    content += ZString("\r\n\r\n[") + section + "]\r\n" + body;
  } else {
    int count = where.bodyEnd - where.bodyStart + 1;
    if (count > 0) content.remove(where.bodyStart, count);
    content.insert(where.bodyStart, body);
  }
  return found ? 1 : 0;
}

int ZFileIni::renameSection(const ZString& oldName, const ZString& newName) {
  modified = 1;
  Location where;
  if (!locate(oldName, ZString(), where)) return 0;
  content.remove(where.sectionStart + 1, oldName.getLength());
  content.insert(where.sectionStart + 1, newName);
  return 1;
}

int ZFileIni::readLines(const ZString& section, ZStringList* keys, ZStringList* values,
                        int skipComments, ZMapStringToString* textMap, ZMapStringToNum* numberMap) {
  ZString body = getSectionText(section);
  body.trim();
  if (body.isEmpty()) return 0;

  const char* chars = body.getBuffer();
  int length = body.getLength();
  int pos = 0;
  int taken = 0;
  for (;;) {
    while (pos < length && isBlank(chars[pos])) ++pos;
    int end = pos;
    while (end < length && chars[end] != '\r' && chars[end] != '\n') ++end;
    ZString line = body.mid(pos, end - pos);
    line.trim();
    pos = end;
    if (line.isEmpty()) break;
    if (skipComments == 1 && line.startsWith(";")) continue;

    if (keys != nullptr && values == nullptr) {
      keys->add(line, false);
    } else {
      int equals = line.findChar('=');
      ZString key = equals >= 0 ? line.left(equals) : ZString();
      ZString value = equals >= 0 ? line.mid(equals + 1) : line;
      key.trim();
      value.trim();
      if (keys != nullptr) keys->add(key, false);
      if (values != nullptr) values->add(value, false);
      if (textMap != nullptr) textMap->set(key, value);
      if (numberMap != nullptr) numberMap->set(key, value.toInt());
    }
    ++taken;
  }
  return taken;
}

int ZFileIni::getKeys(const ZString& section, ZStringList& keys, ZStringList* values,
                      int skipComments) {
  keys.clear();
  if (values != nullptr) values->clear();
  return readLines(section, &keys, values, skipComments, nullptr, nullptr);
}

int ZFileIni::readSection(const ZString& section, ZMapStringToString& map, int clearFirst) {
  if (clearFirst) map.clear();
  return readLines(section, nullptr, nullptr, 1, &map, nullptr);
}

int ZFileIni::readSection(const ZString& section, ZMapStringToNum& map, int clearFirst) {
  if (clearFirst) map.clear();
  return readLines(section, nullptr, nullptr, 1, nullptr, &map);
}

int ZFileIni::writeSection(const ZString& section, const ZMapStringToString& map) {
  return setSectionText(section, map.toText("=", "\r\n"));
}

int ZFileIni::getSectionNames(ZStringList& names, const ZString& patterns, ZStringList* texts) {
  names.clear();
  if (texts != nullptr) texts->clear();

  ZStringList alternatives;
  alternatives.split(patterns, "|");
  const char* chars = content.getBuffer();
  int count = 0;
  for (int a = 0; a < alternatives.getCount(); ++a) {
    ZString pattern = alternatives.getAt(a);
    if (pattern.isEmpty()) break;

    int header = chars[0] == '[' ? 0 : -1;
    if (header < 0) {
      int next = findInText(content, "\r\n[");
      header = next >= 0 ? next + 2 : -1;
    }
    while (header >= 0) {
      int close = findCharInText(content, ']', header + 1);
      int next = findInText(content, "\r\n[", header + 1);
      if (close >= 0) {
        ZString name = content.mid(header + 1, close - header - 1);
        if (matchesPattern(name, pattern) && names.find(name, 0) < 0) {
          names.add(name, false);
          ++count;
          if (texts != nullptr) {
            int bodyEnd = next >= 0 ? next : content.getLength();
            ZString body = content.mid(close + 1, bodyEnd - close - 1);
            body.trim();
            texts->add(body, false);
          }
        }
      }
      header = next >= 0 ? next + 2 : -1;
    }
  }
  return count;
}

int ZFileIni::getList(const ZString& section, ZStringList& list) {
  getKeys(section, list, nullptr, 1);
  if (list.getCount() > 0 && list.getAt(0).startsWith("maxEntries=")) list.removeAt(0);
  return list.getCount();
}

void ZFileIni::writeList(const ZString& section, ZStringList& list, int limit) {
  list.insertAt(0, ZString("maxEntries=") + ZString::fromInt(limit));
  setSectionText(section, list.join("\r\n"));
}

void ZFileIni::addToList(const ZString& section, const ZString& entry) {
  int limit = getInt(section, "maxEntries", 10);
  ZStringList list;
  getList(section, list);
  list.insertAt(0, entry);

  // An older entry of the same key goes: the whole entry, or "key=" and any value.
  int equals = entry.findChar('=');
  ZString keyPart = equals >= 0 ? entry.left(equals) : entry;
  ZString keyPrefix = keyPart + "=";
  for (int i = list.getCount() - 1; i >= 1; --i) {
    const ZString& item = list.getAt(i);
    if (item == keyPart || item.startsWith(keyPrefix)) list.removeAt(i);
  }
  while (list.getCount() > 0 && list.getCount() > limit) list.removeAt(list.getCount() - 1);
  writeList(section, list, limit);
}

void ZFileIni::removeFromList(const ZString& section, const ZString& entry) {
  int limit = getInt(section, "maxEntries", 10);
  ZStringList list;
  getList(section, list);
  list.removeEqual(entry);
  writeList(section, list, limit);
}
