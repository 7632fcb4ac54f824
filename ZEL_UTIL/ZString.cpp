#include "ZEL_UTIL/ZString.h"

#include <cstdint>
#include <cstring>
#include <functional>

#include "ZEL_OS/OsHeap.h"
#include "ZEL_OS/OsRuntime.h"
#include "ZEL_OS/OsVariant.h"
#include "ZEL_UTIL/ZAssert.h"
#include "ZEL_UTIL/ZLanguage.h"

namespace {

const char* const source = "ZEL_UTIL/ZString";

constexpr int firstCapacity = 10;
constexpr int slack = 100;               // every resize leaves this much room behind the text
constexpr int firstFormatWindow = 1000;  // formatting tries 1000, 10,000, 100,000, 1,000,000
constexpr int formatWindowLimit = 10000000;
constexpr int maxPrecision = 100;

bool isBlank(char ch) { return static_cast<unsigned char>(ch) <= 0x20; }

// The German umlauts in Windows-1252, which the runtime's ASCII case mapping leaves alone.
char umlautUpper(char ch) {
  switch (static_cast<unsigned char>(ch)) {
    case 0xE4: return '\xC4';
    case 0xF6: return '\xD6';
    case 0xFC: return '\xDC';
    default: return ch;
  }
}

char umlautLower(char ch) {
  switch (static_cast<unsigned char>(ch)) {
    case 0xC4: return '\xE4';
    case 0xD6: return '\xF6';
    case 0xDC: return '\xFC';
    default: return ch;
  }
}

int hexDigit(char ch) {
  if (ch >= '0' && ch <= '9') return ch - '0';
  if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
  if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
  return -1;
}

}  // namespace

ZLanguage* ZString::languageTable = nullptr;

const char* ZString::translate(const char* text, int* length) {
  if (languageTable == nullptr) return text;
  return languageTable->translate(text, length);
}

// ---- Construction -------------------------------------------------------------------------------

void ZString::initEmpty() {
  zos::Handle hHeap = zos::processHeap();
  ZEL_ASSERT(hHeap, source);
  heap = hHeap;
  char* pBuffer = static_cast<char*>(zos::heapAllocate(heap, firstCapacity));
  ZEL_ASSERT(pBuffer, source);
  buffer = pBuffer;
  capacity = firstCapacity;
  length = 0;
}

ZString::ZString() { initEmpty(); }

ZString::ZString(const ZString& other) {
  initEmpty();
  assign(other.buffer, other.length);
}

ZString::ZString(const char* text) {
  initEmpty();
  assign(text, -1);
}

ZString::ZString(const char* text, int count) {
  initEmpty();
  assign(text, count);
}

ZString::ZString(char ch) {
  // A single character is no text to translate: it goes straight into a block of its own size.
  initEmpty();
  resizeBlock(2);
  buffer[0] = ch;
  buffer[1] = '\0';
  length = 1;
}

ZString::ZString(const zos::Bstr bstr) {
  initEmpty();
  assignBstr(bstr);
}

ZString::ZString(const zos::Variant& variant) {
  initEmpty();
  assignVariant(variant);
}

ZString::~ZString() {
  freeWide();
  zos::heapFree(heap, buffer);
  buffer = nullptr;
  capacity = 0;
  length = 0;
}

void ZString::resizeBlock(int newCapacity) {
  void* p2 = zos::heapReallocate(heap, buffer, static_cast<std::size_t>(capacity),
                                 static_cast<std::size_t>(newCapacity));
  ZEL_ASSERT(p2, source);
  buffer = static_cast<char*>(p2);
  capacity = newCapacity;
  if (length >= capacity) {
    length = capacity - 1;
    buffer[length] = '\0';
  }
}

void ZString::freeWide() {
  if (wideBuffer != nullptr) zos::heapFree(wideHeap, wideBuffer);
  wideBuffer = nullptr;
  wideHeap = nullptr;
  wideCapacity = 0;
}

// ---- Storing ------------------------------------------------------------------------------------

int ZString::assign(const char* text, int count) {
  text = translate(text, &count);
  if (text == nullptr) {
    text = "";
    count = 0;
  }
  if (count < 0) count = static_cast<int>(std::strlen(text));
  if (text == buffer && count == length) return length;
  storeBytes(text, count);
  return length;
}

