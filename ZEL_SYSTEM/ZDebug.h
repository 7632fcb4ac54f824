// ZDebug: the debug channel. Sends diagnostic text lines over TCP to a debug monitor on this
// computer (any program that listens on the monitor port and shows what it reads). It starts
// muted; once unmuted, the first line makes the one connection attempt of the process, and
// without a monitor all output is dropped silently.
#pragma once
#include "ZEL_SYSTEM/ZNetworkStreamTcp.h"
#include "ZEL_UTIL/ZString.h"

class ZDebug : public ZNetworkStreamTcp {
 public:
  // The monitor port is 5001 unless the environment variable KALMO_DEBUG_PORT holds another
  // port number (1 to 65535) when the object is constructed; tests point the channel elsewhere.
  ZDebug();
  const char* className() const override { return "ZDebug"; }

  // Sends the text followed by CR LF as one line.
  void print(const ZString& text);
  // Formats printf-style (at most 5000 characters; a longer result is cut and followed by a
  // warning line) and sends the result with print.
  void printf(const char* format, ...)
#if defined(__GNUC__)
      __attribute__((format(printf, 2, 3)))
#endif
      ;
  // Makes the single connection attempt if it has not been made; true while connected.
  bool connectMonitor();

  int monitorPort = 5001;
  ZString monitorHost = "localhost";
  int muted = 1;
  // 0: no attempt yet, 1: connected, 2: the one attempt failed.
  int connectState = 0;
};

extern ZDebug zelDebug;
