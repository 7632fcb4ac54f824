// ZString's parsers of outside text: the number forms of toInt, %XX decoding and replace.
// The language table is switched off here so that the results can be compared byte for byte;
// the table's own target feeds it marked texts.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <string>

#include "ZEL_UTIL/ZString.h"
#include "fuzz/FuzzSupport.h"
#include "tests/support/ZStringBytes.h"

using fuzzsupport::check;

namespace {


// Every occurrence from left to right, the search going on behind each replacement.
int replaceAll(std::string& text, const std::string& search, const std::string& replacement) {
  int count = 0;
  std::string built;
  std::size_t from = 0, pos;
  while ((pos = text.find(search, from)) != std::string::npos) {
    built.append(text, from, pos - from);
    built += replacement;
    from = pos + search.size();
    ++count;
  }
  built.append(text, from, std::string::npos);
  text = built;
  return count;
}

void checkToInt(const std::string& text) {
  ZString s(text.data(), static_cast<int>(text.size()));
  int value = s.toInt();
  if (text.size() > 6 && text[0] == '#') check(value >= 0 && value <= 0xFFFFFF, "a colour fits in 24 bits");
}

void checkUrlDecode(const std::string& text) {
  // Decoding text with every byte written as %XX gives the bytes back.
  std::string encoded;
  char hex[4];
  for (unsigned char c : text) {
    std::snprintf(hex, sizeof hex, "%%%02X", c);
    encoded += hex;
  }
  ZString s(encoded.data(), static_cast<int>(encoded.size()));
  s.urlDecode();
  check(bytesOf(s) == text, "urlDecode of %XX for every byte gives the bytes");

  // Any text: never longer, and unchanged without a '%'.
  ZString plain(text.data(), static_cast<int>(text.size()));
  plain.urlDecode();
  check(plain.getLength() <= static_cast<int>(text.size()), "urlDecode never makes a text longer");
  if (text.find('%') == std::string::npos) check(bytesOf(plain) == text, "urlDecode keeps a text without %");
}

void checkReplace(const std::string& text, const std::string& search, const std::string& replacement, bool repeat) {
  ZString s(text.c_str());
  int count = s.replace(ZString(search.c_str()), ZString(replacement.c_str()), repeat);
  if (search.empty()) {
    check(count == 0 && bytesOf(s) == text, "an empty search replaces nothing");
    return;
  }
  std::string expected = text;
  int expectedCount = replaceAll(expected, search, replacement);
  // Passes are repeated only for a replacement no longer than the search text that does not
  // hold it: any other could make new occurrences for ever.
  if (!repeat || replacement.size() > search.size() || replacement.find(search) != std::string::npos) {
    check(count == expectedCount, "replace counts every occurrence");
    check(bytesOf(s) == expected, "replace gives the text with every occurrence replaced");
    return;
  }
  check(count >= expectedCount, "replace with repeat counts the first pass and the further ones");
  check(bytesOf(s).find(search) == std::string::npos, "replace with repeat leaves no occurrence");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzsupport::quietLibrary();
  ZString::languageTable = nullptr;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const bool repeat = input.ConsumeBool();
  std::string search = input.ConsumeRandomLengthString(16);
  std::string replacement = input.ConsumeRandomLengthString(16);
  std::string text = input.ConsumeRemainingBytesAsString();

  checkToInt(text);
  checkUrlDecode(text);

  // replace sees its texts up to the first zero byte, as the runtime's search does.
  auto cut = [](std::string& s) { s = s.substr(0, s.find('\0')); };
  cut(search);
  cut(replacement);
  cut(text);
  checkReplace(text, search, replacement, repeat);
  return 0;
}
