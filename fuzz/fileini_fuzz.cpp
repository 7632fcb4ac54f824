// ZFileIni with any file content: open, then a fuzzer-chosen run of reads and edits, save, and a
// second object that opens the saved file. Values and list entries written with sound names must
// read back, and what was saved must open to the same content (masked files included).
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ZEL_SYSTEM/ZFileIni.h"
#include "ZEL_UTIL/ZMapStringToNum.h"
#include "ZEL_UTIL/ZMapStringToString.h"
#include "ZEL_UTIL/ZString.h"
#include "ZEL_UTIL/ZStringList.h"
#include "fuzz/FuzzSupport.h"
#include "tests/support/ZStringBytes.h"

using fuzzsupport::check;

namespace {

std::filesystem::path scratchDirectory() {
  static std::filesystem::path dir;
  if (dir.empty()) {
    std::filesystem::path base = std::filesystem::exists("/dev/shm") ? std::filesystem::path("/dev/shm")
                                                                     : std::filesystem::temp_directory_path();
    dir = base / ("kalmo_fileini_fuzz_" + std::to_string(std::rand()));
    std::filesystem::create_directories(dir);
  }
  return dir;
}

bool has(const std::string& s, const char* chars) { return s.find_first_of(chars, 0, std::strlen(chars)) != std::string::npos; }
bool hasLineEnd(const std::string& s) { return has(s, "\r\n"); }
bool isBlank(char c) { return static_cast<unsigned char>(c) <= 0x20; }

// Names that the file format can hold: a section name without ']' or line ends, a key without
// '=', blanks at its ends or line ends, a value without line ends.
bool soundSection(const std::string& s) { return !has(s, "]\r\n"); }
bool soundKey(const std::string& k) { return !k.empty() && !has(k, "=\r\n[") && !isBlank(k.front()) && k.front() != ';'; }
bool soundValue(const std::string& v) { return !v.empty() && !hasLineEnd(v); }


// KALMO_FUZZ_TRACE=1 prints every step, for reading a saved input.
const bool tracing = std::getenv("KALMO_FUZZ_TRACE") != nullptr;

std::string shown(const std::string& s) {
  std::string out;
  for (unsigned char c : s) {
    char hex[8];
    if (c >= 0x20 && c < 0x7F && c != '\\') out += static_cast<char>(c);
    else { std::snprintf(hex, sizeof hex, "\\x%02X", c); out += hex; }
  }
  return out;
}

// Section names: a few fixed ones, those that stand in the content, and the fuzzer's own.
std::string pickName(FuzzedDataProvider& input, const std::vector<std::string>& found) {
  static const char* fixed[] = {"ComPort", "Fz", "", "Last", "zelContentMask+93]"};
  switch (input.ConsumeIntegralInRange(0, 2)) {
    case 0: return fixed[input.ConsumeIntegralInRange<std::size_t>(0, 4)];
    case 1: if (!found.empty()) return found[input.ConsumeIntegralInRange<std::size_t>(0, found.size() - 1)]; break;
    default: break;
  }
  return input.ConsumeRandomLengthString(12);
}

std::vector<std::string> headersIn(const std::string& content) {
  std::vector<std::string> names;
  std::size_t at = 0;
  while ((at = content.find('[', at)) != std::string::npos && names.size() < 8) {
    std::size_t close = content.find(']', at);
    if (close == std::string::npos) break;
    names.push_back(content.substr(at + 1, close - at - 1));
    at = close;
  }
  return names;
}

// The read-back checks need a file that the format can describe: no zero byte (it hides
// everything behind it from the text searches) and nothing but blanks behind a header's "]" on
// its line (a key written into the body would stand on the header's line, where no read finds it).
bool wellFormed(const std::string& content) {
  if (content.find('\0') != std::string::npos) return false;
  // Lines end in "\r\n" and nowhere else: a lone CR or LF (a text with a line end written into
  // it) hides the line behind it from the searches for "\r\n" and a name.
  for (std::size_t at = 0; at < content.size(); ++at) {
    if (content[at] == '\r' && (at + 1 == content.size() || content[at + 1] != '\n')) return false;
    if (content[at] == '\n' && (at == 0 || content[at - 1] != '\r')) return false;
  }
  for (std::size_t at = 0; at < content.size(); ++at) {
    if (content[at] != '[' || (at != 0 && (at < 2 || content.compare(at - 2, 2, "\r\n") != 0))) continue;
    std::size_t close = content.find(']', at);
    if (close == std::string::npos) continue;
    std::size_t end = content.find("\r\n", close);
    if (end == std::string::npos) end = content.size();
    for (std::size_t i = close + 1; i < end; ++i) {
      if (!isBlank(content[i])) return false;
    }
  }
  return true;
}

void edit(ZFileIni& ini, FuzzedDataProvider& input, const std::vector<std::string>& found) {
  ZStringList keys, values;
  ZMapStringToString texts;
  ZMapStringToNum numbers;
  for (int step = 0; step < 24 && input.remaining_bytes() > 0; ++step) {
    // The read-back checks hold while the content is one the format describes; an edit with an
    // unsound text may leave it otherwise.
    const bool searchable = wellFormed(bytesOf(ini.content));
    std::string section = pickName(input, found);
    std::string key = pickName(input, found);
    std::string value = input.ConsumeRandomLengthString(16);
    // Texts reach the class through string stores, which see them up to the first zero byte.
    for (std::string* s : {&section, &key, &value}) *s = s->substr(0, s->find('\0'));
    const ZString zs(section.c_str()), zk(key.c_str()), zv(value.c_str());
    const int operation = input.ConsumeIntegralInRange(0, 12);
    if (tracing) {
      std::fprintf(stderr, "content \"%s\"\nstep %d: op %d section \"%s\" key \"%s\" value \"%s\"\n",
                   shown(bytesOf(ini.content)).c_str(), step, operation, shown(section).c_str(), shown(key).c_str(),
                   shown(value).c_str());
    }
    switch (operation) {
      case 0:
        ini.getValue(zs, zk, zv);
        break;
      case 1:
        ini.setValue(zs, zk, zv);
        if (searchable && soundSection(section) && soundKey(key) && soundValue(value)) {
          check(bytesOf(ini.getValue(zs, zk, ZString("\x01"))) == value, "a value set reads back");
        }
        break;
      case 2: {
        int number = input.ConsumeIntegral<int>();
        ini.setInt(zs, zk, number);
        if (searchable && soundSection(section) && soundKey(key)) check(ini.getInt(zs, zk, ~number) == number, "a number set reads back");
        break;
      }
      case 3:
        ini.getSectionText(zs);
        break;
      case 4:
        ini.setSectionText(zs, zv);
        break;
      case 5:
        ini.renameSection(zs, zk);
        break;
      case 6:
        ini.getKeys(zs, keys, input.ConsumeBool() ? &values : nullptr, input.ConsumeBool());
        break;
      case 7:
        ini.readSection(zs, texts, input.ConsumeBool());
        ini.readSection(zs, numbers, input.ConsumeBool());
        break;
      case 8:
        ini.writeSection(zs, texts);
        break;
      case 9:
        ini.getSectionNames(keys, zk, input.ConsumeBool() ? &values : nullptr);
        break;
      case 10: {
        ini.addToList(zs, zv);
        // An entry is a line of its own: it must not read as a comment, a header or the limit.
        bool soundEntry = soundValue(value) && !isBlank(value.front()) && !isBlank(value.back()) &&
                          value.front() != ';' && value.front() != '[' && value.rfind("maxEntries=", 0) != 0;
        if (searchable && soundSection(section) && !section.empty() && soundEntry && ini.getInt(zs, "maxEntries", 10) >= 1) {
          ZStringList list;
          check(ini.getList(zs, list) >= 1 && bytesOf(list.getAt(0)) == value, "a list entry added comes first");
        }
        break;
      }
      case 11:
        ini.removeFromList(zs, zv);
        break;
      default:
        ini.getList(zs, keys);
        break;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzsupport::quietLibrary();
  ZString::languageTable = nullptr;  // the content is taken as it is in the file
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  std::string content = input.ConsumeRandomLengthString(4096);
  const std::filesystem::path file = scratchDirectory() / "fuzz.ini";
  {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
  }
  const ZString name(file.string().c_str());
  {
    ZFileIni ini;
    check(ini.open(name, 0, 0) == 1, "an existing file opens");
    check(ini.content.endsWith("\r\n"), "the content ends with a line end after open");
    edit(ini, input, headersIn(content));
    check(ini.save() == 1, "save writes the file");
    const std::string saved = bytesOf(ini.content);

    ZFileIni reread;
    check(reread.open(name, 0, 1) == 1, "the saved file opens");
    // A mask byte of 0 leaves the header's '+' in memory; the text itself must be the same.
    std::string again = bytesOf(reread.content);
    if (again.size() > 15 && saved.size() > 15) again[15] = saved[15];
    // Open gives a file that does not end with a line end one (an edit with a line end inside a
    // text can leave the content without it).
    std::string expected = saved;
    if (expected.size() < 2 || expected.compare(expected.size() - 2, 2, "\r\n") != 0) expected += "\r\n";
    check(again == expected, "the saved file opens to the content that was saved");
  }
  std::filesystem::remove(file);
  return 0;
}
