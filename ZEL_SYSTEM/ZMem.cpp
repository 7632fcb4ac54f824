#include "ZEL_SYSTEM/ZMem.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "ZEL_OS/OsHeap.h"
#include "ZEL_UTIL/ZAssert.h"
#include "ZEL_UTIL/ZMapStringToString.h"

namespace {

const char* const source = "ZEL_SYSTEM/ZMem";
constexpr int defaultSize = 100;

}  // namespace

// ---- construction

void ZMem::allocate(int n) {
  zos::Handle hHeap = zos::processHeap();
  ZEL_ASSERT(hHeap, source);
  heap = hHeap;
  if (n < 0) n = 0;
  unsigned char* pBuffer = static_cast<unsigned char*>(zos::heapAllocate(heap, static_cast<std::size_t>(n)));
  ZEL_ASSERT(pBuffer, source);
  data = pBuffer;
  size = n;
}

ZMem::ZMem() { allocate(defaultSize); }

ZMem::ZMem(int n) { allocate(n); }

ZMem::ZMem(const ZMem& other) {
  allocate(other.size);
  if (size > 0) std::memcpy(data, other.data, static_cast<std::size_t>(size));
}

ZMem::ZMem(const ZString& text) {
  allocate(text.getLength());
  if (size > 0) std::memcpy(data, text.getBuffer(), static_cast<std::size_t>(size));
}

ZMem::~ZMem() {
  zos::heapFree(heap, data);
  data = nullptr;
  size = 0;
}

// ---- size

int ZMem::setSize(int n) {
  if (n < 0) n = 0;
  void* p2 = zos::heapReallocate(heap, data, static_cast<std::size_t>(size), static_cast<std::size_t>(n));
  ZEL_ASSERT(p2, source);
  data = static_cast<unsigned char*>(p2);
  size = n;
  return 1;
}

int ZMem::ensureSize(int need, int slack, int shrinkTo) {
  if (size < need) {
    setSize(need + slack);
  } else if (shrinkTo != -1 && need < shrinkTo && shrinkTo < size) {
    setSize(shrinkTo);
  }
  return 1;
}

// ---- single bytes

int ZMem::getAt(int pos) const {
  if (pos < 0 || pos >= size) return 0;
  return data[pos];
}

bool ZMem::setAt(int pos, unsigned char byte) {
  if (pos < 0 || pos >= size) return false;
  data[pos] = byte;
  return true;
}

void ZMem::zeroFill() {
  if (size > 0) std::memset(data, 0, static_cast<std::size_t>(size));
}

// ---- appending and inserting

int ZMem::append(const void* bytes, int n) {
  if (n <= 0) return 1;
  int oldSize = size;
  // The source may lie inside this block, which the resize may move: copy it out first.
  std::string copy(static_cast<const char*>(bytes), static_cast<std::size_t>(n));
  setSize(oldSize + n);
  std::memcpy(data + oldSize, copy.data(), static_cast<std::size_t>(n));
  return 1;
}

int ZMem::append(const ZMem& other) { return append(other.data, other.size); }

int ZMem::append(const ZString& text) { return append(text.getBuffer(), text.getLength()); }

ZMem& ZMem::operator+=(const ZMem& other) {
  append(other);
  return *this;
}

ZMem& ZMem::operator+=(const ZString& text) {
  append(text);
  return *this;
}

void ZMem::appendLittleEndian(std::uint32_t value, int byteCount) {
  unsigned char bytes[4];
  for (int i = 0; i < byteCount; ++i) bytes[i] = static_cast<unsigned char>(value >> (8 * i));
  append(bytes, byteCount);
}

int ZMem::insertAt(int pos, const void* bytes, int n) {
  if (n <= 0) return 1;
  if (pos < 0) pos = 0;
  if (pos > size) pos = size;
  std::string copy(static_cast<const char*>(bytes), static_cast<std::size_t>(n));
  int oldSize = size;
  setSize(oldSize + n);
  std::memmove(data + pos + n, data + pos, static_cast<std::size_t>(oldSize - pos));
  std::memcpy(data + pos, copy.data(), static_cast<std::size_t>(n));
  return 1;
}

