#include "ZEL_OS/OsDiscovery.h"
#include "ZEL_OS/OsDiscoveryTesting.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <mutex>

#include <dirent.h>
#include <sys/stat.h>
#include <sys/utsname.h>

#include "ZEL_OS/OsError.h"

namespace zos {

namespace {

std::mutex rootsLock;
DeviceRoots configuredRoots;

DeviceRoots roots() {
  DeviceRoots result;
  {
    std::lock_guard<std::mutex> guard(rootsLock);
    result = configuredRoots;
  }
  if (result.sys.empty()) result.sys = "/sys";
  if (result.modules.empty()) result.modules = "/lib/modules";
  if (result.dev.empty()) result.dev = "/dev";
  if (result.release.empty()) {
    utsname name;
    if (uname(&name) == 0) result.release = name.release;
  }
  return result;
}

bool isDirectory(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The kernel lists built-in drivers by their module path, one a line.
bool listedAsBuiltIn(const std::string& file, const std::string& driver) {
  std::ifstream in(file);
  std::string line;
  std::string end = "/" + driver + ".ko";
  while (std::getline(in, line)) {
    if (line == driver + ".ko" ||
        (line.size() >= end.size() && line.compare(line.size() - end.size(), end.size(), end) == 0))
      return true;
  }
  return false;
}

// Looks for the module file (driver.ko, maybe compressed: driver.ko.xz ...) below the folder.
// Links to other folders (the kernel's build and source trees) are not followed.
bool hasModuleFile(const std::string& folder, const std::string& driver, int depth) {
  if (depth > 12) return false;
  DIR* dir = opendir(folder.c_str());
  if (!dir) return false;
  std::string name = driver + ".ko";
  bool found = false;
  while (dirent* entry = readdir(dir)) {
    std::string entryName = entry->d_name;
    if (entryName == "." || entryName == "..") continue;
    std::string path = folder + "/" + entryName;
    struct stat info;
    if (lstat(path.c_str(), &info) != 0) continue;
    if (S_ISDIR(info.st_mode)) {
      found = hasModuleFile(path, driver, depth + 1);
    } else if (entryName.compare(0, name.size(), name) == 0 &&
               (entryName.size() == name.size() || entryName[name.size()] == '.')) {
      found = true;
    }
    if (found) break;
  }
  closedir(dir);
  return found;
}

// Name order that counts digit runs as numbers: ttyUSB2 before ttyUSB10.
bool naturalLess(const std::string& a, const std::string& b) {
  std::size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (std::isdigit(static_cast<unsigned char>(a[i])) &&
        std::isdigit(static_cast<unsigned char>(b[j]))) {
      std::size_t iEnd = i, jEnd = j;
      while (iEnd < a.size() && std::isdigit(static_cast<unsigned char>(a[iEnd]))) ++iEnd;
      while (jEnd < b.size() && std::isdigit(static_cast<unsigned char>(b[jEnd]))) ++jEnd;
      std::string x = a.substr(i, iEnd - i), y = b.substr(j, jEnd - j);
      x.erase(0, std::min(x.find_first_not_of('0'), x.size() - 1));
      y.erase(0, std::min(y.find_first_not_of('0'), y.size() - 1));
      if (x.size() != y.size()) return x.size() < y.size();
      if (x != y) return x < y;
      i = iEnd;
      j = jEnd;
    } else {
      if (a[i] != b[j]) return a[i] < b[j];
      ++i;
      ++j;
    }
  }
  return a.size() - i < b.size() - j;
}

}  // namespace

DriverModel bridgeDriverModel() { return DriverModel::kernelModule; }

Handle serialCommOpen() {
  setLastError(ENOSYS);
  return nullptr;
}

int serialCommEnumValue(Handle, unsigned, char*, unsigned& nameSize, unsigned char*,
                        unsigned& dataSize) {
  nameSize = dataSize = 0;
  setLastError(ENOSYS);
  return ENOSYS;
}

bool isNoMoreItems(int result) { return result == ENOSYS; }

bool isValueRead(int result) { return result == 0; }

void serialCommClose(Handle) {}

bool serialCommSetValue(const char*, const char*) {
  setLastError(ENOSYS);
  return false;
}

bool serialCommDeleteValue(const char*) {
  setLastError(ENOSYS);
  return false;
}

void setDeviceRoots(const DeviceRoots& newRoots) {
  std::lock_guard<std::mutex> guard(rootsLock);
  configuredRoots = newRoots;
}

bool kernelDriverInstalled(const char* driverText) {
  std::string driver = driverText ? driverText : "";
  DeviceRoots where = roots();
  std::string modules = where.modules + "/" + where.release;
  bool installed = !driver.empty() && !where.release.empty() &&
                   (isDirectory(where.sys + "/module/" + driver) ||
                    listedAsBuiltIn(modules + "/modules.builtin", driver) ||
                    hasModuleFile(modules, driver, 0));
  if (!installed) setLastError(ENOENT);
  return installed;
}

bool kernelDriverActive(const char* driverText) {
  std::string driver = driverText ? driverText : "";
  bool active = !driver.empty() && isDirectory(roots().sys + "/bus/usb-serial/drivers/" + driver);
  if (!active) setLastError(ENODEV);
  return active;
}

std::vector<std::string> kernelDriverPorts(const char* driverText) {
  std::string driver = driverText ? driverText : "";
  std::vector<std::string> names;
  DeviceRoots where = roots();
  if (driver.empty()) return names;
  DIR* dir = opendir((where.sys + "/bus/usb-serial/drivers/" + driver).c_str());
  if (!dir) {
    captureLastError();
    return names;
  }
  while (dirent* entry = readdir(dir)) {
    if (std::strncmp(entry->d_name, "ttyUSB", 6) == 0) names.push_back(entry->d_name);
  }
  closedir(dir);
  std::sort(names.begin(), names.end(), naturalLess);
  for (std::string& name : names) name = where.dev + "/" + name;
  if (names.empty()) setLastError(ENODEV);
  return names;
}

}  // namespace zos
