// ZFileIni: a configuration file of "[section]" headers and key=value lines, kept in memory as one
// text and edited in place. save writes the text back as a whole; the destructor saves pending
// changes. A file whose first line begins with "[zelContentMask+" has its content masked on
// disk; it is unmasked while in memory and masked again when written.
#pragma once

#include "ZEL_UTIL/ZString.h"

class ZStringList;
class ZMapStringToString;
class ZMapStringToNum;

class ZFileIni {
 public:
  // The mask byte of a masked file is the low byte of its header number minus this offset.
  static constexpr unsigned char contentMaskOffset = 0x5D;

  ZFileIni();
  ZFileIni(const ZFileIni&) = delete;
  ZFileIni& operator=(const ZFileIni&) = delete;

  virtual const char* getClassName() const { return className(); }
  virtual const char* className() const { return "ZFileIni"; }
  virtual ~ZFileIni();

  // Loads name into content; with create 1 a missing file is created empty. While readOnly is 1,
  // save writes nothing.
  int open(const ZString& name, int create = 0, int readOnly = 0);
  // Takes a new file name and creates (or empties) that file; content stays for the next save.
  int create(const ZString& name);
  // Writes content to the file. The old file is replaced in one step, so an interrupted save
  // leaves either the old or the new content, never a part of it.
  int save();
  int isOpen() const { return fileName.isEmpty() ? 0 : 1; }

  ZString getValue(const ZString& section, const ZString& key, const ZString& defaultValue);
  int getInt(const ZString& section, const ZString& key, int defaultValue);
  // Sets, adds or, for an empty value, removes the key.
  void setValue(const ZString& section, const ZString& key, const ZString& value);
  void setInt(const ZString& section, const ZString& key, int value);

  ZString getSectionText(const ZString& section);
  // Replaces the body of the section or adds the section; 1 if it was there before.
  int setSectionText(const ZString& section, const ZString& text);
  int renameSection(const ZString& oldName, const ZString& newName);

  // The lines of a section as keys (and values, when a values list is given); returns how many.
  int getKeys(const ZString& section, ZStringList& keys, ZStringList* values, int skipComments);
  int readSection(const ZString& section, ZMapStringToString& map, int clearFirst);
  int readSection(const ZString& section, ZMapStringToNum& map, int clearFirst);
  int writeSection(const ZString& section, const ZMapStringToString& map);

  // The names of the sections that match patterns: alternatives separated by "|", each "*",
  // "prefix*", "*suffix" or a whole name. With texts, the body of each named section as well.
  int getSectionNames(ZStringList& names, const ZString& patterns, ZStringList* texts);

  // Lists of recently used entries, newest first, limited by the section's "maxEntries".
  int getList(const ZString& section, ZStringList& list);
  void addToList(const ZString& section, const ZString& entry);
  void removeFromList(const ZString& section, const ZString& entry);

  ZString errorText;
  int modified = 0;
  ZString fileName;
  ZString content;
  int readOnly = 0;

 private:
  struct Location;
  bool locate(const ZString& section, const ZString& key, Location& where) const;
  int readLines(const ZString& section, ZStringList* keys, ZStringList* values, int skipComments,
                ZMapStringToString* textMap, ZMapStringToNum* numberMap);
  void writeList(const ZString& section, ZStringList& list, int limit);
};
