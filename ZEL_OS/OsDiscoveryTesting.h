// What tests change of the discovery: the serial port registry's values, and where the POSIX
// side looks for its devices. Only tests include this.
#pragma once
#include <string>

namespace zos {

// Adds (or replaces) and removes a value of the serial port registry, as a driver does when a
// port comes and goes. Windows only; elsewhere false with lastError() set.
bool serialCommSetValue(const char* name, const char* data);
bool serialCommDeleteValue(const char* name);

// Where the POSIX side looks; each empty text means the system's own ("/sys", "/lib/modules",
// "/dev" and the running kernel's release). Tests point them at a tree of their own.
struct DeviceRoots {
  std::string sys;
  std::string modules;
  std::string dev;
  std::string release;
};
void setDeviceRoots(const DeviceRoots& roots);

}  // namespace zos
