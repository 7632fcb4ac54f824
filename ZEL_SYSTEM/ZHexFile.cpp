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

// Writes the two upper-case hexadecimal digits of a byte and returns the place behind them.
char* putHexByte(char* out, unsigned value) {
  static const char digits[] = "0123456789ABCDEF";
  out[0] = digits[(value >> 4) & 0x0F];
  out[1] = digits[value & 0x0F];
  return out + 2;
}

// The length of a record line of count data bytes, with its line end.
unsigned recordLength(unsigned count) { return 1 + 8 + 2 * count + 2 + 2; }

// Writes one record line with its checksum and line end; returns the place behind it.
char* putRecord(char* out, unsigned count, unsigned address, unsigned type,
                const unsigned char* data) {
  unsigned sum = count + (address >> 8) + (address & 0xFF) + type;
  *out++ = ':';
  out = putHexByte(out, count);
  out = putHexByte(out, address >> 8);
  out = putHexByte(out, address & 0xFF);
  out = putHexByte(out, type);
  for (unsigned i = 0; i < count; ++i) {
    out = putHexByte(out, data[i]);
    sum += data[i];
  }
  out = putHexByte(out, (0x100 - (sum & 0xFF)) & 0xFF);
  *out++ = '\r';
  *out++ = '\n';
  return out;
}

}  // namespace

// Takes the text line by line and fills the image record by record.
class ZHexFile::Parser {
 public:
  explicit Parser(ZMem& target) : image(target), grownSize(static_cast<std::uint64_t>(target.getSize())) {}

  bool ok() const { return result; }
  void fail() { result = false; }

  // Whether a line that is still being gathered (its "\n" not yet seen) can no longer be valid.
  static bool overlong(std::size_t length) { return length > static_cast<std::size_t>(longestLine) + 1; }
  int getDataRecordCount() const { return dataRecords; }

  // Feeds the text from first to last (exclusive): every line that ends in "\n", and the rest,
  // without one, is handed back through rest for the next piece (or finish).
  const char* feed(const char* first, const char* last) {
    while (result && first < last) {
      const char* newline = static_cast<const char*>(std::memchr(first, '\n', last - first));
      if (newline == nullptr) return first;
      line(first, newline);
      first = newline + 1;
    }
    return last;
  }

