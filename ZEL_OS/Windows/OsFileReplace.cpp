// The atomic file replacement of OsFileSystem.h.
#include "ZEL_OS/Windows/WinApi.h"
#include "ZEL_OS/OsFileSystem.h"

#include "ZEL_OS/OsError.h"

namespace zos {

bool flushStreamToDisk(std::FILE* stream) {
  if (stream == nullptr) {
    setLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  if (std::fflush(stream) != 0) {
    captureLastError();
    return false;
  }
  HANDLE file = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  if (file == INVALID_HANDLE_VALUE || !FlushFileBuffers(file)) {
    captureLastError();
    return false;
  }
  return true;
}

bool replaceFile(const char* source, const char* target) {
  if (!MoveFileExA(source, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    captureLastError();
    return false;
  }
  return true;
}

}  // namespace zos
