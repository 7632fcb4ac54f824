#include "ZEL_OS/OsEnvironmentHooks.h"

#include <cstdlib>

namespace zos {

namespace {

const char* valueOf(const char* name) {
  const char* value = std::getenv(name);
  return value && *value ? value : nullptr;
}

}  // namespace

const char* programmerPortOverride() { return valueOf("KALMO_PORT"); }
const char* debugPortOverride() { return valueOf("KALMO_DEBUG_PORT"); }
const char* systemctlOverride() { return valueOf("KALMO_SYSTEMCTL"); }
const char* unitDirectoryOverride() { return valueOf("KALMO_SYSTEMD_UNIT_DIR"); }

}  // namespace zos
