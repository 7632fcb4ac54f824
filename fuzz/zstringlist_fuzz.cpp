// ZStringList's splitting of outside text: command-line rules with quotes, and nested brackets.
// The language table is switched off so that items can be compared with the text.
#include <fuzzer/FuzzedDataProvider.h>

#include <string>

#include "ZEL_UTIL/ZStringList.h"
#include "fuzz/FuzzSupport.h"

using fuzzsupport::check;

namespace {

bool isBlank(char c) { return static_cast<unsigned char>(c) <= 0x20; }

void checkSplitQuoted(const std::string& text) {
  ZStringList list;
  int count = list.splitQuoted(ZString(text.c_str()));
  check(count == list.getCount(), "splitQuoted returns the number of items");
  std::size_t letters = 0;
  for (char c : text) letters += isBlank(c) ? 0 : 1;
  std::size_t itemLetters = 0;
  for (int i = 0; i < count; ++i) {
    const ZString& item = list.getAt(i);
    int n = item.getLength();
    if (n > 0) check(!isBlank(item.getBuffer()[0]) && !isBlank(item.getBuffer()[n - 1]), "items are trimmed");
    for (int k = 0; k < n; ++k) itemLetters += isBlank(item.getBuffer()[k]) ? 0 : 1;
  }
  check(itemLetters <= letters, "splitQuoted makes no characters up");
}

void checkSplitNested(const std::string& text, char separator, const std::string& pairs, bool quoteEscape) {
  ZStringList list;
  int count = list.splitNested(ZString(text.c_str()), separator, ZString(pairs.c_str()), quoteEscape);
  check(count == list.getCount(), "splitNested returns the number of items");
  // The items are the text cut at some separators: joined again they give it back (a separator
  // at the very end leaves no empty item behind it).
  std::string joined = list.join(ZString(separator)).getBuffer();
  check(joined == text || joined + separator == text, "splitNested items join to the text");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzsupport::quietLibrary();
  ZString::languageTable = nullptr;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  char separator = static_cast<char>(input.ConsumeIntegralInRange<int>(1, 255));
  bool quoteEscape = input.ConsumeBool();
  std::string pairs = input.ConsumeRandomLengthString(8);
  std::string text = input.ConsumeRemainingBytesAsString();
  // Both work on zero-terminated texts.
  pairs = pairs.substr(0, pairs.find('\0'));
  text = text.substr(0, text.find('\0'));
  checkSplitQuoted(text);
  checkSplitNested(text, separator, pairs, quoteEscape);
  check(fuzzsupport::boxesShown() == 0, "splitting shows no index error");
  return 0;
}
