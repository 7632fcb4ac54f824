#include "ZEL_OS/Windows/WinApi.h"
#include "ZEL_OS/OsDiscovery.h"
#include "ZEL_OS/OsError.h"

namespace zos {

DriverModel bridgeDriverModel() { return DriverModel::services; }

Handle serialCommOpen() {
  HKEY key = nullptr;
  LONG result = RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ,
                              &key);
  if (result != ERROR_SUCCESS) {
    setLastError(static_cast<int>(result));
    return nullptr;
  }
  return key;
}

int serialCommEnumValue(Handle key, unsigned index, char* name, unsigned& nameSize,
                        unsigned char* data, unsigned& dataSize) {
  DWORD nameLength = nameSize;
  DWORD dataLength = dataSize;
  DWORD type = 0;
  LONG result = RegEnumValueA(static_cast<HKEY>(key), index, name, &nameLength, nullptr, &type,
                              data, &dataLength);
  nameSize = nameLength;
  dataSize = dataLength;
  if (result != ERROR_SUCCESS) setLastError(static_cast<int>(result));
  return static_cast<int>(result);
}

bool isNoMoreItems(int result) { return result == ERROR_NO_MORE_ITEMS; }

void serialCommClose(Handle key) {
  if (key) RegCloseKey(static_cast<HKEY>(key));
}

void setDeviceRoots(const DeviceRoots&) {}

bool kernelDriverInstalled(const char*) {
  setLastError(ERROR_NOT_SUPPORTED);
  return false;
}

bool kernelDriverActive(const char*) {
  setLastError(ERROR_NOT_SUPPORTED);
  return false;
}

std::vector<std::string> kernelDriverPorts(const char*) {
  setLastError(ERROR_NOT_SUPPORTED);
  return {};
}

}  // namespace zos
