// Finding the programmer: the USB-to-serial bridge's driver must be installed and running, and
// the port it made is the programmer's. Diagnostics go to the debug channel only.
//
// Windows: the driver's service pairs ("silabenm"/"silabser" or "slabbus"/"slabser") and the
// serial port registry. Linux: the cp210x kernel driver and the tty devices bound to it.
// The environment variable KALMO_PORT, when set, names the port without any check.
#pragma once

#include "ZEL_UTIL/ZString.h"

// The programmer's port (such as COM3 or /dev/ttyUSB0); empty when the driver is not ready or
// has no port.
ZString findProgrammerPort();

bool isDriverInstalled();
bool isDriverActive();

// The first port of the driver as the system lists it, without the driver checks; empty if none.
ZString findDriverPort();
