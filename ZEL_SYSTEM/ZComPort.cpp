#include "ZEL_SYSTEM/ZComPort.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "ZEL_OS/OsClock.h"
#include "ZEL_OS/OsError.h"
#include "ZEL_OS/OsMessages.h"
#include "ZEL_OS/OsThread.h"
#include "ZEL_SYSTEM/ZDebug.h"
#include "ZEL_SYSTEM/ZSystem.h"
#include "ZEL_UTIL/ZApplicationBasic.h"
#include "ZEL_UTIL/ZError.h"

namespace {

// The longest the reads and the reader thread wait before they look again.
const int stepMs = 50;

const char notOpenForWrite[] =
    "Fehler beim Schreiben auf den COM-Port: Zugriff auf nicht ge\xF6" "ffneten Port.\r\n"
    "Bitte verwenden Sie zuerst ZComPort::open(..)";
const char notOpenForRead[] =
    "Fehler beim Lesen vom COM-Port: Zugriff auf nicht ge\xF6" "ffneten Port.\r\n"
    "Bitte verwenden Sie zuerst ZComPort::open(..)";

// What may help when the device did not open: the lines for the user, German then English.
ZString openRefusalHint(const ZString& port, int number) {
  switch (zos::serialOpenRefusal(number)) {
    case zos::SerialRefusedNoRights: {
      ZString group = zos::serialDeviceGroup(port.getBuffer()).c_str();
      if (group.isEmpty()) {
        return "Hinweis: Ihnen fehlt das Recht, den Port " + port + " zu benutzen.\n" +
               "Hint: you have no right to use the port " + port + ".\n";
      }
      return "Hinweis: Ihnen fehlt das Recht, den Port " + port + " zu benutzen; Mitglieder der Gruppe " + group +
             " haben es. Beitreten mit: sudo usermod -aG " + group + " $USER, danach neu anmelden.\n" +
             "Hint: you have no right to use the port " + port + "; members of the group " + group +
             " have it. Join with: sudo usermod -aG " + group + " $USER, then log in again.\n";
    }
    case zos::SerialRefusedInUse:
      return "Hinweis: Der Port " + port + " ist von einem anderen Programm belegt.\n" +
             "Hint: the port " + port + " is held by another program.\n";
    default:
      return ZString();
  }
}

// Handles every window message that waits for the calling thread.
void dispatchWaitingMessages() {
  while (zos::pumpOneMessage()) {
  }
}

}  // namespace

ZComPort::ZComPort() : receiveBuffer(400) {
  byteArrived = zos::createEvent(true, false);
}

ZComPort::~ZComPort() {
  close(0);
  zos::closeEvent(byteArrived);
}

void ZComPort::onReceiveByte(unsigned char /*byte*/) {}

// ---- Opening, configuring, closing ---------------------------------------------------------------

int ZComPort::open(const ZString& name, zos::WindowHandle window) {
  if (isOpen()) {
    // A second open of the device would fail anyway, and the handle in use must not be lost.
    errorText = "Der Port " + settings.port + " ist bereits ge\xF6" "ffnet.";
    return 0;
  }
  openHint = "";
  notifyWindow = window;
  if (!name.isEmpty() && name != settings.port) settings.port = name;
  zelDebug.printf(" ### \xF6" "ffne Serial Port %s", settings.port.getBuffer());

  zos::Handle device = zos::openSerial(settings.port);
  if (!device) {
    int number = zos::lastError();
    errorText = "Der Port " + settings.port + " konnte nicht ge\xF6" "ffnet werden.";
    openHint = openRefusalHint(settings.port, number);
    return 0;
  }
  haveStateAtOpen = zos::readLineState(device, stateAtOpen);
  lineGone.store(false);
  handle.store(device);

  if (!_setState()) return 0;
  if (!zos::setSerialTimeouts(device)) {
    errorText = "Dem Port " + settings.port + " konnten Timeout-Parameter nicht konfiguriert werden.";
    return 0;
  }
  zos::raiseDtrRts(device);
  // Bytes that came in before this open (a late answer to an earlier session) answer nothing
  // that this session asks.
  zos::purgeSerial(device);

  zos::Handle thread = zos::createThread(&ZComPort::readerEntry, this);
  if (!thread) {
    errorText = "F\xFCr den Port " + settings.port + " konnte kein Lese-Thread erstellt werden.";
    return 0;
  }
  readerThreadHandle = thread;
  readerThread.store(thread);
  return 1;
}