int ZMem::removeAt(int pos, int n) {
  if (pos < 0) {
    n += pos;
    pos = 0;
  }
  if (pos >= size || n <= 0) return 1;
  if (n > size - pos) n = size - pos;
  std::memmove(data + pos, data + pos + n, static_cast<std::size_t>(size - pos - n));
  setSize(size - n);
  return 1;
}

// ---- assignment

ZMem& ZMem::operator=(const ZMem& other) {
  if (this == &other) return *this;
  setSize(other.size);
  if (size > 0) std::memcpy(data, other.data, static_cast<std::size_t>(size));
  return *this;
}

ZMem& ZMem::operator=(const ZString& text) {
  setSize(text.getLength());
  if (size > 0) std::memcpy(data, text.getBuffer(), static_cast<std::size_t>(size));
  return *this;
}

int ZMem::overwrite(const ZMem& other) {
  if (this == &other) return size;
  if (size < other.size) setSize(other.size);
  if (other.size > 0) std::memcpy(data, other.data, static_cast<std::size_t>(other.size));
  return other.size;
}

// ---- searching

int ZMem::find(const void* bytes, int n) const {
  if (n <= 0 || n > size) return -1;
  for (int pos = 0; pos <= size - n; ++pos) {
    if (std::memcmp(data + pos, bytes, static_cast<std::size_t>(n)) == 0) return pos;
  }
  return -1;
}

int ZMem::reverseFind(const void* bytes, int n, int start) const {
  if (n < 1 || n > size) return -1;
  int last = size - n;
  if (start < 0 || start > last) start = last;
  for (int pos = start; pos >= 0; --pos) {
    if (std::memcmp(data + pos, bytes, static_cast<std::size_t>(n)) == 0) return pos;
  }
  return -1;
}

int ZMem::replaceByte(unsigned char from, unsigned char to) {
  int count = 0;
  for (int pos = 0; pos < size; ++pos) {
    if (data[pos] == from) {
      data[pos] = to;
      ++count;
    }
  }
  return count;
}

// ---- text forms

ZString ZMem::hexDump(int bytesPerLine) const {
  if (bytesPerLine < 1) return ZString();
  char number[16];
  int width = std::snprintf(number, sizeof number, "%X", static_cast<unsigned>(size));
  const std::size_t hexColumns = static_cast<std::size_t>(width) + 1 + 3 * static_cast<std::size_t>(bytesPerLine);
  std::string text;
  for (int lineStart = 0; lineStart < size; lineStart += bytesPerLine) {
    int lineEnd = lineStart + bytesPerLine < size ? lineStart + bytesPerLine : size;
    std::string line;
    std::snprintf(number, sizeof number, "%0*X ", width, static_cast<unsigned>(lineStart));
    line += number;
    for (int pos = lineStart; pos < lineEnd; ++pos) {
      std::snprintf(number, sizeof number, "%02X ", data[pos]);
      line += number;
    }
    if (line.size() < hexColumns) line.append(hexColumns - line.size(), ' ');  // a last, shorter line
    line += ' ';
    for (int pos = lineStart; pos < lineEnd; ++pos) line += data[pos] < 33 ? '.' : static_cast<char>(data[pos]);
    line += "\r\n";
    text += line;
  }
  return ZString(text.data(), static_cast<int>(text.size()));
}

int ZMem::parsePairs(ZMapStringToString& map, char pairSeparator, char keySeparator, char endByte) const {
  int pairs = 0;
  std::string gathered;
  for (int pos = 0; pos < size; ++pos) {
    char byte = static_cast<char>(data[pos]);
    if (byte != pairSeparator) {
      gathered += byte;
      continue;
    }
    std::size_t cut = gathered.find(keySeparator);
    if (cut == std::string::npos) {
      map.set(ZString(gathered.data(), static_cast<int>(gathered.size())), ZString());
    } else {
      map.set(ZString(gathered.data(), static_cast<int>(cut)),
              ZString(gathered.data() + cut + 1, static_cast<int>(gathered.size() - cut - 1)));
    }
    ++pairs;
    gathered.clear();
    if (pos + 1 < size && static_cast<char>(data[pos + 1]) == endByte) break;
  }
  return pairs;
}
