// ZNetworkStreamTcp: the TCP steps of a network stream (stream sockets over IPv4).
#pragma once
#include "ZEL_SYSTEM/ZNetworkStream.h"

class ZNetworkStreamTcp : public ZNetworkStream {
 public:
  ZNetworkStreamTcp();
  const char* className() const override { return "ZNetworkStreamTcp"; }

  int _connect() override;
  int _listen() override;
  ZString _receive() override;
  int _send(const ZString& text) override;
  int _send(const ZMem& block) override;
  int _receive(ZMem& out) override;

 private:
  // Ends a failed set-up step: its text and the system's text for the error, then disconnect.
  int failStep(const char* stepText);
  int sendBytes(const char* bytes, int count);
};