void ZString::storeBytes(const char* text, int count) {
  // A block that fits closely is kept; any other is refitted, so a much shorter text shrinks it.
  bool keepBlock = capacity > count + 2 && capacity <= count + 10;
  std::less_equal<const char*> notAfter;
  bool fromOwnBlock = notAfter(buffer, text) && notAfter(text, buffer + capacity - 1);
  if (fromOwnBlock) {
    // A piece of this very string: move it to the front before the block may move or shrink.
    std::memmove(buffer, text, static_cast<std::size_t>(count));
    buffer[count] = '\0';
    length = count;
    if (!keepBlock) resizeBlock(count + slack);
  } else {
    if (!keepBlock) resizeBlock(count + slack);
    std::memcpy(buffer, text, static_cast<std::size_t>(count));
  }
  buffer[count] = '\0';
  length = count;
}

ZString& ZString::operator=(const ZString& other) {
  assign(other.buffer, other.length);
  return *this;
}

ZString& ZString::operator=(const char* text) {
  assign(text, -1);
  return *this;
}

ZString& ZString::operator=(char ch) {
  char text[2] = {ch, '\0'};
  assign(text, 1);
  return *this;
}

ZString& ZString::operator=(int value) {
  char scratch[100];
  zos::ltoa(value, scratch, 10);
  assign(scratch, -1);
  return *this;
}

ZString& ZString::operator=(double value) {
  int digits = precision > maxPrecision ? maxPrecision : precision;
  if (digits < 1) digits = 1;
  // Room for the digits, sign, point and a three-digit exponent even at the largest precision.
  char scratch[maxPrecision + 28];
  zos::gcvt(value, digits, scratch);
  assign(scratch, -1);
  return *this;
}

void ZString::appendBytes(const char* text, int count) {
  if (count + length + 1 >= capacity) resizeBlock(count + length + slack);
  std::memmove(buffer + length, text, static_cast<std::size_t>(count));
  length += count;
  buffer[length] = '\0';
}

int ZString::append(const ZString& other, int count) {
  if (count < 0 || count >= other.length) count = other.length;
  if (count + length + 1 >= capacity) resizeBlock(count + length + slack);
  // other may be this string: its buffer is read only after the resize.
  std::memmove(buffer + length, other.buffer, static_cast<std::size_t>(count));
  length += count;
  buffer[length] = '\0';
  return length;
}

ZString& ZString::operator+=(const ZString& other) {
  ZString copy(other);
  append(copy);
  return *this;
}

ZString& ZString::operator+=(const char* text) {
  ZString copy(text);
  append(copy);
  return *this;
}

ZString& ZString::operator+=(char ch) {
  ZString copy(ch);
  append(copy);
  return *this;
}

ZString& ZString::operator+=(int value) {
  ZString copy;
  copy = value;
  append(copy);
  return *this;
}

int ZString::appendRepeated(const ZString& text, int n) {
  if (n <= 0 || text.length == 0) return length;
  if (&text == this) {
    ZString copy(text);
    return appendRepeated(copy, n);
  }
  int total = length + n * text.length;
  if (capacity < total + 1) resizeBlock(total + slack);
  for (int i = 0; i < n; ++i)
    std::memcpy(buffer + length + i * text.length, text.buffer, static_cast<std::size_t>(text.length));
  length = total;
  buffer[length] = '\0';
  return length;
}

ZString operator+(const ZString& left, const ZString& right) {
  ZString result(left);
  result += right;
  return result;
}

int ZString::format(const char* formatText, ...) {
  va_list args;
  va_start(args, formatText);
  int result = formatV(formatText, args);
  va_end(args);
  return result;
}

int ZString::appendFormat(const char* formatText, ...) {
  va_list args;
  va_start(args, formatText);
  int result = appendFormatV(formatText, args);
  va_end(args);
  return result;
}

int ZString::formatV(const char* formatText, va_list args) { return formatAt(0, formatText, args); }

int ZString::appendFormatV(const char* formatText, va_list args) {
  return formatAt(length, formatText, args);
}

int ZString::formatAt(int offset, const char* formatText, va_list args) {
  int formatLength = -1;
  formatText = translate(formatText, &formatLength);
  if (formatText == nullptr) formatText = "";
  // The text is formatted into a fresh block, so that arguments may point into this string.
  int window = firstFormatWindow;
  char* block = nullptr;
  int blockSize = 0;
  for (;;) {
    int size = offset + window + 1;
    void* p2 = block == nullptr
                   ? zos::heapAllocate(heap, static_cast<std::size_t>(size))
                   : zos::heapReallocate(heap, block, static_cast<std::size_t>(blockSize),
                                         static_cast<std::size_t>(size));
    ZEL_ASSERT(p2, source);
    block = static_cast<char*>(p2);
    blockSize = size;
    va_list attempt;
    va_copy(attempt, args);
    int written = zos::vsnprintf(block + offset, static_cast<std::size_t>(window), formatText, attempt);
    va_end(attempt);
    if (written >= 0 || window * 10 >= formatWindowLimit) break;
    window *= 10;
  }
  // A text that fills the window exactly, or one cut at the last window, has no terminator yet.
  block[offset + window] = '\0';
  std::memcpy(block, buffer, static_cast<std::size_t>(offset));
  zos::heapFree(heap, buffer);
  buffer = block;
  capacity = blockSize;
  length = offset + static_cast<int>(std::strlen(block + offset));
  return length;
}

