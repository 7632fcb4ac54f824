#include "ZEL_OS/Windows/WinApi.h"
#include "ZEL_OS/OsSerial.h"

#include <cstring>
#include <string>

#include "ZEL_OS/OsError.h"

namespace zos {

static_assert(sizeof(DCB) <= sizeof(LineState), "a DCB fits a line state");
static_assert(ParityNone == NOPARITY && ParityOdd == ODDPARITY && ParityEven == EVENPARITY &&
                  ParityMark == MARKPARITY && ParitySpace == SPACEPARITY,
              "the parity codes are the DCB's own");
static_assert(StopBitsOne == ONESTOPBIT && StopBitsOneAndHalf == ONE5STOPBITS && StopBitsTwo == TWOSTOPBITS,
              "the stop-bit codes are the DCB's own");

namespace {

bool failed() {
  captureLastError();
  return false;
}

}  // namespace

Handle openSerial(const char* portName) {
  std::string path = std::string("\\\\.\\") + (portName ? portName : "");
  HANDLE port = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (port == INVALID_HANDLE_VALUE) {
    captureLastError();
    return nullptr;
  }
  return port;
}

bool readLineState(Handle port, LineState& state) {
  DCB line{};
  line.DCBlength = sizeof line;
  if (!GetCommState(port, &line)) return failed();
  std::memset(state.bytes, 0, sizeof state.bytes);
  std::memcpy(state.bytes, &line, sizeof line);
  return true;
}

bool restoreLineState(Handle port, const LineState& state) {
  DCB line;
  std::memcpy(&line, state.bytes, sizeof line);
  if (!SetCommState(port, &line)) return failed();
  return true;
}

bool applyLineSettings(Handle port, const LineSettings& settings) {
  DCB line{};
  line.DCBlength = sizeof line;
  GetCommState(port, &line);  // the fields not set below stay as the driver has them
  line.BaudRate = settings.baudRate;
  line.fBinary = 1;
  line.fParity = 1;
  line.fOutxCtsFlow = 0;
  line.fOutxDsrFlow = 0;
  line.fDtrControl = DTR_CONTROL_ENABLE;
  line.fDsrSensitivity = 0;
  line.fTXContinueOnXoff = 1;
  line.fOutX = 0;
  line.fInX = 0;
  line.fErrorChar = 0;
  line.fNull = 0;
  line.fRtsControl = RTS_CONTROL_ENABLE;
  line.fAbortOnError = 0;
  line.ByteSize = static_cast<BYTE>(settings.dataBits & 0xFF);
  line.Parity = static_cast<BYTE>(settings.parity & 0xFF);
  line.StopBits = static_cast<BYTE>(settings.stopBits & 0xFF);
  if (!SetCommState(port, &line)) return failed();
  return true;
}

bool readLineSettings(Handle port, LineSettings& settings) {
  DCB line{};
  line.DCBlength = sizeof line;
  if (!GetCommState(port, &line)) return failed();
  settings.baudRate = line.BaudRate;
  settings.parity = line.Parity;
  settings.dataBits = line.ByteSize;
  settings.stopBits = line.StopBits;
  return true;
}

bool setSerialTimeouts(Handle port) {
  COMMTIMEOUTS timeouts{};
  GetCommTimeouts(port, &timeouts);
  timeouts.ReadIntervalTimeout = MAXDWORD;
  timeouts.ReadTotalTimeoutMultiplier = MAXDWORD;
  timeouts.ReadTotalTimeoutConstant = 2;
  timeouts.WriteTotalTimeoutMultiplier = 1;
  timeouts.WriteTotalTimeoutConstant = 1000;
  if (!SetCommTimeouts(port, &timeouts)) return failed();
  return true;
}

void raiseDtrRts(Handle port) {
  EscapeCommFunction(port, SETDTR);
  EscapeCommFunction(port, SETRTS);
}

bool purgeSerial(Handle port) {
  if (!PurgeComm(port, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR)) return failed();
  return true;
}

SerialReadResult readSerialByte(Handle port, unsigned timeoutMs, unsigned char& byte) {
  // With the port's time-outs each ReadFile returns at once with a waiting byte or waits up to
  // 2 ms in the driver for one; chained, they make up the whole wait without sleeping blindly.
  DWORD start = timeGetTime();
  bool failedBefore = false;
  for (;;) {
    DWORD callStart = timeGetTime();
    DWORD got = 0;
    if (!ReadFile(port, &byte, 1, &got, nullptr)) {
      captureLastError();
      // One failure may be a read that a PurgeComm of this process aborted; a device that was
      // pulled out fails the next read as well.
      if (failedBefore) return SerialGone;
      failedBefore = true;
      continue;
    }
    failedBefore = false;
    if (got == 1) return SerialByte;
    DWORD now = timeGetTime();
    if (now - start >= timeoutMs) {
      // Some drivers let ReadFile succeed empty on a device that has gone (so does Wine on a
      // terminal whose far end closed); the port's status cannot be read then.
      DWORD errors = 0;
      if (!ClearCommError(port, &errors, nullptr)) {
        captureLastError();
        return SerialGone;
      }
      return SerialNoByte;
    }
    // A driver that does not keep the read time-out returns at once: pace the calls ourselves.
    if (now == callStart) Sleep(1);
  }
}

SerialWriteResult writeSerial(Handle port, const void* data, std::uint32_t length) {
  DWORD put = 0;
  if (!WriteFile(port, data, length, &put, nullptr)) {
    captureLastError();
    return SerialWriteFailed;
  }
  if (put < length) {  // the write time-out cut it short: the rest never went out
    setLastError(ERROR_TIMEOUT);
    return SerialWriteTimedOut;
  }
  return SerialWritten;
}

void closeSerial(Handle port) {
  if (port) CloseHandle(port);
}

SerialOpenRefusal serialOpenRefusal(int) { return SerialRefusedOther; }

std::string serialDeviceGroup(const char*) { return std::string(); }

}  // namespace zos
