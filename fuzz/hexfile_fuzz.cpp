// ZHexFile::parse of any text. The parser must take exactly the well-formed files (':' and
// hexadecimal digits only, as many as the byte count asks for, a matching checksum, extended
// address records of two bytes at address 0, nothing beyond 16 MiB, no line longer than the
// longest record even if it is blank), never grow the image past that limit, and an image it
// took must come back the same through save and load.
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "ZEL_SYSTEM/ZHexFile.h"
#include "ZEL_SYSTEM/ZMem.h"
#include "ZEL_UTIL/ZString.h"
#include "fuzz/FuzzSupport.h"

using fuzzsupport::check;

namespace {

const std::uint64_t limit = 16u * 1024u * 1024u;
const std::size_t longestLine = 1 + 2 * 260;  // ':' and 260 bytes as pairs of digits

int digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// An independent reading of the format rules: is the whole text a sound HEX file? highest gets
// the highest address filled by a data record.
bool wellFormed(const std::string& text, std::uint64_t& highest, bool& anyData) {
  std::uint64_t base = 0;
  highest = 0;
  anyData = false;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    // No line is longer than the longest record, blanks included, its CR not counted.
    std::size_t length = line.size();
    if (length > 0 && line[length - 1] == '\r') --length;
    if (length > longestLine) return false;
    std::size_t a = 0, b = line.size();
    while (a < b && static_cast<unsigned char>(line[a]) <= 0x20) ++a;
    while (b > a && static_cast<unsigned char>(line[b - 1]) <= 0x20) --b;
    if (a == b) continue;
    line = line.substr(a, b - a);
    if (line[0] != ':' || line.size() < 11 || (line.size() - 1) % 2 != 0) return false;
    std::vector<unsigned> bytes;
    for (std::size_t i = 1; i < line.size(); i += 2) {
      int h = digit(line[i]), l = digit(line[i + 1]);
      if (h < 0 || l < 0) return false;
      bytes.push_back(static_cast<unsigned>(h * 16 + l));
    }
    if (bytes.size() != bytes[0] + 5u) return false;
    unsigned sum = 0;
    for (unsigned v : bytes) sum += v;
    if (sum % 256 != 0) return false;
    unsigned count = bytes[0], address = bytes[1] * 256 + bytes[2], type = bytes[3];
    if (type == 0 && count > 0) {
      std::uint64_t top = base + address + count - 1;
      if (top >= limit) return false;
      if (top > highest) highest = top;
      anyData = true;
    } else if (type == 2 || type == 4) {
      if (count != 2 || address != 0) return false;
      std::uint64_t value = bytes[4] * 256 + bytes[5];
      base = type == 2 ? value * 16 : value * 65536;
    }
  }
  return true;
}

std::string scratchFile() {
  static const std::string path =
      (std::filesystem::temp_directory_path() / ("kalmo_hexfile_fuzz_" + std::to_string(std::rand()) + ".hex")).string();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzsupport::quietLibrary();
  ZString::languageTable = nullptr;  // the parser sees the text as it is in the file
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  ZString source(text.data(), static_cast<int>(text.size()));
  ZMem image(0);
  ZHexFile hex;
  bool parsed = hex.parse(source, image);

  std::uint64_t highest = 0;
  bool anyData = false;
  bool expected = wellFormed(text, highest, anyData);
  check(parsed == expected, "parse takes exactly the well-formed texts");
  check(static_cast<std::uint64_t>(image.getSize()) <= limit + 1000, "the image never grows past 16 MiB");
  if (!parsed) return 0;
  check(static_cast<std::uint64_t>(image.getSize()) == highest + 1, "the image ends at the highest address filled");

  // Small images go through a file and back unchanged.
  if (anyData && image.getSize() <= 0x30000) {
    const std::string path = scratchFile();
    check(hex.save(ZString(path.c_str()), image), "save of a parsed image");
    ZMem again(0);
    check(hex.load(ZString(path.c_str()), again), "load of a saved image");
    check(again.getSize() == image.getSize() &&
              std::memcmp(again.getData(), image.getData(), static_cast<std::size_t>(image.getSize())) == 0,
          "save and load give the image back");
    std::filesystem::remove(path);
  }
  return 0;
}
