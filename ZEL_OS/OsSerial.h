// The serial device: exclusive open, line settings, time-outs, modem lines, and byte-wise
// reading and writing. The serial port class builds its behaviour on these calls.
//
// Windows: the COM port through CreateFileA("\\.\" + name), the DCB and COMMTIMEOUTS calls,
// ReadFile and WriteFile. POSIX: a terminal device through termios and poll.
#pragma once
#include <cstdint>

#include "ZEL_OS/OsTypes.h"

namespace zos {

// The whole state of the line as the system keeps it (a DCB on Windows, a termios record on
// POSIX), saved when a port is opened and put back when it is closed.
struct LineState {
  alignas(8) unsigned char bytes[128];
};

enum SerialParity : int { ParityNone = 0, ParityOdd = 1, ParityEven = 2, ParityMark = 3, ParitySpace = 4 };
enum SerialStopBits : int { StopBitsOne = 0, StopBitsOneAndHalf = 1, StopBitsTwo = 2 };

struct LineSettings {
  std::uint32_t baudRate;
  int parity;    // SerialParity
  int dataBits;  // 5 to 8
  int stopBits;  // SerialStopBits
};

// Opens the port for reading and writing, for this process alone. Returns 0 on failure
// (lastError(): the system's number, EBUSY on POSIX when the device is already open).
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
  SerialGone = -1,   // the device failed or went away; the call waited out the time all the same
  SerialNoByte = 0,  // nothing arrived within the time
  SerialByte = 1,    // one byte was read
};

// Reads one byte, waiting up to timeoutMs for it (meant for waits of up to 50 ms). The wait
// blocks; a device that has gone (hang-up, end of file, I/O error) does not end it early, so a
// reader that calls this in a loop keeps its pace instead of spinning.
// Windows: ReadFile of one byte with the time-outs above, repeated until a byte came or the time
// passed. POSIX: poll, then read.
SerialReadResult readSerialByte(Handle port, unsigned timeoutMs, unsigned char& byte);

// Writes the bytes and stores in written how many the device took. True when the system took
// the write, also when the write time-out (length + 1000 ms) cut it short: then written is
// smaller than length. False on a failure of the device (lastError() tells which).
bool writeSerial(Handle port, const void* data, std::uint32_t length, std::uint32_t& written);

// Closes the port and releases the handle.
void closeSerial(Handle port);

}  // namespace zos
