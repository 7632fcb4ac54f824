#include "ZEL_SYSTEM/ZServiceManager.h"

#include "ZEL_OS/OsError.h"
#include "ZEL_OS/OsService.h"
#include "ZEL_SYSTEM/ZMem.h"
#include "ZEL_SYSTEM/ZServiceSCM.h"
#include "ZEL_UTIL/ZError.h"

namespace {
const char* optional(const ZString& text) { return text.isEmpty() ? nullptr : text.getBuffer(); }
}  // namespace

ZServiceManager::~ZServiceManager() { closeService(); }

void ZServiceManager::closeService() {
  if (service) zos::serviceCloseHandle(service);
  service = nullptr;
}

int ZServiceManager::openService(const ZString& name, unsigned access) {
  ZServiceSCM scm(zos::serviceGenericRead, ZString(), ZString());
  if (!scm.getHandle()) return 0;
  closeService();
  if (name.isEmpty()) return 0;
  service = zos::serviceOpen(scm.getHandle(), name, access);
  return service ? 1 : 0;
}

int ZServiceManager::isInstalled(const ZString& name) {
  int installed = openService(name, zos::serviceGenericRead);
  closeService();
  return installed;
}

int ZServiceManager::isRunning(const ZString& name) {
  unsigned state = 0;
  return openService(name, zos::serviceQueryStatus) && zos::serviceQueryState(service, state) &&
                 state == zos::serviceStateRunning
             ? 1
             : 0;
}

int ZServiceManager::startService(const ZString& name, unsigned argumentCount,
                                  const char** arguments) {
  if (!openService(name, zos::serviceStartRight)) return 0;
  return zos::serviceStart(service, argumentCount, arguments) ? 1 : 0;
}

int ZServiceManager::stopService(const ZString& name) {
  if (!openService(name, zos::serviceStopRight)) return 0;
  return zos::serviceControl(service, zos::serviceControlStop) ? 1 : 0;
}

unsigned ZServiceManager::accessForControl(int code) {
  switch (code) {
    case 1: return zos::serviceStopRight;
    case 2:
    case 3: return zos::servicePauseContinue;
    case 4: return zos::serviceInterrogate;
    default: return zos::serviceUserDefinedControl;
  }
}

int ZServiceManager::controlService(const ZString& name, int code) {
  if (!openService(name, accessForControl(code))) return 0;
  return zos::serviceControl(service, static_cast<unsigned>(code)) ? 1 : 0;
}

int ZServiceManager::setDescription(const ZString& name, const ZString& text) {
  if (!openService(name, zos::serviceChangeConfig)) return 0;
  return zos::serviceSetDescription(service, text) ? 1 : 0;
}

int ZServiceManager::deleteService(const ZString& name) {
  if (!openService(name, zos::serviceDeleteRight)) return 0;
  if (!zos::serviceDelete(service)) return 0;
  closeService();
  return 1;
}

int ZServiceManager::CreateService(const ZString& name, const ZString& displayName,
                                   unsigned desiredAccess, unsigned serviceType,
                                   unsigned startType, unsigned errorControl,
                                   const ZString& binaryPath, const ZString& loadOrderGroup,
                                   int tagId, const ZString& dependencies, const ZString& account,
                                   const ZString& password) {
  ZServiceSCM scm(zos::scmCreateService, ZString(), ZString());
  if (!scm.getHandle()) return 0;
  closeService();
  // The tag the system assigns is not handed back.
  unsigned tag = static_cast<unsigned>(tagId);
  service = zos::serviceCreate(scm.getHandle(), name, displayName, desiredAccess, serviceType,
                               startType, errorControl, binaryPath, optional(loadOrderGroup),
                               tagId != 0 ? &tag : nullptr, optional(dependencies),
                               optional(account), optional(password));
  if (!service) {
    zelError.showError("ZServiceMansger::CreateService(...)\r\n", zos::lastError(), "Fehler !",
                       ZError::iconError);
    return 0;
  }
  return 1;
}

int ZServiceManager::CreateService(const ZString& name, const ZString& displayName,
                                   const ZString& binaryPath) {
  return CreateService(name, displayName, zos::serviceStandardRightsRequired,
                       zos::serviceWin32OwnProcess, zos::serviceDisabled, zos::serviceErrorNormal,
                       binaryPath, ZString(), 0, ZString(), ZString(), ZString());
}

int ZServiceManager::enumServices(ZStringList& list, unsigned serviceType, unsigned serviceState) {
  ZServiceSCM scm(zos::scmEnumerateService, ZString(), ZString());
  ZMem buffer(1024);
  unsigned needed = 0, count = 0, resume = 0;
  zos::ServiceEnumResult outcome =
      zos::serviceEnumerate(scm.getHandle(), serviceType, serviceState, buffer.getData(),
                            static_cast<unsigned>(buffer.getSize()), needed, count, resume);
  for (unsigned i = 0; i < count; ++i) list.add(ZString(zos::serviceEnumName(buffer.getData(), i)));
  if (outcome == zos::ServiceEnumResult::moreData) {
    // One continuation call with room for the rest, from where the first call stopped.
    buffer.setSize(static_cast<int>(needed));
    buffer.zeroFill();
    needed = count = 0;
    zos::serviceEnumerate(scm.getHandle(), serviceType, serviceState, buffer.getData(),
                          static_cast<unsigned>(buffer.getSize()), needed, count, resume);
    for (unsigned i = 0; i < count; ++i) list.add(ZString(zos::serviceEnumName(buffer.getData(), i)));
  }
  return list.getCount();
}
