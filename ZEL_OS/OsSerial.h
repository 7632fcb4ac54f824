// The serial device: exclusive open, line settings, time-outs, modem lines, and byte-wise
// reading and writing. The serial port class builds its behaviour on these calls.
//
// Windows: the COM port through CreateFileA("\\.\" + name), the DCB and COMMTIMEOUTS calls,
// ReadFile and WriteFile. POSIX: a terminal device through termios and poll.
#pragma once
#include <cstdint>
#include <string>

#include "ZEL_OS/OsTypes.h"

namespace zos {

// The whole state of the line as the system keeps it (a DCB on Windows, a termios record on
// POSIX), saved when a port is opened and put back when it is closed.
struct LineState {
  alignas(8) unsigned char bytes[128];
};

// The parity and stop-bit codes of a line, the numbers the Windows DCB itself uses (Parity,
// StopBits). The port's settings store them as they are and hand them on unchanged.
enum SerialParity : int { ParityNone = 0, ParityOdd = 1, ParityEven = 2, ParityMark = 3, ParitySpace = 4 };
enum SerialStopBits : int { StopBitsOne = 0, StopBitsOneAndHalf = 1, StopBitsTwo = 2 };

struct LineSettings {
  std::uint32_t baudRate;
  int parity;    // SerialParity
  int dataBits;  // 5 to 8
  int stopBits;  // SerialStopBits
};

// Opens the port for reading and writing, for this process alone. Returns 0 on failure
// (lastError(): the system's number, EBUSY on POSIX when the device is already open, also when
// another program holds it with a lock or with exclusive use of the terminal).
// Windows: the name is a COM port name ("COM3"). POSIX: a name beginning with "/" is a device
// path; "comN" (any case, N from 1) is /dev/ttyS(N-1); any other name is taken from /dev.
// A second open of a device that is open already fails, on POSIX also from the same process.
Handle openSerial(const char* portName);

// Reads the line state (GetCommState / tcgetattr).
bool readLineState(Handle port, LineState& state);

// Puts a line state back (SetCommState / tcsetattr).
bool restoreLineState(Handle port, const LineState& state);

// Sets speed, parity, data and stop bits, with no flow control of either kind and DTR and RTS
// on. A setting the line cannot take fails, and lastError() holds the system's number (POSIX:
// EINVAL for a speed without a standard rate, 5 data bits with 2 stop bits, 1.5 stop bits with
// more than 5 data bits, or values out of range).
// Windows: GetCommState, then BaudRate, ByteSize, Parity and StopBits from the settings,
// fBinary 1, fParity 1, no CTS/DSR/XON flow control, fDtrControl and fRtsControl ENABLE,
// fTXContinueOnXoff 1, fErrorChar, fNull and fAbortOnError 0, then SetCommState.
// POSIX: raw mode (no echo, no signals, no line editing, no character translation), the speed,
// CMSPAR for mark and space parity, CLOCAL and CREAD, no CRTSCTS, IXON or IXOFF. 1.5 stop bits
// exist only with 5 data bits, as on the UARTs that have them, where they are CSTOPB.
bool applyLineSettings(Handle port, const LineSettings& settings);

// Reads speed, parity, data and stop bits back from the line.
bool readLineSettings(Handle port, LineSettings& settings);

// Sets the time-outs of the port: a read returns at once with what has been received and
// otherwise waits at most 2 ms; a write of n bytes may take n + 1000 ms.
// Windows: GetCommTimeouts, then SetCommTimeouts with ReadIntervalTimeout and
// ReadTotalTimeoutMultiplier MAXDWORD, ReadTotalTimeoutConstant 2, WriteTotalTimeoutMultiplier 1
// and WriteTotalTimeoutConstant 1000. POSIX: readSerialByte and writeSerial keep these times
// themselves; nothing to set.
bool setSerialTimeouts(Handle port);

// Raises DTR, then RTS. The results are not reported: some devices have no modem lines.
void raiseDtrRts(Handle port);

// Discards what waits to be sent and what has been received but not read
// (PurgeComm with all four flags / tcflush TCIOFLUSH).
bool purgeSerial(Handle port);

enum SerialReadResult : int {
  SerialGone = -1,   // the device failed for good or went away (lastError() tells which)
  SerialNoByte = 0,  // nothing arrived within the time
  SerialByte = 1,    // one byte was read
};

// Reads one byte, waiting up to timeoutMs for it (meant for waits of up to 50 ms). The wait
// blocks. A device that has gone gives SerialGone, and so does every further call: a reader stops
// calling then.
// Gone means a failure that does not pass. POSIX, at once: a hang-up, end of file, or any read
// error but an interrupted or would-block one (a hung-up terminal reads as end of file; its error
// number is then EIO). Windows: at once, a ReadFile that fails twice in a row (a PurgeComm of this
// process may abort a single read, a device that was pulled out fails every one); at the end of
// the wait, a port whose status (ClearCommError) cannot be read, for drivers whose reads succeed
// empty on a device that has gone.
// Windows: ReadFile of one byte with the time-outs above, repeated until a byte came or the time
// passed. POSIX: poll, then read.
SerialReadResult readSerialByte(Handle port, unsigned timeoutMs, unsigned char& byte);

enum SerialWriteResult : int {
  SerialWriteFailed = -1,    // the device failed or went away (lastError() tells which)
  SerialWriteTimedOut = 0,   // the write time-out (length + 1000 ms) cut it short; lastError() is
                             // the system's time-out number (ERROR_TIMEOUT / ETIMEDOUT)
  SerialWritten = 1,         // the device took every byte
};

// Writes the bytes.
SerialWriteResult writeSerial(Handle port, const void* data, std::uint32_t length);

// Closes the port and releases the handle.
void closeSerial(Handle port);

// Why an open failed, for a hint to the user beyond the system's text.
enum SerialOpenRefusal : int {
  SerialRefusedOther = 0,  // nothing to add
  SerialRefusedNoRights,   // the user may not use the device (POSIX: EACCES, EPERM)
  SerialRefusedInUse,      // another program holds the device (POSIX: EBUSY)
};

// Classifies the error number of a failed openSerial. Windows: always SerialRefusedOther, its
// system texts say enough.
SerialOpenRefusal serialOpenRefusal(int errorNumber);

// The group whose members may use the port's device: the group owning the device file, when the
// file's mode gives that group reading and writing. Empty when there is none to name: no such file,
// no rights for the group, the root group (joining it is no advice to give), or Windows. A group
// without a name is given by its number.
std::string serialDeviceGroup(const char* portName);

}  // namespace zos
