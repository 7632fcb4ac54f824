#include "ZEL_OS/Windows/WinApi.h"
#include "ZEL_OS/OsError.h"
#include "ZEL_OS/OsService.h"

namespace zos {

namespace {
const char* nullIfEmpty(const char* text) { return text && *text ? text : nullptr; }
SC_HANDLE scOf(Handle handle) { return static_cast<SC_HANDLE>(handle); }
}  // namespace

Handle scmOpen(const char* machine, const char* database, unsigned access) {
  SC_HANDLE scm = OpenSCManagerA(nullIfEmpty(machine), nullIfEmpty(database), access);
  if (!scm) captureLastError();
  return scm;
}

Handle serviceOpen(Handle scm, const char* name, unsigned access) {
  SC_HANDLE service = OpenServiceA(scOf(scm), name ? name : "", access);
  if (!service) captureLastError();
  return service;
}

bool serviceCloseHandle(Handle handle) {
  if (!handle) return false;
  if (!CloseServiceHandle(scOf(handle))) {
    captureLastError();
    return false;
  }
  return true;
}

bool serviceQueryState(Handle service, unsigned& currentState) {
  SERVICE_STATUS status;
  ZeroMemory(&status, sizeof status);
  if (!QueryServiceStatus(scOf(service), &status)) {
    captureLastError();
    return false;
  }
  currentState = status.dwCurrentState;
  return true;
}

bool serviceStart(Handle service, unsigned argumentCount, const char** arguments) {
  if (!StartServiceA(scOf(service), argumentCount, arguments)) {
    captureLastError();
    return false;
  }
  return true;
}

bool serviceControl(Handle service, unsigned code) {
  SERVICE_STATUS status;
  ZeroMemory(&status, sizeof status);
  if (!ControlService(scOf(service), code, &status)) {
    captureLastError();
    return false;
  }
  return true;
}

bool serviceSetDescription(Handle service, const char* description) {
  SERVICE_DESCRIPTIONA info;
  info.lpDescription = const_cast<char*>(description ? description : "");
  if (!ChangeServiceConfig2A(scOf(service), SERVICE_CONFIG_DESCRIPTION, &info)) {
    captureLastError();
    return false;
  }
  return true;
}

bool serviceDelete(Handle service) {
  if (!DeleteService(scOf(service))) {
    captureLastError();
    return false;
  }
  return true;
}

Handle serviceCreate(Handle scm, const char* name, const char* displayName, unsigned access,
                     unsigned serviceType, unsigned startType, unsigned errorControl,
                     const char* binaryPath, const char* loadOrderGroup, unsigned* tagId,
                     const char* dependencies, const char* account, const char* password) {
  DWORD tag = tagId ? *tagId : 0;
  SC_HANDLE service = CreateServiceA(
      scOf(scm), name ? name : "", displayName ? displayName : "", access, serviceType, startType,
      errorControl, binaryPath ? binaryPath : "", nullIfEmpty(loadOrderGroup),
      tagId ? &tag : nullptr, nullIfEmpty(dependencies), nullIfEmpty(account),
      nullIfEmpty(password));
  if (!service) {
    captureLastError();
    return nullptr;
  }
  if (tagId) *tagId = tag;
  return service;
}

ServiceEnumResult serviceEnumerate(Handle scm, unsigned serviceType, unsigned serviceState,
                                   void* buffer, unsigned bufferSize, unsigned& bytesNeeded,
                                   unsigned& count, unsigned& resume) {
  DWORD needed = 0, returned = 0, resumeHandle = resume;
  BOOL ok = EnumServicesStatusA(scOf(scm), serviceType, serviceState,
                                static_cast<ENUM_SERVICE_STATUSA*>(buffer), bufferSize, &needed,
                                &returned, &resumeHandle);
  // Some implementations count entries they did not fill in: only those with a name are handed on.
  const ENUM_SERVICE_STATUSA* entries = static_cast<const ENUM_SERVICE_STATUSA*>(buffer);
  DWORD filled = 0;
  while (filled < returned && entries[filled].lpServiceName) ++filled;
  bytesNeeded = needed;
  count = filled;
  resume = resumeHandle;
  if (ok) return ServiceEnumResult::complete;
  int number = captureLastError();
  return number == ERROR_MORE_DATA ? ServiceEnumResult::moreData : ServiceEnumResult::failed;
}

const char* serviceEnumName(const void* buffer, unsigned index) {
  return static_cast<const ENUM_SERVICE_STATUSA*>(buffer)[index].lpServiceName;
}

}  // namespace zos
