// ZComPortSettings::set of any settings text. Its own text form must read back to the same
// settings, and a field it does not give must take its default.
#include <string>

#include "ZEL_SYSTEM/ZComPortSettings.h"
#include "ZEL_UTIL/ZString.h"
#include "fuzz/FuzzSupport.h"

using fuzzsupport::check;

namespace {

bool same(const ZComPortSettings& a, const ZComPortSettings& b) {
  return a.port == b.port && a.baudRate == b.baudRate && a.parity == b.parity && a.dataBits == b.dataBits &&
         a.stopBits == b.stopBits;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzsupport::quietLibrary();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The settings text is cut with the string search, which sees it up to its first zero byte.
  std::string text = std::string(reinterpret_cast<const char*>(data), size);
  text = text.substr(0, text.find('\0'));

  ZComPortSettings settings;
  settings.set(ZString("com7,115200,E,7,2"));
  settings.set(ZString(text.c_str()));
  check(settings.parity >= 0 && settings.parity <= 4, "parity is one of the five codes");
  check(settings.stopBits >= 0 && settings.stopBits <= 2, "the stop bits are one of the three codes");
  check(!settings.port.isEmpty(), "there is always a port name");

  ZComPortSettings again;
  again.set(settings.toString());
  check(same(settings, again), "the settings text reads back to the same settings");
  check(again.toString() == settings.toString(), "the settings text is stable");

  // Without a second field, the baud rate is the default, whatever the first set said.
  if (text.find(',') == std::string::npos) check(settings.baudRate == 9600, "a missing field takes its default");
  return 0;
}
