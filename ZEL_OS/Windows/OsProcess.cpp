#include "ZEL_OS/Windows/WinApi.h"
#include "ZEL_OS/OsError.h"
#include "ZEL_OS/OsProcess.h"

#include <string>
#include <vector>

namespace zos {

namespace {
const char* nullIfEmpty(const char* text) { return text && *text ? text : nullptr; }
}  // namespace

Handle processStart(const char* commandLine, const char* directory, int showMode) {
  STARTUPINFOA startup;
  ZeroMemory(&startup, sizeof startup);
  startup.cb = sizeof startup;
  startup.dwX = startup.dwY = CW_USEDEFAULT;
  startup.dwXSize = startup.dwYSize = CW_USEDEFAULT;
  startup.dwXCountChars = 80;
  startup.dwYCountChars = 25;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = static_cast<WORD>(showMode);
  PROCESS_INFORMATION info;
  ZeroMemory(&info, sizeof info);
  // The system may write into the command line, so it gets a copy of its own.
  std::vector<char> line(commandLine ? commandLine : "",
                         commandLine ? commandLine + lstrlenA(commandLine) + 1 : nullptr);
  if (line.empty()) line.push_back('\0');
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      nullIfEmpty(directory), &startup, &info)) {
    captureLastError();
    return nullptr;
  }
  CloseHandle(info.hThread);
  return info.hProcess;
}

bool processExitCode(Handle process, unsigned& exitCode) {
  DWORD code = 0;
  if (!GetExitCodeProcess(static_cast<HANDLE>(process), &code)) {
    captureLastError();
    return false;
  }
  exitCode = code;
  return true;
}

bool processWait(Handle process, unsigned milliseconds) {
  DWORD result = WaitForSingleObject(static_cast<HANDLE>(process), milliseconds);
  if (result == WAIT_FAILED) captureLastError();
  return result == WAIT_OBJECT_0;
}

void processClose(Handle process) {
  if (process) CloseHandle(static_cast<HANDLE>(process));
}

int shellOpen(const char* file, const char* parameters, const char* directory, int showMode) {
  HINSTANCE result = ShellExecuteA(nullptr, "open", file, nullIfEmpty(parameters),
                                   nullIfEmpty(directory), showMode);
  int value = static_cast<int>(reinterpret_cast<INT_PTR>(result));
  if (value <= 32) captureLastError();
  return value;
}

bool shellCreateLink(const char* linkPath, const char* target, const char* description,
                     const char* directory, const char* iconPath, int iconIndex) {
  HRESULT initResult = CoInitialize(nullptr);
  bool comStarted = SUCCEEDED(initResult);
  HRESULT hr = initResult == RPC_E_CHANGED_MODE ? S_OK : initResult;
  IShellLinkA* link = nullptr;
  IPersistFile* file = nullptr;
  if (SUCCEEDED(hr))
    hr = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                          reinterpret_cast<void**>(&link));
  if (SUCCEEDED(hr)) hr = link->SetPath(target ? target : "");
  if (SUCCEEDED(hr) && nullIfEmpty(description)) hr = link->SetDescription(description);
  if (SUCCEEDED(hr) && nullIfEmpty(directory)) hr = link->SetWorkingDirectory(directory);
  if (SUCCEEDED(hr) && nullIfEmpty(iconPath)) hr = link->SetIconLocation(iconPath, iconIndex);
  if (SUCCEEDED(hr)) hr = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
  if (SUCCEEDED(hr)) {
    const char* path = linkPath ? linkPath : "";
    int count = MultiByteToWideChar(CP_ACP, 0, path, -1, nullptr, 0);
    std::vector<WCHAR> widePath(count > 0 ? count : 1, L'\0');
    if (count > 0) MultiByteToWideChar(CP_ACP, 0, path, -1, widePath.data(), count);
    hr = file->Save(widePath.data(), TRUE);
  }
  if (file) file->Release();
  if (link) link->Release();
  if (comStarted) CoUninitialize();
  if (FAILED(hr)) setLastError(static_cast<int>(hr));
  return SUCCEEDED(hr);
}

unsigned fileVersionInfoSize(const char* path) {
  DWORD handle = 0;
  DWORD size = GetFileVersionInfoSizeA(path, &handle);
  if (size == 0) captureLastError();
  return size;
}

bool fileVersionInfo(const char* path, void* buffer, unsigned size) {
  if (!GetFileVersionInfoA(path, 0, size, buffer)) {
    captureLastError();
    return false;
  }
  return true;
}

bool fileVersionQuery(const void* buffer, unsigned& versionHigh, unsigned& versionLow) {
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(buffer, "\\", reinterpret_cast<void**>(&fixed), &length) || !fixed ||
      length < sizeof(VS_FIXEDFILEINFO)) {
    captureLastError();
    return false;
  }
  versionHigh = fixed->dwFileVersionMS;
  versionLow = fixed->dwFileVersionLS;
  return true;
}

}  // namespace zos
