// ZMapStringToString::parseText of any text with any separators: it ends, and a text it accepts
// is the map written out again (when no key came twice).
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

#include "ZEL_UTIL/ZMapStringToString.h"
#include "fuzz/FuzzSupport.h"

using fuzzsupport::check;

namespace {
std::string cut(std::string s) { return s.substr(0, s.find('\0')); }  // the string search stops there
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzsupport::quietLibrary();
  ZString::languageTable = nullptr;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const std::string pairSeparator = cut(input.ConsumeRandomLengthString(4));
  const std::string keySeparator = cut(input.ConsumeRandomLengthString(4));
  const bool clear = input.ConsumeBool();
  const std::string text = cut(input.ConsumeRemainingBytesAsString());

  ZMapStringToString map;
  map.set("old", "value");
  int pairs = map.parseText(ZString(text.c_str()), ZString(pairSeparator.c_str()), ZString(keySeparator.c_str()), clear);
  check(pairs >= -1, "parseText returns a count or -1");
  if (pairs >= 0) check(map.getCount() <= pairs + 1, "no more keys than pairs");
  if (pairs <= 0 || !clear) return 0;

  std::set<std::string> keys;
  for (int i = 0; i < map.getCount(); ++i) keys.insert(map.getKeyAt(i).getBuffer());
  if (static_cast<int>(keys.size()) != pairs) return 0;  // a key came twice: its first value is gone
  std::string written = map.toText(ZString(keySeparator.c_str()), ZString(pairSeparator.c_str())).getBuffer();
  if (std::getenv("KALMO_FUZZ_TRACE")) {
    std::fprintf(stderr, "pair [%s] key [%s] text [%s] -> %d pairs, written [%s]\n", pairSeparator.c_str(),
                 keySeparator.c_str(), text.c_str(), pairs, written.c_str());
  }
  check(written == text || written + pairSeparator == text, "an accepted text is its pairs written out");
  return 0;
}