int ZComPort::_setState() {
  zos::Handle device = handle.load();
  if (!device) {
    zelError.showError("ZComPort::_setState(..) Zugriff auf nicht ge\xF6" "ffneten Port.", 0, "Fehler !",
                       ZError::iconError);
    return 0;
  }
  // The line takes the low byte of each code, as the system's line record stores them.
  zos::LineSettings line;
  line.baudRate = static_cast<std::uint32_t>(settings.baudRate);
  line.parity = settings.parity & 0xFF;
  line.dataBits = settings.dataBits & 0xFF;
  line.stopBits = settings.stopBits & 0xFF;
  if (!zos::applyLineSettings(device, line)) {
    int number = zos::lastError();
    errorText = "Der Port " + settings.port + " konnte nicht konfiguriert werden.(" +
                ZError::getErrorText(number) + ")";
    return 0;
  }
  zelApplication.pumpMessages(60, nullptr);
  return 1;
}

int ZComPort::setState(const ZString& settingsText) {
  settings.set(settingsText);
  return _setState();
}

void ZComPort::close(int keepState) {
  zos::Handle device = handle.load();
  if (!device) return;
  zelDebug.printf(" ### close Serial Port %s", settings.port.getBuffer());
  purge();
  handle.store(nullptr);  // tells the reader thread to end
  waitForReaderEnd();
  if (keepState == 0 && haveStateAtOpen) {
    zos::restoreLineState(device, stateAtOpen);
    zelApplication.pumpMessages(60, nullptr);
  }
  haveStateAtOpen = false;
  zos::closeSerial(device);
  zelApplication.pumpMessages(100, nullptr);
}

void ZComPort::purge() {
  zos::Handle device = handle.load();
  if (device) zos::purgeSerial(device);
  receiveBuffer.reset();
}

void ZComPort::saveState() {
  ZString state = isOpen() ? "1," : "0,";
  state.appendFormat("%016d,", static_cast<int>(reinterpret_cast<std::intptr_t>(notifyWindow)));
  state += settings.toString();
  savedStates.add(state);
  zelDebug.print("speichere " + state);
}

int ZComPort::restore() {
  int count = savedStates.getCount();
  if (count == 0) {
    zelDebug.print("Fehler: ZComPort::restore() Aufruf ohne dass States vorhanden sind.");
    return 0;
  }
  close(0);
  ZString state = savedStates.getAt(count - 1);
  savedStates.removeAt(count - 1);

  int result = 0;
  if (!state.isEmpty()) {
    notifyWindow = reinterpret_cast<zos::WindowHandle>(static_cast<std::intptr_t>(state.mid(2, 16).toInt()));
    settings.set(state.mid(19));
    result = state.getAt(0) == '1' ? open(settings.port, notifyWindow) : 1;
  }
  zelDebug.print("restore " + state);
  return result;
}

// ---- Reader thread -------------------------------------------------------------------------------

unsigned ZComPort::readerEntry(void* port) {
  static_cast<ZComPort*>(port)->readerLoop();
  return 0;
}

void ZComPort::readerLoop() {
  // The handle is read afresh for every byte: close clears it to stop the thread. Each wait on
  // the device lasts at most one step.
  for (zos::Handle device = handle.load(); device; device = handle.load()) {
    unsigned char byte = 0;
    zos::SerialReadResult result = zos::readSerialByte(device, stepMs, byte);
    if (result == zos::SerialGone) {
      // Nothing will come any more. Every byte read before is stored already, so a read that
      // sees lineGone before it takes the buffered bytes misses none of them.
      lineError.store(zos::lastError());
      lineGone.store(true);
      zos::setEvent(byteArrived);  // wakes a read that waits
      break;
    }
    if (result != zos::SerialByte) continue;
    if (notifyWindow) zos::sendMessage(notifyWindow, receiveMessage, 0, byte);
    onReceiveByte(byte);
    receiveBuffer.put(byte);
    // Wakes a read that waits, once the buffer holds what it still needs.
    if (receiveBuffer.getAvailable() >= wakeAtAvailable.load()) zos::setEvent(byteArrived);
  }
  readerThread.store(nullptr);
}