void ZString::assignBstr(const zos::Bstr bstr) {
  if (bstr == nullptr) {
    freeWide();
    assign("", 0);
    return;
  }
  int nSize = static_cast<int>(zos::bstrLength(bstr));
  ZEL_ASSERT(nSize >= 0, source);
  resizeBlock(nSize + 1);
  std::memset(buffer, 0, static_cast<std::size_t>(nSize) + 1);
  // One byte per character: the ANSI code page of this program is a single-byte one.
  if (nSize > 0) zos::wideToMultiByte(bstr, nSize, buffer, nSize);
  length = nSize;
  buffer[length] = '\0';
}

void ZString::assignVariant(const zos::Variant& variant) {
  if (zos::variantType(variant) == zos::VariantType::bstr) {
    assignBstr(zos::variantBstr(variant));
    return;
  }
  zos::Variant text;
  zos::variantInit(text);
  if (zos::variantChangeToBstr(text, variant))
    assignBstr(zos::variantBstr(text));
  else
    assign("", 0);  // a value without a text form stores the empty text
  zos::variantClear(text);
}

// ---- Reading ------------------------------------------------------------------------------------

int ZString::getAt(int pos) const {
  if (pos < 0 || pos >= length) return 0;
  return static_cast<signed char>(buffer[pos]);
}

bool ZString::setAt(int pos, char ch) {
  if (pos < 0 || pos >= length) return false;
  buffer[pos] = ch;
  return true;
}

int ZString::toInt() const {
  if (length > 6 && buffer[0] == '#') {
    // An HTML colour #RRGGBB gives the Windows colour value 0x00BBGGRR.
    std::uint32_t value = 0;
    for (int i = 1; i <= 6 && hexDigit(buffer[i]) >= 0; ++i) value = value * 16 + static_cast<std::uint32_t>(hexDigit(buffer[i]));
    return static_cast<int>(((value & 0xFF) << 16) | (value & 0xFF00) | ((value >> 16) & 0xFF));
  }
  if (length > 2 && buffer[0] == '0' && buffer[1] == 'x') {
    std::uint32_t value = 0;
    for (int i = 2; i < length && hexDigit(buffer[i]) >= 0; ++i) value = value * 16 + static_cast<std::uint32_t>(hexDigit(buffer[i]));
    return static_cast<int>(value);
  }
  if (length > 2 && buffer[0] == '0' && buffer[1] == 'b') {
    std::uint32_t value = 0;
    for (int i = 2; i < length && i <= 34 && (buffer[i] == '0' || buffer[i] == '1'); ++i)
      value = value * 2 + static_cast<std::uint32_t>(buffer[i] - '0');
    return static_cast<int>(value);
  }
  return zos::atol(buffer);
}

double ZString::toDouble() const { return zos::atof(buffer); }

const zos::WideChar* ZString::toWide() {
  freeWide();
  zos::Handle hHeapW = zos::processHeap();
  ZEL_ASSERT(hHeapW, source);
  void* pBufferW = zos::heapAllocate(hHeapW, static_cast<std::size_t>(capacity) * 2);
  ZEL_ASSERT(pBufferW, source);
  wideHeap = hHeapW;
  wideBuffer = static_cast<zos::WideChar*>(pBufferW);
  wideCapacity = capacity * 2;
  zos::multiByteToWide(buffer, length + 1, wideBuffer, capacity);
  return wideBuffer;
}

// ---- Substrings ---------------------------------------------------------------------------------

ZString ZString::mid(int start, int count) const {
  if (start < 0) {
    start += length;
    if (start < 0) start = 0;
  }
  if (count < 0) {
    count = count + length - start;
    if (count < 0) count = 0;
  }
  if (start > length) return ZString();
  if (count > length - start) count = length - start;
  return ZString(buffer + start, count);
}

