#include "ZEL_OS/Windows/WinApi.h"
#include "ZEL_OS/OsDiscovery.h"
#include "ZEL_OS/OsDiscoveryTesting.h"
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

bool isValueRead(int result) { return result == ERROR_SUCCESS || result == ERROR_MORE_DATA; }

void serialCommClose(Handle key) {
  if (key) RegCloseKey(static_cast<HKEY>(key));
}

namespace {

HKEY openForWriting() {
  HKEY key = nullptr;
  LONG result = RegCreateKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, nullptr,
                                REG_OPTION_VOLATILE, KEY_SET_VALUE, nullptr, &key, nullptr);
  if (result != ERROR_SUCCESS) {
    setLastError(static_cast<int>(result));
    return nullptr;
  }
  return key;
}

}  // namespace

bool serialCommSetValue(const char* name, const char* data) {
  HKEY key = openForWriting();
  if (!key) return false;
  const char* text = data ? data : "";
  LONG result = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                               static_cast<DWORD>(lstrlenA(text) + 1));
  RegCloseKey(key);
  if (result != ERROR_SUCCESS) setLastError(static_cast<int>(result));
  return result == ERROR_SUCCESS;
}

bool serialCommDeleteValue(const char* name) {
  HKEY key = openForWriting();
  if (!key) return false;
  LONG result = RegDeleteValueA(key, name);
  RegCloseKey(key);
  if (result != ERROR_SUCCESS) setLastError(static_cast<int>(result));
  return result == ERROR_SUCCESS;
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
