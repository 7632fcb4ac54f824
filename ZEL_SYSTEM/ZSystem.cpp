#include "ZEL_SYSTEM/ZSystem.h"

#include <string>

#include "ZEL_OS/OsError.h"
#include "ZEL_OS/OsFileSystem.h"

ZString ZSystem::getErrorText(int number) {
  std::string text = zos::errorText(number);
  if (!text.empty()) return ZString(text.c_str(), static_cast<int>(text.size()));
  ZString unknown("Unbekannter Fehler ");
  unknown += number;
  unknown += ".";
  return unknown;
}

ZString ZSystem::getEnvironmentVariable(const ZString& name) {
  std::string value;
  zos::environmentVariable(name, value);
  ZString result(value.c_str(), static_cast<int>(value.size()));
  result.trim();
  return result;
}

ZString ZSystem::getSpecialFolderPath(int folder, int create) {
  std::string path;
  if (!zos::specialFolderPath(folder, create != 0, path)) return ZString();
  return ZString(path.c_str(), static_cast<int>(path.size()));
}