ZString ZString::mid(int start) const {
  if (start < 0) {
    start += length;
    if (start < 0) start = 0;
  }
  if (start > length) return ZString();
  return ZString(buffer + start, length - start);
}

ZString ZString::left(int n) const { return mid(0, n); }

ZString ZString::right(int n) const { return mid(-n); }

ZString ZString::nextToken(const ZString& separator) {
  int pos = separator.length > 0 ? find(separator) : -1;
  if (pos < 0) {
    // No separator (an empty one never matches, or a loop over the tokens would never end).
    ZString token(*this);
    assign("", 0);
    return token;
  }
  ZString token = left(pos);
  remove(0, pos + separator.length);
  return token;
}

// ---- Editing in place ---------------------------------------------------------------------------

void ZString::remove(int pos, int count) {
  if (pos < 0 || pos >= length) return;
  if (count < 0 || count > length - pos) count = length - pos;
  std::memmove(buffer + pos, buffer + pos + count, static_cast<std::size_t>(length - pos - count + 1));
  length -= count;
}

void ZString::insert(int pos, const ZString& text) {
  if (pos < 0) pos += length;
  if (pos >= length) {
    append(text);
    return;
  }
  if (pos < 0) return;
  if (&text == this) {
    ZString copy(text);
    insert(pos, copy);
    return;
  }
  if (text.length + length + 1 >= capacity) resizeBlock(text.length + length + slack);
  std::memmove(buffer + pos + text.length, buffer + pos, static_cast<std::size_t>(length - pos + 1));
  std::memcpy(buffer + pos, text.buffer, static_cast<std::size_t>(text.length));
  length += text.length;
}

int ZString::replace(const ZString& search, const ZString& replacement, bool repeat) {
  if (search.isEmpty()) return 0;
  // Either argument may be this string itself.
  ZString searchText(search);
  ZString replacementText(replacement);
  int passesLeft = length;
  int count = replaceOnePass(searchText, replacementText);
  // A replacement that holds the search text would feed the passes for ever, and so can one that
  // is longer than it ("abb" with "ab" -> "bbaa" makes a new occurrence with every pass, others
  // multiply them): one pass only then. A shorter replacement shortens the text with every pass;
  // one of the same length keeps it, and its passes end, at the latest, after as many as the
  // text had characters.
  if (repeat && count > 0 && replacementText.length <= searchText.length && replacementText.find(searchText) < 0) {
    int more;
    while (passesLeft-- > 0 && (more = replaceOnePass(searchText, replacementText)) > 0) count += more;
  }
  return count;
}

int ZString::replaceOnePass(const ZString& search, const ZString& replacement) {
  int count = 0;
  int from = 0;
  int pos;
  if (search.length < replacement.length) {
    ZString built;
    while ((pos = find(search, from)) >= 0) {
      built.appendBytes(buffer + from, pos - from);
      built.append(replacement);
      from = pos + search.length;
      ++count;
    }
    if (count == 0) return 0;
    built.appendBytes(buffer + from, length - from);
    assign(built.buffer, built.length);
  } else if (search.length == replacement.length) {
    while ((pos = find(search, from)) >= 0) {
      std::memcpy(buffer + pos, replacement.buffer, static_cast<std::size_t>(replacement.length));
      from = pos + replacement.length;
      ++count;
    }
  } else {
    while ((pos = find(search, from)) >= 0) {
      remove(pos, search.length);
      insert(pos, replacement);
      from = pos + replacement.length;
      ++count;
    }
  }
  return count;
}

void ZString::trim() {
  trimRight();
  trimLeft();
}

void ZString::trimLeft() {
  int skip = 0;
  while (skip < length && isBlank(buffer[skip])) ++skip;
  if (skip == 0) return;
  std::memmove(buffer, buffer + skip, static_cast<std::size_t>(length - skip + 1));
  length -= skip;
}

void ZString::trimRight() {
  while (length > 0 && isBlank(buffer[length - 1])) --length;
  buffer[length] = '\0';
}

void ZString::makeUpper() {
  zos::strupr(buffer);
  for (int i = 0, end = textLength(); i < end; ++i) buffer[i] = umlautUpper(buffer[i]);
}

void ZString::makeLower() {
  zos::strlwr(buffer);
  for (int i = 0, end = textLength(); i < end; ++i) buffer[i] = umlautLower(buffer[i]);
}

