// ZDebug: the debug channel for diagnostic lines of the developer. It starts muted.
#pragma once

#include "ZEL_UTIL/ZString.h"

class ZDebug {
 public:
  ZDebug() = default;
  ZDebug(const ZDebug&) = delete;
  ZDebug& operator=(const ZDebug&) = delete;

  virtual const char* getClassName() const { return className(); }
  virtual const char* className() const { return "ZDebug"; }
  virtual ~ZDebug() = default;

  void print(const ZString& text);
  void printf(const char* formatText, ...);

  int muted = 1;
};

// The program's one debug channel.
extern ZDebug zelDebug;