void ZComPort::waitForReaderEnd() {
  zos::Handle thread = readerThreadHandle;
  if (!thread) return;
  // The reader may be sending a notification to a window of this thread: keep serving messages.
  for (;;) {
    zos::WaitResult result = zos::waitForMessageOrObject(thread, zos::WaitForever);
    if (result == zos::WaitSignalled) break;
    if (result == zos::WaitMessageWaiting) {
      dispatchWaitingMessages();
    } else if (result == zos::WaitFailed) {
      if (!readerThread.load()) break;
      zelApplication.pumpMessages(stepMs, nullptr);
    }
  }
  zos::releaseThread(thread);
  readerThreadHandle = nullptr;
  readerThread.store(nullptr);
}

template <typename Take, typename Needed>
ZComPort::ReadWait ZComPort::waitForBytes(int timeout, Take take, Needed needed) {
  // Between reads every byte sets the event, as a read that begins expects.
  struct WakeForEveryByte {
    std::atomic<int>& threshold;
    ~WakeForEveryByte() { threshold.store(1); }
  } restore{wakeAtAvailable};
  // At most half the buffer, so that the bytes are taken before the ring overwrites them.
  const int mostToWaitFor = std::max(receiveBuffer.getSize() / 2, 1);
  auto setThreshold = [&]() { wakeAtAvailable.store(std::clamp(needed(), 1, mostToWaitFor)); };
  // The first step waits for nothing but its time: no byte needs to set the event meanwhile.
  wakeAtAvailable.store(std::numeric_limits<int>::max());
  std::uint32_t start = zos::tickCount();
  // Every read waits one whole step first, even when its bytes are there already.
  zelApplication.pumpMessages(static_cast<unsigned>(timeout < stepMs ? timeout : stepMs), nullptr);
  for (;;) {
    // Cleared before the bytes are taken, so that a byte stored after the last look sets it again.
    zos::resetEvent(byteArrived);
    if (!handle.load()) return portClosed;
    // Looked at before the bytes are taken: the reader stores its last bytes before it says so.
    bool gone = lineGone.load();
    if (take()) return gotAll;
    if (gone) return lineLost;
    std::uint32_t spent = zos::tickCount() - start;
    if (spent >= static_cast<std::uint32_t>(timeout)) return timedOut;
    std::uint32_t left = static_cast<std::uint32_t>(timeout) - spent;
    unsigned wait = left < static_cast<std::uint32_t>(stepMs) ? left : stepMs;
    setThreshold();
    // A byte stored before the new threshold was seen was held against the old one: look again.
    if (receiveBuffer.getAvailable() >= wakeAtAvailable.load()) continue;
    zos::WaitResult result = zos::waitForMessageOrObject(byteArrived, wait);
    if (result == zos::WaitMessageWaiting) {
      dispatchWaitingMessages();
    } else if (result == zos::WaitFailed) {
      zelApplication.pumpMessages(wait, nullptr);
    }
  }
}

void ZComPort::reportLineLost() {
  int number = lineError.load();
  errorText = ZSystem::getErrorText(number);
  zelDebug.printf(" ### Serial Port %s ist weg (Fehler %d)", settings.port.getBuffer(), number);
}

// ---- Writing -------------------------------------------------------------------------------------

int ZComPort::write(const void* data, unsigned length) {
  zos::Handle device = handle.load();
  if (!device) {
    errorText = notOpenForWrite;
    return 0;
  }
  // A write that its time-out cut short fails as well: the rest never went out.
  if (zos::writeSerial(device, data, length) != zos::SerialWritten) {
    errorText = ZSystem::getErrorText(zos::lastError());
    return 0;
  }
  return 1;
}