  // One line without its "\n"; blanks around it do not count and blank lines are skipped.
  void line(const char* first, const char* last) {
    if (!result) return;
    if (last > first && last[-1] == '\r') --last;
    if (last - first > longestLine) {
      result = false;
      return;
    }
    while (first < last && isBlank(*first)) ++first;
    while (last > first && isBlank(last[-1])) --last;
    if (first == last) return;
    if (*first != ':' || !decodeRecord(first, last, record)) {
      result = false;
      return;
    }
    switch (record.type) {
      case dataRecord:
        store();
        break;
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

  // Gives the image its final size: one past the highest address on success; after a failure the
  // size that growing it byte by byte (to the address plus 1001 bytes) would have left.
  bool finish() {
    if (result) {
      image.setSize(static_cast<int>(highest + 1));
    } else if (static_cast<std::uint64_t>(image.getSize()) != grownSize) {
      image.setSize(static_cast<int>(grownSize));
    }
    return result;
  }

 private:
  void store() {
    ++dataRecords;
    if (record.count == 0) return;
    std::uint64_t start = base + record.address;
    std::uint64_t top = start + record.count - 1;
    if (top >= maxImageSize) {
      result = false;
      return;
    }
    if (top > highest) highest = top;
    // Growing byte by byte, the first byte beyond the image would make it that address plus 1001
    // bytes, which a record of at most 255 bytes never outgrows. That size is what a failure
    // leaves; the block itself grows in larger steps, so that a big image is not copied a
    // thousand times on its way.
    if (top >= grownSize) grownSize = (start > grownSize ? start : grownSize) + 1001;
    std::uint64_t size = static_cast<std::uint64_t>(image.getSize());
    if (grownSize > size) {
      std::uint64_t doubled = size * 2 < maxImageSize ? size * 2 : maxImageSize;
      image.setSize(static_cast<int>(grownSize > doubled ? grownSize : doubled));
    }
    std::memcpy(image.getData() + start, record.data, static_cast<std::size_t>(record.count));
  }

  ZMem& image;
  std::uint64_t grownSize;  // the image's size as growing it byte by byte would have made it
  std::uint64_t base = 0;
  std::uint64_t highest = 0;
  bool result = true;
  int dataRecords = 0;
  Record record;
};

bool ZHexFile::load(const ZString& fileName, ZMem& image) {
  dataRecordCount = 0;
  ZFile file;
  if (!file.open(fileName, "rb", 1)) return false;

  // The file goes through one small buffer: a text of megabytes needs no block of its own.
  Parser parser(image);
  std::string partialLine;
  char buffer[64 * 1024];
  int got = 0;
  while (parser.ok() && (got = file.read(buffer, sizeof buffer)) > 0) {
    const char* first = buffer;
    const char* last = buffer + got;
    if (!partialLine.empty()) {
      const char* newline = static_cast<const char*>(std::memchr(first, '\n', got));
      if (newline == nullptr) {
        partialLine.append(first, last);
        if (Parser::overlong(partialLine.size())) parser.fail();
        continue;
      }
      partialLine.append(first, newline);
      parser.line(partialLine.data(), partialLine.data() + partialLine.size());
      partialLine.clear();
      first = newline + 1;
    }
    const char* rest = parser.feed(first, last);
    partialLine.assign(rest, last);
    if (Parser::overlong(partialLine.size())) parser.fail();
  }
  bool readFailed = !file.errorText.isEmpty();
  file.close();
  if (!partialLine.empty()) parser.line(partialLine.data(), partialLine.data() + partialLine.size());
  bool result = parser.finish();
  dataRecordCount = parser.getDataRecordCount();
  return result && !readFailed;
}

bool ZHexFile::parse(const ZString& text, ZMem& image) {
  Parser parser(image);
  const char* first = text.getBuffer();
  const char* last = first + (text.getLength() > 0 ? text.getLength() : 0);
  const char* rest = parser.feed(first, last);
  parser.line(rest, last);
  bool result = parser.finish();
  dataRecordCount = parser.getDataRecordCount();
  return result;
}

bool ZHexFile::save(const ZString& fileName, const ZMem& image) {
  const unsigned char* data = image.getData();
  unsigned size = image.getSize() > 0 ? static_cast<unsigned>(image.getSize()) : 0;
  static const char endRecord[] = ":00000001FF\r\n";

  // The text is laid out in a block of its exact length.
  unsigned segments = size > 0 ? (size - 1) >> 16 : 0;
  unsigned length = (size / 16) * recordLength(16) + (size % 16 ? recordLength(size % 16) : 0) +
                    segments * recordLength(2) + (sizeof endRecord - 1);
  ZMem text(static_cast<int>(length));
  char* out = reinterpret_cast<char*>(text.getData());
  for (unsigned address = 0; address < size; address += 16) {
    if (address != 0 && (address & 0xFFFF) == 0) {
      unsigned char segment[2] = {static_cast<unsigned char>(address >> 24),
                                  static_cast<unsigned char>(address >> 16)};
      out = putRecord(out, 2, 0, extendedLinearAddress, segment);
    }
    unsigned count = size - address < 16 ? size - address : 16;
    out = putRecord(out, count, address & 0xFFFF, dataRecord, data + address);
  }
  std::memcpy(out, endRecord, sizeof endRecord - 1);

  // With an error text to take it, the block write stays as quiet as the text write.
  ZString writeError;
  return ZFile::writeFile(fileName, text, &writeError) != 0;
}
