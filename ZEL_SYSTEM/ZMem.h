// ZMem: the library's byte block. A zero-filled block on the process heap whose size is also the
// length of its data; a grown block is zero beyond its old size, a shrunk one keeps its first
// bytes. It carries serial data, HEX images, file contents and registry and network data.
#pragma once
#include <cstdint>
#include <type_traits>

#include "ZEL_OS/OsTypes.h"
#include "ZEL_UTIL/ZString.h"

class ZMapStringToString;

class ZMem {
 public:
  ZMem();  // 100 zero bytes
  explicit ZMem(int size);
  ZMem(const ZMem& other);
  explicit ZMem(const ZString& text);  // the characters, without the terminator

  virtual const char* getClassName() const { return className(); }
  virtual const char* className() const { return "ZMem"; }
  virtual ~ZMem();

  unsigned char* getData() const { return data; }
  int getSize() const { return size; }

  // Reallocates the block to n bytes (a negative n counts as 0). Always 1.
  int setSize(int n);
  // Grows to need + slack when smaller than need; shrinks to shrinkTo when need < shrinkTo < size.
  int ensureSize(int need, int slack, int shrinkTo = -1);

  // The byte at pos as 0 to 255; 0 when pos is outside the block.
  int getAt(int pos) const;
  // Stores the byte; false when pos is outside the block.
  bool setAt(int pos, unsigned char byte);
  void zeroFill();

  int append(const void* bytes, int n);
  int append(const ZMem& other);
  int append(const ZString& text);
  ZMem& operator+=(const ZMem& other);
  ZMem& operator+=(const ZString& text);
  // An 8-, 16- or 32-bit value goes in as its 1, 2 or 4 bytes, least significant first.
  template <class T, class = std::enable_if_t<std::is_integral<T>::value &&
                                              (sizeof(T) == 1 || sizeof(T) == 2 || sizeof(T) == 4)>>
  ZMem& operator+=(T value) {
    appendLittleEndian(static_cast<std::uint32_t>(value), static_cast<int>(sizeof(T)));
    return *this;
  }

  // Inserts n bytes at pos (0 to size; a position outside is taken to the nearest end).
  int insertAt(int pos, const void* bytes, int n);
  // Removes n bytes at pos; a range reaching outside the block is cut to the block.
  int removeAt(int pos, int n);

  ZMem& operator=(const ZMem& other);
  ZMem& operator=(const ZString& text);
  // Grows to the other's size if smaller, copies the other's bytes to the start; the other's size.
  int overwrite(const ZMem& other);

  // First offset of the n bytes, or -1 (also for n <= 0).
  int find(const void* bytes, int n) const;
  // Last offset at or before start (start < 0 or beyond size - n: size - n), or -1 (also for n < 1).
  int reverseFind(const void* bytes, int n, int start = -1) const;
  // Every byte equal to from becomes to; returns how many.
  int replaceByte(unsigned char from, unsigned char to);

  // Lines of: offset in hexadecimal, the bytes in hexadecimal, the bytes as characters (codes
  // below 33 as '.'), each line ending in CR LF. Empty for fewer than 1 byte per line.
  ZString hexDump(int bytesPerLine) const;

  // Reads pairs "key<keySeparator>value" ending in pairSeparator into the map, until an end byte
  // follows a pair separator; returns the number of pairs.
  int parsePairs(ZMapStringToString& map, char pairSeparator, char keySeparator, char endByte) const;

 protected:
  unsigned char* data = nullptr;  // null only after the destructor
  int size = 0;
  zos::Handle heap = nullptr;

 private:
  void allocate(int n);
  void appendLittleEndian(std::uint32_t value, int byteCount);
};
