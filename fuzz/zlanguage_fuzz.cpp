// The language table: load of any table text, then translate of any texts, marked or not,
// with and without a known length, and the string stores that go through it.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstring>
#include <string>
#include <vector>

#include "ZEL_UTIL/ZLanguage.h"
#include "ZEL_UTIL/ZString.h"
#include "fuzz/FuzzSupport.h"

using fuzzsupport::check;

namespace {

const std::string marker = "\xB3\xB3";

// The result of translate lies in the caller's text (behind its start) or is a zero-terminated
// text of the table; its length is what the caller may copy.
void checkTranslate(ZLanguage& table, const std::string& text, bool knownLength) {
  int length = knownLength ? static_cast<int>(text.size()) : -1;
  const char* begin = text.c_str();
  const char* end = begin + text.size();
  const char* result = table.translate(begin, &length);
  check(result != nullptr, "translate returns a text");
  if (length == -1 && !knownLength) {
    check(result >= begin && result <= end, "an unknown length stays unknown only for a piece of the text");
    return;
  }
  check(length >= 0, "translate returns a length");
  if (result >= begin && result <= end) {
    check(result + length <= end, "a result in the caller's text stays inside it");
  } else {
    check(std::strlen(result) == static_cast<std::size_t>(length), "a table text has the length returned");
  }
  if (!knownLength && result >= begin && result <= end) {
    check(std::strlen(result) == static_cast<std::size_t>(length), "an unknown length is the result's length");
  }
  // A string store takes exactly that much.
  if (knownLength) {
    ZString stored(text.data(), static_cast<int>(text.size()));
    check(stored.getLength() == length, "a string store takes the translated length");
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzsupport::quietLibrary();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  std::string tableText = input.ConsumeRandomLengthString(4096);
  std::vector<std::string> texts;
  while (input.remaining_bytes() > 0 && texts.size() < 16) texts.push_back(input.ConsumeRandomLengthString(256));

  // A table of its own for every input; it serves every string store while it lives.
  ZLanguage table;
  ZString source(tableText.data(), static_cast<int>(tableText.size()));
  check(table.load(source) == 1, "load returns 1");
  check(source.isEmpty(), "load consumes the text");
  for (const std::string& text : texts) {
    checkTranslate(table, text, false);
    checkTranslate(table, text, true);
    // The same text marked as a key of its own, with a default behind it.
    checkTranslate(table, marker + text + marker + "default", false);
  }
  // A second load goes on behind the first.
  ZString again(tableText.data(), static_cast<int>(tableText.size()));
  table.load(again);
  for (const std::string& text : texts) checkTranslate(table, marker + text, true);
  table.clear();
  return 0;
}
