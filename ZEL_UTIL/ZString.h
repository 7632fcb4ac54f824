// ZString: the library's text type. A single-byte, zero-terminated text with an explicit length in
// a zero-filled block of its own on the process heap; copies are deep. Every store of character
// data passes through the language table (ZLanguage::translate) first.
#pragma once
#include <cstdarg>

#include "ZEL_OS/OsTypes.h"

class ZLanguage;

class ZString {
 public:
  ZString();
  ZString(const ZString& other);
  ZString(const char* text);  // NOLINT(google-explicit-constructor): texts convert freely
  ZString(const char* text, int length);
  ZString(char ch);  // NOLINT(google-explicit-constructor)
  explicit ZString(const zos::Bstr bstr);
  explicit ZString(const zos::Variant& variant);

  // The virtual table begins like that of every library class: getClassName, className, destructor.
  virtual const char* getClassName() const { return className(); }
  virtual const char* className() const { return "ZString"; }
  virtual ~ZString();

  // Storing.
  int assign(const char* text, int length = -1);
  ZString& operator=(const ZString& other);
  ZString& operator=(const char* text);
  ZString& operator=(char ch);
  ZString& operator=(int value);
  ZString& operator=(double value);
  int append(const ZString& other, int count = -1);
  ZString& operator+=(const ZString& other);
  ZString& operator+=(const char* text);
  ZString& operator+=(char ch);
  ZString& operator+=(int value);
  int appendRepeated(const ZString& text, int n);
  int format(const char* formatText, ...);
  int appendFormat(const char* formatText, ...);
  int formatV(const char* formatText, va_list args);
  int appendFormatV(const char* formatText, va_list args);
  void assignBstr(const zos::Bstr bstr);
  void assignVariant(const zos::Variant& variant);

  // Reading.
  int getLength() const { return length; }
  bool isEmpty() const { return length <= 0; }
  const char* getBuffer() const { return buffer; }
  char* getWritableBuffer() { return buffer; }  // for callers that fill the block in place
  const char* getBufferOrNull() const { return length == 0 ? nullptr : buffer; }
  operator const char*() const { return buffer; }  // NOLINT(google-explicit-constructor)
  int getAt(int pos) const;
  bool setAt(int pos, char ch);
  int toInt() const;
  double toDouble() const;
  const zos::WideChar* toWide();
  int getCapacity() const { return capacity; }
  int getWideCapacity() const { return wideCapacity; }

  // Substrings.
  ZString mid(int start, int count) const;
  ZString mid(int start) const;
  ZString left(int n) const;
  ZString right(int n) const;
  ZString nextToken(const ZString& separator);

  // Editing in place.
  void remove(int pos, int count = 1);
  void insert(int pos, const ZString& text);
  // Replaces every occurrence, left to right, and returns how many. With repeat, further passes
  // follow until one finds nothing, for a replacement no longer than search that does not hold it.
  int replace(const ZString& search, const ZString& replacement, bool repeat = false);
  void trim();
  void trimLeft();
  void trimRight();
  void makeUpper();
  void makeLower();
  void htmlEncode();
  void urlDecode();

  // Searching.
  int find(const ZString& text, int start = 0, bool ignoreCase = false) const;
  int findChar(char ch, int start = 0) const;
  int reverseFind(const ZString& text, bool ignoreCase = false) const;
  int reverseFindChar(char ch) const;
  bool startsWith(const ZString& text, bool ignoreCase = false) const;
  bool endsWith(const ZString& text, bool ignoreCase = false) const;

  // Comparison.
  int compare(const ZString& other, bool ignoreCase = false) const;
  bool operator==(const ZString& other) const { return compare(other) == 0; }
  bool operator!=(const ZString& other) const { return compare(other) != 0; }
  bool operator==(const char* other) const { return compare(ZString(other)) == 0; }
  bool operator!=(const char* other) const { return compare(ZString(other)) != 0; }
  bool operator<(const ZString& other) const { return compare(other) < 0; }
  bool operator>(const ZString& other) const { return compare(other) > 0; }
  bool operator<=(const ZString& other) const { return compare(other) <= 0; }
  bool operator>=(const ZString& other) const { return compare(other) >= 0; }

  // The digits of value in radix, zeros in front up to minWidth characters (behind a minus sign),
  // and with groupThousands a "." before every third digit from the end (positive values only).
  static ZString fromInt(int value, bool groupThousands = false, int radix = 10, int minWidth = 0);
  static ZString htmlEntity(char ch);

  // Significant digits for the text of a double; values above 100 count as 100.
  int precision = 10;

  // The language table every store passes through; it registers itself at construction.
  static ZLanguage* languageTable;

 private:
  static const char* translate(const char* text, int* length);
  void initEmpty();
  void resizeBlock(int newCapacity);
  void freeWide();
  void storeBytes(const char* text, int count);
  void appendBytes(const char* text, int count);
  int formatAt(int offset, const char* formatText, va_list args);
  int replaceOnePass(const ZString& search, const ZString& replacement);
  // The characters in front of the first zero byte: all the runtime's text functions see.
  int textLength() const;

  zos::Handle heap = nullptr;
  int capacity = 0;
  char* buffer = nullptr;
  int length = 0;
  zos::Handle wideHeap = nullptr;
  zos::WideChar* wideBuffer = nullptr;
  int wideCapacity = 0;
};

ZString operator+(const ZString& left, const ZString& right);

// A plain text on the left compares as a ZString, not as a pointer.
inline bool operator==(const char* left, const ZString& right) { return right == left; }
inline bool operator!=(const char* left, const ZString& right) { return right != left; }
