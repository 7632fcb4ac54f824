// ZComPort: one serial port, opened exclusively for synchronous reading and writing. Opening it
// configures the line from `settings`, raises DTR and RTS and starts a reader thread that moves
// every received byte into `receiveBuffer`; the read operations take the bytes from there, waiting
// in steps of at most 50 ms while the calling thread's window messages keep flowing. Writing goes
// to the device directly. A port can push its whole state on a stack and return to it later.
// When the device goes away (unplugged, the far end closed) the reader thread ends, and every read
// that waits or begins then fails at once with the system's text in `errorText`; the port stays
// open until its owner closes it.
#pragma once

#include <atomic>

#include "ZEL_OS/OsSerial.h"
#include "ZEL_OS/OsTypes.h"
#include "ZEL_SYSTEM/ZComPortSettings.h"
#include "ZEL_SYSTEM/ZMem.h"
#include "ZEL_SYSTEM/ZRingBuffer.h"
#include "ZEL_UTIL/ZString.h"
#include "ZEL_UTIL/ZStringList.h"

class ZComPort {
 public:
  // The message a notification window receives for every received byte (lParam: the byte).
  static const unsigned receiveMessage = 0x1DC8;

  ZComPort();
  ZComPort(const ZComPort&) = delete;
  ZComPort& operator=(const ZComPort&) = delete;

  // Called on the reader thread for every received byte, before it is stored.
  virtual void onReceiveByte(unsigned char byte);
  virtual const char* getClassName() const { return className(); }
  virtual const char* className() const { return "ZComPort"; }
  // Closes a port that is still open, so that the reader thread never outlives the object.
  virtual ~ZComPort();

  // Opening, configuring, closing.
  int open(const ZString& name, zos::WindowHandle window);
  int _setState();
  int setState(const ZString& settingsText);
  void close(int keepState);
  void purge();
  bool isOpen() const { return handle.load() != nullptr; }
  // Whether the device has gone since the port was opened: no byte will come any more.
  bool isLineLost() const { return lineGone.load(); }
  void saveState();
  int restore();

  // Writing.
  int write(const void* data, unsigned length);
  int write(const ZString& text);
  int write(const ZMem& block);
  int writeByte(int value);

  // Reading; time-outs in milliseconds.
  int readCount(ZMem& out, int timeout, int count);
  int readUntil(ZMem& out, int timeout, const ZString& terminator);
  int readString(ZString& out, int timeout, const ZString& terminator);
  int readStringCount(ZString& out, int timeout, int count);
  int readByte(int timeout);

  ZString errorText;
  // After a failed open: lines in German and English that tell the user what may help (no right to
  // the device, or another program holds it); empty when there is nothing to add. Each open clears it.
  ZString openHint;
  std::atomic<zos::Handle> handle{nullptr};  // 0: closed; clearing it also stops the reader thread
  zos::WindowHandle notifyWindow = nullptr;
  ZRingBuffer receiveBuffer;
  ZComPortSettings settings;
  std::atomic<zos::Handle> readerThread{nullptr};  // cleared by the reader thread as it ends
  ZStringList savedStates;
  zos::LineState stateAtOpen;

 private:
  static unsigned readerEntry(void* port);
  void readerLoop();
  void waitForReaderEnd();

  // Waits for received bytes: at least the first step of min(timeout, 50) ms, then until take()
  // reports that it has what it needs or the time is up.
  enum ReadWait { gotAll, timedOut, portClosed, lineLost };
  // needed() tells how many more bytes the read needs at least: the reader thread wakes the read
  // only once that many are buffered, so that a block of data costs a few wake-ups, not one a byte.
  template <typename Take, typename Needed>
  ReadWait waitForBytes(int timeout, Take take, Needed needed);
  // A read that ended because the line went away: the system's text goes to errorText.
  void reportLineLost();

  zos::Handle readerThreadHandle = nullptr;  // owner's copy, to wait for the thread and release it
  zos::Handle byteArrived = nullptr;          // set by the reader thread once wakeAtAvailable bytes wait
  std::atomic<int> wakeAtAvailable{1};        // buffered bytes that wake a waiting read; 1 between reads
  bool haveStateAtOpen = false;               // stateAtOpen was read from the device
  std::atomic<bool> lineGone{false};          // set by the reader thread as it ends on a gone device
  std::atomic<int> lineError{0};              // the system's number for it, stored before lineGone
};