int ZComPort::write(const ZString& text) { return write(text.getBuffer(), static_cast<unsigned>(text.getLength())); }

int ZComPort::write(const ZMem& block) {
  return write(block.getData(), static_cast<unsigned>(block.getSize()));
}

int ZComPort::writeByte(int value) {
  unsigned char byte = static_cast<unsigned char>(value & 0xFF);
  return write(&byte, 1);
}

// ---- Reading -------------------------------------------------------------------------------------

int ZComPort::readCount(ZMem& out, int timeout, int count) {
  int received = 0;
  out.setSize(count == -1 ? 1000 : count);
  if (timeout >= 1 && count != 0) {
    auto take = [&]() {
      unsigned char byte;
      while (receiveBuffer.get(&byte, 1)) {
        if (count == -1 && out.getSize() <= received + 1) out.setSize(out.getSize() + 1000);
        out.setAt(received, byte);
        ++received;
        if (received == count) return true;
      }
      return false;
    };
    auto needed = [&]() { return count == -1 ? 1 : count - received; };
    ReadWait end = waitForBytes(timeout, take, needed);
    if (end == portClosed) return 0;
    // A read for whatever comes ends early on a lost line and keeps what it got.
    if (end == lineLost && !(count == -1 && received > 0)) {
      reportLineLost();
      return 0;
    }
  }
  return (received == count || (count == -1 && received > 0)) ? 1 : 0;
}

int ZComPort::readUntil(ZMem& out, int timeout, const ZString& terminator) {
  if (terminator.isEmpty()) return readCount(out, timeout, -1);
  int received = 0;
  int matched = 0;
  out.setSize(500);

  // Each byte is compared as a number 0 to 255 with the wide code of the terminator character.
  ZString wideSource = terminator;
  const zos::WideChar* wide = wideSource.toWide();
  const int length = terminator.getLength();
  const unsigned char* data = nullptr;

  // The longest start of the terminator that the received bytes end with, at most limit long.
  auto longestMatch = [&](int limit) {
    for (int k = limit; k > 0; --k) {
      int i = 0;
      while (i < k && data[received - k + i] == wide[i]) ++i;
      if (i == k) return k;
    }
    return 0;
  };

  if (timeout > 0) {
    auto take = [&]() {
      unsigned char byte;
      while (receiveBuffer.get(&byte, 1)) {
        out.ensureSize(received + 1, 500);
        out.setAt(received, byte);
        ++received;
        if (byte == wide[matched]) {
          ++matched;
        } else {
          // A partial match may still end in a new start: "\r\r\n" ends a read for "\r\n".
          data = reinterpret_cast<const unsigned char*>(out.getData());
          matched = longestMatch(matched);
        }
        if (matched == length) return true;
      }
      return false;
    };
    // Any byte may be the end of the terminator.
    ReadWait end = waitForBytes(timeout, take, [] { return 1; });
    if (end == portClosed) return 0;
    if (end == lineLost) reportLineLost();
  }
  out.setSize(received);
  return matched == length ? 1 : 0;
}

namespace {

// The bytes as text: a zero byte becomes 0xFF, so the text holds no terminator inside.
void bytesToText(ZMem& block, ZString& out) {
  block.replaceByte(0, 0xFF);
  out.assign(reinterpret_cast<const char*>(block.getData()), block.getSize());
}

}  // namespace

int ZComPort::readString(ZString& out, int timeout, const ZString& terminator) {
  out = "";
  ZMem block;
  int result = readUntil(block, timeout, terminator);
  bytesToText(block, out);
  return result;
}

int ZComPort::readStringCount(ZString& out, int timeout, int count) {
  out = "";
  ZMem block;
  int result = readCount(block, timeout, count);
  bytesToText(block, out);
  return result;
}

int ZComPort::readByte(int timeout) {
  errorText = "";
  if (!isOpen()) {
    errorText = notOpenForRead;
    return 0;
  }
  ZMem block;
  if (!readCount(block, timeout, 1)) return 0;
  return block.getAt(0);
}
