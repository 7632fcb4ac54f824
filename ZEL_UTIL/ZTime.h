// ZTime: a point in calendar time, as seconds since 1970 together with its local broken-down
// form, with formatting to text; and the system's millisecond tick count.
#pragma once
#include <cstdint>
#include <ctime>

#include "ZEL_UTIL/ZString.h"

class ZTime {
 public:
  ZTime();  // now
  explicit ZTime(std::int32_t seconds);
  ZTime(const ZTime& other);
  ZTime& operator=(const ZTime& other);

  virtual const char* getClassName() const { return className(); }
  virtual const char* className() const { return "ZTime"; }
  virtual ~ZTime() = default;

  void setNow();
  // Stores the seconds and their local time (every field 0 when the system cannot convert them).
  void setSeconds(std::int32_t seconds);
  std::int32_t getSeconds() const { return seconds; }
  const std::tm& getLocal() const { return local; }

  // The local time formatted by the runtime's strftime; empty when the result would not fit in
  // 999 characters.
  ZString format(const ZString& formatText) const;
  ZString getDate() const;  // 06.12.2026
  ZString getTime() const;  // 13:05:09

  // Milliseconds of the system's clock, in 32 bits: the difference of two counts, taken in
  // unsigned 32-bit arithmetic, is right across the wrap after about 49.7 days.
  static std::uint32_t getTickCount();

 private:
  std::int32_t seconds = 0;
  std::tm local{};
};
