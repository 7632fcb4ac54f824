#include "app/ProgrammerDiscovery.h"

#include <cstring>
#include <string>
#include <vector>

#include "ZEL_OS/OsDiscovery.h"
#include "ZEL_OS/OsEnvironmentHooks.h"
#include "ZEL_OS/OsError.h"
#include "ZEL_SYSTEM/ZDebug.h"
#include "ZEL_SYSTEM/ZServiceManager.h"
#include "ZEL_SYSTEM/ZSystem.h"
#include "ZEL_UTIL/ZError.h"

namespace {

const char kernelDriver[] = "cp210x";
const int bufferSize = 1024;

bool usesServices() { return zos::bridgeDriverModel() == zos::DriverModel::services; }

// Either driver generation: its bus service, then its serial-port service.
bool eitherPair(int (ZServiceManager::*check)(const ZString&)) {
  ZServiceManager manager;
  return ((manager.*check)("silabenm") && (manager.*check)("silabser")) ||
         ((manager.*check)("slabbus") && (manager.*check)("slabser"));
}

void reportLastError(const char* text) {
  zelDebug.print(ZString(text) + ZError::getErrorText(zos::lastError()));
}

ZString registryPort() {
  ZString result;
  zos::Handle key = zos::serialCommOpen();
  if (!key) return result;
  char name[bufferSize];
  unsigned char data[bufferSize];
  std::memset(name, 0, sizeof name);
  std::memset(data, 0, sizeof data);
  unsigned nameSize = bufferSize, dataSize = bufferSize;
  for (unsigned index = 0;; ++index) {
    int outcome = zos::serialCommEnumValue(key, index, name, nameSize, data, dataSize);
    if (zos::isNoMoreItems(outcome)) break;
    // Any other failure would come again at every index: the enumeration ends there.
    if (!zos::isValueRead(outcome)) break;
    ZString valueName(name, static_cast<int>(strnlen(name, bufferSize)));
    if (valueName.find("silabser", 0, true) >= 0 || valueName.find("slabser", 0, true) >= 0) {
      const char* text = reinterpret_cast<const char*>(data);
      result = ZString(text, static_cast<int>(strnlen(text, bufferSize)));
      break;
    }
    std::memset(name, 0, sizeof name);
    std::memset(data, 0, sizeof data);
    nameSize = dataSize = bufferSize;
  }
  zos::serialCommClose(key);
  return result;
}

}  // namespace

bool isDriverInstalled() {
  bool installed = usesServices() ? eitherPair(&ZServiceManager::isInstalled)
                                  : zos::kernelDriverInstalled(kernelDriver);
  if (!installed) reportLastError("CP210x-Treiber ist nicht Installiert. ");
  return installed;
}

bool isDriverActive() {
  if (!isDriverInstalled()) return false;
  bool active = usesServices() ? eitherPair(&ZServiceManager::isRunning)
                               : zos::kernelDriverActive(kernelDriver);
  if (!active) reportLastError("CP210x-Treiber ist nicht aktiv. ");
  return active;
}

ZString findDriverPort() {
  if (usesServices()) return registryPort();
  std::vector<std::string> ports = zos::kernelDriverPorts(kernelDriver);
  if (ports.empty()) return ZString();
  return ZString(ports[0].c_str(), static_cast<int>(ports[0].size()));
}

ZString findProgrammerPort() {
  if (const char* forced = zos::programmerPortOverride()) return ZString(forced);
  if (!isDriverActive()) return ZString();
  return findDriverPort();
}
