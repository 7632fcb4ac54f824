// ZMem::parsePairs of any bytes with any separators and end byte: every separator up to the end
// byte makes one pair, and no key or value holds the pair separator.
#include <fuzzer/FuzzedDataProvider.h>

#include <string>

#include "ZEL_SYSTEM/ZMem.h"
#include "ZEL_UTIL/ZMapStringToString.h"
#include "fuzz/FuzzSupport.h"

using fuzzsupport::check;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzsupport::quietLibrary();
  ZString::languageTable = nullptr;  // keys and values are compared with the bytes
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const char pairSeparator = input.ConsumeIntegral<char>();
  const char keySeparator = input.ConsumeIntegral<char>();
  const char endByte = input.ConsumeIntegral<char>();
  const std::string bytes = input.ConsumeRemainingBytesAsString();

  ZMem block(static_cast<int>(bytes.size()));
  for (std::size_t i = 0; i < bytes.size(); ++i) block.setAt(static_cast<int>(i), static_cast<unsigned char>(bytes[i]));
  ZMapStringToString map;
  int pairs = block.parsePairs(map, pairSeparator, keySeparator, endByte);

  // The separators before the stop: at the first separator followed by the end byte.
  int expected = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] != pairSeparator) continue;
    ++expected;
    if (i + 1 < bytes.size() && bytes[i + 1] == endByte) break;
  }
  check(pairs == expected, "one pair for every separator before the end byte");
  check(map.getCount() <= pairs, "no more keys than pairs");
  for (int i = 0; i < map.getCount(); ++i) {
    const ZString& key = map.getKeyAt(i);
    const ZString& value = map.getValueAt(i);
    check(std::string(key.getBuffer(), key.getLength()).find(pairSeparator) == std::string::npos &&
              std::string(value.getBuffer(), value.getLength()).find(pairSeparator) == std::string::npos,
          "keys and values hold no pair separator");
    check(std::string(key.getBuffer(), key.getLength()).find(keySeparator) == std::string::npos,
          "a key ends at the first key separator");
  }
  return 0;
}
