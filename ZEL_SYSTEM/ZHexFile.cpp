#include "ZEL_SYSTEM/ZHexFile.h"

#include <cstdint>
#include <cstring>
#include <string>

#include "ZEL_SYSTEM/ZFile.h"
#include "ZEL_SYSTEM/ZMem.h"

namespace {

enum RecordType {
  dataRecord = 0x00,
  extendedSegmentAddress = 0x02,
  extendedLinearAddress = 0x04,
};

// The value of one hexadecimal digit, -1 for any other character.
int digitValue(char ch) {
  if (ch >= '0' && ch <= '9') return ch - '0';
  if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
  if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
  return -1;
}

bool isBlank(char ch) { return static_cast<unsigned char>(ch) <= 0x20; }

// One record, decoded from a trimmed line: the count, the address (two bytes), the type, the data
// and the checksum.
struct Record {
  int count = 0;
  unsigned address = 0;
  int type = 0;
  const unsigned char* data = nullptr;
  unsigned char bytes[4 + 255 + 1];
};

// Decodes the line from first to last (exclusive), which begins with ':'. False unless every
// character after the colon is a hexadecimal digit, the line holds exactly the bytes its count
// asks for, and all bytes from the count to the checksum add up to 0 modulo 256.
bool decodeRecord(const char* first, const char* last, Record& record) {
  std::ptrdiff_t digits = last - first - 1;
  if (digits < 10 || digits % 2 != 0 || digits > 2 * static_cast<std::ptrdiff_t>(sizeof record.bytes)) {
    return false;
  }
  int byteCount = static_cast<int>(digits / 2);
  unsigned sum = 0;
  const char* p = first + 1;
  for (int i = 0; i < byteCount; ++i, p += 2) {
    int high = digitValue(p[0]);
    int low = digitValue(p[1]);
    if (high < 0 || low < 0) return false;
    record.bytes[i] = static_cast<unsigned char>(high * 16 + low);
    sum += record.bytes[i];
  }
  record.count = record.bytes[0];
  if (byteCount != record.count + 5) return false;
  if ((sum & 0xFF) != 0) return false;
  record.address = (static_cast<unsigned>(record.bytes[1]) << 8) | record.bytes[2];
  record.type = record.bytes[3];
  record.data = record.bytes + 4;
  return true;
}

// Two upper-case hexadecimal digits of a byte.
void appendHexByte(std::string& text, unsigned value) {
  static const char digits[] = "0123456789ABCDEF";
  text += digits[(value >> 4) & 0x0F];
  text += digits[value & 0x0F];
}

// One record line with its checksum and line end.
void appendRecord(std::string& text, unsigned count, unsigned address, unsigned type,
                  const unsigned char* data) {
  unsigned sum = count + (address >> 8) + (address & 0xFF) + type;
  text += ':';
  appendHexByte(text, count);
  appendHexByte(text, address >> 8);
  appendHexByte(text, address & 0xFF);
  appendHexByte(text, type);
  for (unsigned i = 0; i < count; ++i) {
    appendHexByte(text, data[i]);
    sum += data[i];
  }
  appendHexByte(text, (0x100 - (sum & 0xFF)) & 0xFF);
  text += "\r\n";
}

}  // namespace

bool ZHexFile::load(const ZString& fileName, ZMem& image) {
  // The file is taken as bytes: its text needs no copy on the way to the parser.
  ZMem content(0);
  ZString readError;
  if (!ZFile::readFile(fileName, content, &readError)) {
    dataRecordCount = 0;
    return false;
  }
  return parseBytes(reinterpret_cast<const char*>(content.getData()), content.getSize(), image);
}

bool ZHexFile::parse(const ZString& text, ZMem& image) {
  return parseBytes(text.getBuffer(), text.getLength(), image);
}

bool ZHexFile::parseBytes(const char* text, int length, ZMem& image) {
  dataRecordCount = 0;
  std::uint64_t base = 0;
  std::uint64_t highest = 0;
  bool result = true;
  Record record;

  const char* end = text + (length > 0 ? length : 0);
  const char* lineStart = text;
  while (result && lineStart < end) {
    const char* newline = static_cast<const char*>(std::memchr(lineStart, '\n', end - lineStart));
    const char* lineEnd = newline != nullptr ? newline : end;
    const char* first = lineStart;
    const char* last = lineEnd;
    lineStart = newline != nullptr ? newline + 1 : end;

    while (first < last && isBlank(*first)) ++first;
    while (last > first && isBlank(last[-1])) --last;
    if (first == last) continue;

    if (*first != ':' || !decodeRecord(first, last, record)) {
      result = false;
      break;
    }

    switch (record.type) {
      case dataRecord: {
        ++dataRecordCount;
        if (record.count == 0) break;
        std::uint64_t start = base + record.address;
        std::uint64_t top = start + record.count - 1;
        if (top >= maxImageSize) {
          result = false;
          break;
        }
        if (top > highest) highest = top;
        // Grows as storing byte by byte would: at the first byte beyond the image, to that
        // address plus 1001 bytes, which a record of at most 255 bytes never outgrows.
        std::uint64_t size = static_cast<std::uint64_t>(image.getSize());
        if (top >= size) {
          std::uint64_t firstOutside = start > size ? start : size;
          image.ensureSize(static_cast<int>(firstOutside + 1), 1000, -1);
        }
        std::memcpy(image.getData() + start, record.data, static_cast<std::size_t>(record.count));
        break;
      }
      case extendedSegmentAddress:
      case extendedLinearAddress: {
        if (record.count != 2 || record.address != 0) {
          result = false;
          break;
        }
        std::uint64_t value = (static_cast<std::uint64_t>(record.data[0]) << 8) | record.data[1];
        base = record.type == extendedSegmentAddress ? value * 16 : value * 65536;
        break;
      }
      default:  // end of file, start addresses and unknown types carry nothing for the image
        break;
    }
  }

  if (result) image.setSize(static_cast<int>(highest + 1));
  return result;
}

bool ZHexFile::save(const ZString& fileName, const ZMem& image) {
  const unsigned char* data = image.getData();
  unsigned size = image.getSize() > 0 ? static_cast<unsigned>(image.getSize()) : 0;

  std::string text;
  text.reserve(static_cast<std::size_t>(size / 16 + 2) * 45 + (size >> 16) * 17);
  for (unsigned address = 0; address < size; address += 16) {
    if (address != 0 && (address & 0xFFFF) == 0) {
      unsigned char segment[2] = {static_cast<unsigned char>(address >> 24),
                                  static_cast<unsigned char>(address >> 16)};
      appendRecord(text, 2, 0, extendedLinearAddress, segment);
    }
    unsigned count = size - address < 16 ? size - address : 16;
    appendRecord(text, count, address & 0xFFFF, dataRecord, data + address);
  }
  text += ":00000001FF\r\n";

  return ZFile::writeFile(fileName, ZString(text.data(), static_cast<int>(text.size()))) != 0;
}