ZString ZString::htmlEntity(char ch) {
  switch (static_cast<unsigned char>(ch)) {
    case 0x22: return "&quot;";
    case 0x26: return "&amp;";
    case 0x27: return "&prime;";
    case 0x3C: return "&lt;";
    case 0x3E: return "&gt;";
    case 0xC4: return "&Auml;";
    case 0xD6: return "&Ouml;";
    case 0xDC: return "&Uuml;";
    case 0xDF: return "&szlig;";
    case 0xE4: return "&auml;";
    case 0xF6: return "&ouml;";
    case 0xFC: return "&uuml;";
    default: return ZString(ch);
  }
}

void ZString::htmlEncode() {
  ZString built;
  for (int i = 0; i < length; ++i) built.append(htmlEntity(buffer[i]));
  assign(built.buffer, built.length);
}

void ZString::urlDecode() {
  ZString built;
  int i = 0;
  while (i < length) {
    if (buffer[i] == '%' && i + 2 < length) {
      ZString hex("0x");
      hex.appendBytes(buffer + i + 1, 2);
      char byte = static_cast<char>(hex.toInt());
      built.appendBytes(&byte, 1);
      i += 3;
    } else {
      built.appendBytes(buffer + i, 1);
      ++i;
    }
  }
  assign(built.buffer, built.length);
}

// ---- Searching ----------------------------------------------------------------------------------

int ZString::find(const ZString& text, int start, bool ignoreCase) const {
  if (start < 0) start = 0;
  if (start >= length) return -1;
  if (!ignoreCase) {
    const char* hit = std::strstr(buffer + start, text.buffer);
    return hit == nullptr ? -1 : static_cast<int>(hit - buffer);
  }
  ZString upper(text);
  ZString lower(text);
  upper.makeUpper();
  lower.makeLower();
  for (int at = start; at <= length - text.length; ++at) {
    int k = 0;
    while (k < text.length && (buffer[at + k] == upper.buffer[k] || buffer[at + k] == lower.buffer[k])) ++k;
    if (k == text.length) return at;
  }
  return -1;
}

int ZString::textLength() const {
  return static_cast<int>(strnlen(buffer, static_cast<std::size_t>(length)));
}

int ZString::findChar(char ch, int start) const {
  if (start < 0) start = 0;
  int end = textLength();
  if (start >= end) return -1;
  const void* hit = std::memchr(buffer + start, ch, static_cast<std::size_t>(end - start));
  return hit == nullptr ? -1 : static_cast<int>(static_cast<const char*>(hit) - buffer);
}

int ZString::reverseFind(const ZString& text, bool ignoreCase) const {
  if (text.length == 0 || text.length > length) return -1;
  ZString upper(text);
  ZString lower(text);
  if (ignoreCase) {
    upper.makeUpper();
    lower.makeLower();
  }
  for (int at = length - text.length; at >= 0; --at) {
    int k = text.length - 1;
    while (k >= 0 && (buffer[at + k] == upper.buffer[k] || buffer[at + k] == lower.buffer[k])) --k;
    if (k < 0) return at;
  }
  return -1;
}

int ZString::reverseFindChar(char ch) const {
  for (int at = textLength() - 1; at >= 0; --at)
    if (buffer[at] == ch) return at;
  return -1;
}

bool ZString::startsWith(const ZString& text, bool ignoreCase) const {
  ZString head = left(text.length);
  if (!ignoreCase) return head.compare(text) == 0;
  ZString other(text);
  head.makeLower();
  other.makeLower();
  return head.compare(other) == 0;
}

bool ZString::endsWith(const ZString& text, bool ignoreCase) const {
  ZString tail = mid(-text.length);
  if (!ignoreCase) return tail.compare(text) == 0;
  ZString other(text);
  tail.makeLower();
  other.makeLower();
  return tail.compare(other) == 0;
}

int ZString::compare(const ZString& other, bool ignoreCase) const {
  return ignoreCase ? zos::stricmp(buffer, other.buffer) : std::strcmp(buffer, other.buffer);
}

// ---- Numbers ------------------------------------------------------------------------------------

ZString ZString::fromInt(int value, bool groupThousands, int radix, int minWidth) {
  char scratch[40];
  zos::ltoa(value, scratch, radix);
  ZString text(scratch);
  // The zeros go behind a minus sign, so that -5 with width 4 reads -005.
  int digitsStart = text.getAt(0) == '-' ? 1 : 0;
  while (minWidth > 0 && text.length < minWidth) text.insert(digitsStart, "0");
  if (groupThousands) {
    if (value >= 1000) text.insert(text.length - 3, ".");
    if (value >= 1000000) text.insert(text.length - 7, ".");
    if (value >= 1000000000) text.insert(text.length - 11, ".");
  }
  return text;
}
