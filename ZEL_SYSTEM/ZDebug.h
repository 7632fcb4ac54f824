// ZDebug: the debug channel. Sends diagnostic text lines over TCP to a debug monitor on this
// computer (any program that listens on the monitor port and shows what it reads). It starts
// muted; once unmuted, the first line makes the one connection attempt of the process, and
// without a monitor all output is dropped silently. The channel never holds the tool up: the
// connection attempt waits at most a short time, and a line that does not fit into the
// connection's buffer (a monitor that does not read) is dropped and counted; the next line that
// fits is preceded by a line that says how many were dropped.
#pragma once
#include <string>

#include "ZEL_SYSTEM/ZNetworkStreamTcp.h"
#include "ZEL_UTIL/ZString.h"

class ZDebug : public ZNetworkStreamTcp {
 public:
  // The monitor port is 5001 unless the environment variable KALMO_DEBUG_PORT holds another
  // port number (1 to 65535) when the object is constructed; tests point the channel elsewhere.
  ZDebug();
  const char* className() const override { return "ZDebug"; }
  // Ends an event thread that still runs first, as every network stream class does.
  ~ZDebug() override;

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

  // How long the connection attempt waits for a monitor that does not answer at once.
  static constexpr unsigned connectWaitMs = 200;

 private:
  // Hands the line to the connection without waiting; drops and counts it when it does not fit.
  void sendLine(const ZString& line);
  // Sends what is left of a line that went out in part; true once nothing is left.
  bool sendRestOfLine();

  int droppedLines = 0;
  std::string restOfLine;  // the bytes of a line that the connection did not take in full
};

extern ZDebug zelDebug;
