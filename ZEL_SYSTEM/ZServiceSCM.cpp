#include "ZEL_SYSTEM/ZServiceSCM.h"

#include "ZEL_OS/OsService.h"

ZServiceSCM::ZServiceSCM() : ZServiceSCM(zos::serviceGenericRead, ZString(), ZString()) {}

ZServiceSCM::ZServiceSCM(unsigned access, const ZString& machine, const ZString& database)
    : handle(zos::scmOpen(machine, database, access)) {}

ZServiceSCM::~ZServiceSCM() {
  if (handle) zos::serviceCloseHandle(handle);
}
