#include "ZEL_UTIL/ZTime.h"

#include "ZEL_OS/OsClock.h"

ZTime::ZTime() { setNow(); }

ZTime::ZTime(std::int32_t value) { setSeconds(value); }

ZTime::ZTime(const ZTime& other) { setSeconds(other.seconds); }

ZTime& ZTime::operator=(const ZTime& other) {
  setSeconds(other.seconds);
  return *this;
}

void ZTime::setNow() { setSeconds(static_cast<std::int32_t>(std::time(nullptr))); }

void ZTime::setSeconds(std::int32_t value) {
  seconds = value;
  zos::localTime(value, local);
}

ZString ZTime::format(const ZString& formatText) const {
  char buffer[1000];
  std::size_t length = std::strftime(buffer, sizeof buffer, formatText.getBuffer(), &local);
  return ZString(buffer, static_cast<int>(length));  // 0 when it did not fit
}

ZString ZTime::getDate() const { return format("%d.%m.%Y"); }

ZString ZTime::getTime() const { return format("%H:%M:%S"); }

std::uint32_t ZTime::getTickCount() { return zos::tickCount(); }
