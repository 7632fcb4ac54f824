// What the system knows about the USB-to-serial bridge's driver and its serial ports.
// Windows: the driver runs as services (checked through the service manager) and its ports are
// values of the registry key HARDWARE\DEVICEMAP\SERIALCOMM. POSIX: the driver is a kernel module
// and its ports are the tty devices bound to it, found in sysfs.
#pragma once
#include <string>
#include <vector>

#include "ZEL_OS/OsTypes.h"

namespace zos {

enum class DriverModel {
  services,     // installed and running services; ports in the serial port registry
  kernelModule  // a kernel module; ports from the driver's devices
};

// How this system runs the bridge's driver.
DriverModel bridgeDriverModel();

// The serial port registry (Windows; fails elsewhere with lastError() set). serialCommEnumValue
// reads value index into the buffers (sizes in: their room, out: what was stored) and returns 0,
// or the system's code; isNoMoreItems tells the code that ends the enumeration.
Handle serialCommOpen();
int serialCommEnumValue(Handle key, unsigned index, char* name, unsigned& nameSize,
                        unsigned char* data, unsigned& dataSize);
bool isNoMoreItems(int result);
// True when the call read a value: in full, or cut to the buffers (a name or data too long).
bool isValueRead(int result);
void serialCommClose(Handle key);

// The kernel driver (POSIX; false elsewhere): installed when the kernel has it built in or as a
// module file, active when it is registered with the USB serial core.
bool kernelDriverInstalled(const char* driver);
bool kernelDriverActive(const char* driver);

// The device paths of the tty devices bound to the driver, in name order.
std::vector<std::string> kernelDriverPorts(const char* driver);

}  // namespace zos
