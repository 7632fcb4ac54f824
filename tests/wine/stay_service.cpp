// A Windows service that does nothing but stay running until it is told to stop. The Wine tests
// install it under the names of the serial bridge's driver services, so that the service manager
// reports those services as installed and running the way the real drivers are. One program serves
// any number of service names: each service runs in a process of its own.
#include <cstdio>

#include "ZEL_OS/Windows/WinApi.h"

namespace {

SERVICE_STATUS_HANDLE statusHandle = nullptr;
HANDLE stopEvent = nullptr;
SERVICE_STATUS status = {};

void report(DWORD state) {
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = state;
  status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
  status.dwWin32ExitCode = NO_ERROR;
  SetServiceStatus(statusHandle, &status);
}

// Runs on the dispatcher's thread: a stop only wakes the service's main function, which reports
// the end itself.
DWORD WINAPI control(DWORD code, DWORD, LPVOID, LPVOID) {
  switch (code) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
      report(SERVICE_STOP_PENDING);
      SetEvent(stopEvent);
      return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
      return NO_ERROR;
    default:
      return ERROR_CALL_NOT_IMPLEMENTED;
  }
}

void WINAPI serviceMain(DWORD argc, LPSTR* argv) {
  const char* name = argc > 0 ? argv[0] : "";
  statusHandle = RegisterServiceCtrlHandlerExA(name, control, nullptr);
  if (!statusHandle) return;
  stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (!stopEvent) {
    report(SERVICE_STOPPED);
    return;
  }
  report(SERVICE_RUNNING);
  WaitForSingleObject(stopEvent, INFINITE);
  CloseHandle(stopEvent);
  report(SERVICE_STOPPED);
}

}  // namespace

int main() {
  // An own-process service: the service manager ignores the name in the table.
  char anyName[] = "";
  SERVICE_TABLE_ENTRYA table[] = {{anyName, serviceMain}, {nullptr, nullptr}};
  if (!StartServiceCtrlDispatcherA(table)) {
    std::fprintf(stderr, "stay_service: start it through the service manager (error %lu)\n",
                 static_cast<unsigned long>(GetLastError()));
    return 1;
  }
  return 0;
}
