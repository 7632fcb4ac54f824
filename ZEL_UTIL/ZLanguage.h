// ZLanguage: the table that translates marked texts. A marked text begins with the marker
// 0xB3 0xB3, then the key, the marker again and the default text. Every ZString store hands its
// text to translate first; unmarked texts come back unchanged after a look at two bytes.
#pragma once

#include "ZEL_OS/OsTypes.h"
#include "ZEL_UTIL/ZString.h"

class ZLanguage {
 public:
  // Registers itself as the table of every ZString store (the table constructed before it comes
  // back at its destruction).
  ZLanguage();
  ZLanguage(const ZLanguage&) = delete;
  ZLanguage& operator=(const ZLanguage&) = delete;

  virtual const char* getClassName() const { return className(); }
  virtual const char* className() const { return "ZLanguage"; }
  virtual ~ZLanguage();

  // Frees the table and resets the texts; does nothing if nothing was ever allocated.
  void clear();

  // Adds the entries key=text of text, separated by the marker; lines starting with ';' or '#'
  // are comments. Consumes text (it is empty afterwards). Always 1.
  int load(ZString& text);

  // The text to use instead of text. length is the caller's length, or -1 when unknown; on
  // return it is the length of the result. The result points into text or into the table.
  const char* translate(const char* text, int* length);

  // Sets the size of one area: 'k' keys, 'p' index entries, 't' texts.
  void grow(char area, int newSize);

  int getKeyAreaSize() const { return keyAreaSize; }
  int getIndexAreaSize() const { return indexAreaSize; }
  int getTextAreaSize() const { return textAreaSize; }

  ZString languageCode;
  ZString loadErrors;
  int active = 1;
  ZString missingTexts;

 private:
  char* keyArea = nullptr;
  int keyAreaSize = 0;
  zos::Handle heap = nullptr;
  char* indexArea = nullptr;
  int indexAreaSize = 0;
  char* textArea = nullptr;
  int textAreaSize = 0;
  ZString separator;

  ZLanguage* previousTable = nullptr;
};

// The program's one language table.
extern ZLanguage zelLanguage;
