// ZNetworkStreamTcp: the TCP steps of a network stream (stream sockets over IPv4).
#pragma once
#include "ZEL_SYSTEM/ZNetworkStream.h"

class ZNetworkStreamTcp : public ZNetworkStream {
 public:
  ZNetworkStreamTcp();
  const char* className() const override { return "ZNetworkStreamTcp"; }
  // The event thread calls this object's virtual steps and handlers: a thread that still runs
  // is ended before any part of the object is gone. A subclass that overrides them does the same.
  ~ZNetworkStreamTcp() override;

  int _connect() override;
  int _listen() override;
  ZString _receive() override;
  int _send(const ZString& text) override;
  int _send(const ZMem& block) override;
  int _receive(ZMem& out) override;

  // How long _connect waits for the connection to be made; 0: as long as the system does. With
  // a limit the socket works non-blocking once connected.
  unsigned connectTimeoutMs = 0;

 protected:
  // A send that failed: the failure's status and text.
  void noteSendFailure();

 private:
  // Ends a failed set-up step: its text and the system's text for the error, then disconnect.
  int failStep(const char* stepText);
  int sendBytes(const char* bytes, int count);
};
