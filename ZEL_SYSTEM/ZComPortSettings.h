// ZComPortSettings: the line settings of one serial port (port name, baud rate, parity, data bits,
// stop bits) and their one-line text form "COM3,19200,N,8,1". Parity and stop bits are kept as the
// codes the system's line configuration uses (zos::SerialParity and zos::SerialStopBits of the
// serial device layer), so the port hands them on unchanged.
#pragma once

#include "ZEL_UTIL/ZString.h"

class ZComPortSettings {
 public:
  ZComPortSettings();
  virtual ~ZComPortSettings();

  virtual const char* getClassName() const { return className(); }
  virtual const char* className() const { return "ZComPortSettings"; }

  // "com1", 9600 baud, no parity, 8 data bits, one stop bit.
  void setDefaults();

  // Takes the settings from a text "port,baud,parity,data,stop"; a field that is missing or does
  // not match leaves its default. A port field beginning with "/" is a device path and is kept as
  // it is; any other port name must begin with "com" and is stored in lower case.
  void set(const ZString& text);

  // The settings as text, in upper case (a device path keeps its own case).
  ZString toString() const;

  // Read and write the section "ComPort" + suffix of the user configuration file.
  void loadConfig(const ZString& suffix);
  void saveConfig(const ZString& suffix);

  ZString port;
  int baudRate;
  int parity;    // a parity code; any number may be stored, the line refuses what it cannot take
  int dataBits;
  int stopBits;  // a stop-bit code, the same
};
