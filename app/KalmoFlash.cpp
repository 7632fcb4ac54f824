// Burning: the block commands of the serial programming protocol, one block at a time, then the
// read-back and the comparison.
#include <cstring>

#include "app/Console.h"
#include "app/KalmoApp.h"
#include "ZEL_OS/OsCancel.h"
#include "ZEL_SYSTEM/ZDebug.h"
#include "ZEL_SYSTEM/ZHexFile.h"
#include "ZEL_SYSTEM/ZMem.h"
#include "ZEL_UTIL/ZTime.h"

namespace {

const int enterTimeoutMs = 1000;
const int enterRetryTimeoutMs = 5000;
const int blockQueryTimeoutMs = 200;
const int eraseTimeoutMs = 2000;
const int addressTimeoutMs = 2000;
const int blockWriteTimeoutMs = 4000;
const int blockReadTimeoutMs = 5000;
const int leaveTimeoutMs = 1000;

// After an answer byte that is no CR, how long the line may stay quiet before the answer counts
// as a refusal. Firmware sends a CR that belongs to an answer right behind it, and a USB serial
// bridge holds bytes back for a few milliseconds at most: two read steps are plenty, and still
// nothing against the seconds that a step's own time-out would cost.
const int refusalGraceMs = 100;

// The bytes that bring a programmer back from the middle of a block: the largest block a common
// programmer takes (1 KiB) and its header. How long the line must then be quiet before it is
// purged, and how long it may go on talking at most.
const int resyncFillBytes = 1024 + 4;
const int resyncQuietMs = 100;
const int resyncLongestMs = 2000;

const unsigned char escape = 0x1B;
const unsigned char enterCommand[] = {'P'};
const unsigned char eraseCommand[] = {'e'};
const unsigned char addressZeroCommand[] = {'A', 0x00, 0x00};
const unsigned char leaveCommand[] = {'L'};

// Writes a German and an English message, each on its own; asIs: a name in them that goes out as
// it came.
void report(const ZString& german, const ZString& english, const ZString& asIs = ZString()) {
  Console::write(german, asIs);
  Console::write(english, asIs);
}

// The size of the block that starts at offset start: the block size, or what is left of the image.
int blockAt(int start, int imageSize, int blockSize) {
  return imageSize - start < blockSize ? imageSize - start : blockSize;
}

// Whether the run was asked to end. Checked after every whole exchange: a command and its answer
// are never cut apart, so the programmer is left between two commands.
bool cancelled() { return zos::cancelSignal() != 0; }

int millisecondsSince(std::uint32_t start) { return static_cast<int>(ZTime::getTickCount() - start); }

}  // namespace

int KalmoApp::flashHexFile(const ZString& token) {
  const std::uint32_t startTime = ZTime::getTickCount();
  ZMem image;
  int fileBytes = 0;
  int blockSize = 0;

  const int entered = enterProgrammingMode();
  int result = entered && !cancelled() && queryBlockSize(blockSize) && loadImage(token.mid(2), image, fileBytes) && eraseChip() &&
               writeImage(image, fileBytes, blockSize) && (noVerify || verifyImage(image, blockSize));
  // A cancelled run still leaves programming mode, so that the programmer is ready for the next.
  if (result || (entered && cancelled())) result = leaveProgrammingMode() && result;

  zelDebug.printf("Dauer/duration: %dms", millisecondsSince(startTime));

  if (result) Console::write("Fertig/finished.\n");
  return result;
}

int KalmoApp::wireTimeMs(int bytes) const {
  const int baudRate = comPort.settings.baudRate;
  if (baudRate <= 0) return 0;
  return static_cast<int>((static_cast<long long>(bytes) * 10 * 1000 + baudRate - 1) / baudRate);
}

KalmoApp::Confirmation KalmoApp::commandAwaitingCr(const unsigned char* command, int length, int timeoutMs,
                                                   const unsigned char* data, int dataLength) {
  for (int i = 0; i < length; i++) comPort.writeByte(command[i]);
  for (int i = 0; i < dataLength; i++) comPort.writeByte(data[i]);
  const std::uint32_t sentAt = ZTime::getTickCount();
  // The programmer answers once the whole command has reached it; before that a quiet line
  // means nothing.
  const int heardAfterMs = wireTimeMs(length + dataLength);

  // The first byte is normally the CR itself: one read, the whole step's time-out.
  ZMem answer;
  if (!comPort.readCount(answer, timeoutMs, 1)) return Confirmation::timedOut;
  if (answer.getAt(0) == '\r') return Confirmation::confirmed;

  // Noise in front of the CR, or a refusal that no CR follows: the CR is waited for while bytes
  // keep coming, until the line is quiet, and never beyond the step's time-out.
  for (;;) {
    const int left = timeoutMs - millisecondsSince(sentAt);
    if (left <= 0) return Confirmation::refused;
    if (comPort.readUntil(answer, left < refusalGraceMs ? left : refusalGraceMs, "\r")) {
      return Confirmation::confirmed;
    }
    // A port whose line is gone, or that has no reader, gets no more bytes.
    if (!comPort.isOpen() || comPort.isLineLost() || !comPort.readerThread.load()) return Confirmation::refused;
    if (answer.getSize() == 0 && millisecondsSince(sentAt) >= heardAfterMs + refusalGraceMs) {
      return Confirmation::refused;
    }
  }
}

int KalmoApp::enterProgrammingMode() {
  int result = commandAwaitingCr(enterCommand, 1, enterTimeoutMs) == Confirmation::confirmed;
  if (!result) {
    if (cancelled()) return 0;
    resynchronise();
    if (cancelled()) return 0;
    // A programmer that is still busy gets a second, longer chance.
    zelDebug.print("2. Versuch");
    result = commandAwaitingCr(enterCommand, 1, enterRetryTimeoutMs) == Confirmation::confirmed;
  }
  if (result) {
    Console::write("Programmier-Modus gestartet\n");
  } else if (!cancelled()) {
    report("Fehler: beim Starten des Programmierungs Modus.\n", "Error: on starting programming mode.\n");
  }
  return result;
}

// A programmer that an earlier run left in the middle of a block (a killed run, a lost supply)
// takes every byte as that block's data and answers nothing until the block is full; the 'P'
// went the same way. ESC is no command of the protocol: firmware that waits for a command passes
// it over, and firmware in the middle of a block (or of a command's operands) is filled up by it.
// So a programmer that is merely slow is not disturbed, and one that was stuck finishes its block
// and answers it. What comes back is waited for until the line is quiet, then thrown away.
void KalmoApp::resynchronise() {
  unsigned char fill[resyncFillBytes];
  std::memset(fill, escape, sizeof fill);
  comPort.write(fill, sizeof fill);
  const std::uint32_t start = ZTime::getTickCount();
  // Reads for any count spend their whole time: the first until the fill has gone through at the
  // line's rate, then one quiet period after another while the programmer is still talking.
  ZMem discarded;
  if (comPort.readCount(discarded, wireTimeMs(resyncFillBytes) + resyncQuietMs, -1)) {
    while (millisecondsSince(start) < resyncLongestMs && comPort.readCount(discarded, resyncQuietMs, -1)) {
    }
  }
  comPort.purge();
}

int KalmoApp::queryBlockSize(int& blockSize) {
  ZMem answer;
  comPort.writeByte('b');
  int result = comPort.readCount(answer, blockQueryTimeoutMs, 3) && answer.getAt(0) == 'Y';
  if (cancelled()) return 0;
  // Flash is addressed in words and every block moves the address on by its words: a block of
  // an odd size would put the next block one byte off. Whole words only, then.
  blockSize = result ? (answer.getAt(1) * 256 + answer.getAt(2)) & ~1 : 0;
  // A block size of 0 would never get through the image: refused like a missing block mode.
  if (blockSize == 0) {
    report("Fehler: Blockmodus wird nicht unterst\xFCtzt.\n", "Error: blockmode was not supported.\n");
    return 0;
  }
  return 1;
}

int KalmoApp::loadImage(const ZString& fileName, ZMem& image, int& fileBytes) {
  // A file that cannot be read, is no Intel HEX or holds no data would burn wrong bytes.
  ZHexFile hexFile;
  if (!hexFile.load(fileName, image) || hexFile.getDataRecordCount() == 0) {
    report(ZString("Fehler: Die Datei '") + fileName + "' ist keine g\xFCltige Intel-HEX-Datei.\n",
           ZString("Error: file '") + fileName + "' is no valid Intel HEX file.\n", fileName);
    return 0;
  }
  // Flash takes whole words: firmware fills a block two bytes a turn, and a block of an odd size
  // would keep it waiting for ever. The last word is made whole with the erased value.
  fileBytes = image.getSize();
  if (fileBytes % 2 != 0) {
    image.setSize(fileBytes + 1);
    image.setAt(fileBytes, 0xFF);
  }
  return !cancelled();
}

int KalmoApp::eraseChip() {
  if (commandAwaitingCr(eraseCommand, 1, eraseTimeoutMs) != Confirmation::confirmed) {
    if (!cancelled()) {
      report("Fehler: Timeout oder Fehler beim Loeschen des Chips.\n", "Error: timeout or error on erease chip.\n");
    }
    return 0;
  }
  Console::write("Chip geloescht / chip ereased\n");
  return !cancelled();
}

int KalmoApp::setAddressZero() {
  if (commandAwaitingCr(addressZeroCommand, 3, addressTimeoutMs) != Confirmation::confirmed) {
    if (!cancelled()) report("Fehler: beim Schreiben der Adresse.\n", "Error: on write address.\n");
    return 0;
  }
  return !cancelled();
}

int KalmoApp::writeImage(const ZMem& image, int fileBytes, int blockSize) {
  const int imageSize = image.getSize();
  ZString line;
  line.format("schreibe/write %d Bytes: ", fileBytes);
  Console::write(line);
  if (!setAddressZero()) return 0;
  const unsigned char* data = image.getData();
  for (int start = 0; start < imageSize; start += blockSize) {
    const int n = blockAt(start, imageSize, blockSize);
    const unsigned char header[] = {'B', static_cast<unsigned char>(n >> 8), static_cast<unsigned char>(n & 0xFF),
                                    'F'};
    const Confirmation answer = commandAwaitingCr(header, 4, blockWriteTimeoutMs, data + start, n);
    if (answer != Confirmation::confirmed) {
      if (answer == Confirmation::refused) zelDebug.printf("Block abgelehnt/refused: Byte 0x%04X", start);
      if (!cancelled()) report("Fehler: beim Schreiben der Daten.\n", "Error: on write data.\n");
      return 0;
    }
    Console::write(".");
    if (cancelled()) return 0;
  }
  Console::write(" OK\n");
  return 1;
}

int KalmoApp::readBack(ZMem& readBackImage, int blockSize) {
  if (!setAddressZero()) return 0;
  // The buffer holds one whole block, so nothing of a block is overwritten before it is taken.
  comPort.receiveBuffer.setSize(blockSize);
  comPort.receiveBuffer.reset();
  const int imageSize = readBackImage.getSize();
  ZMem answer;
  for (int start = 0; start < imageSize; start += blockSize) {
    const int n = blockAt(start, imageSize, blockSize);
    comPort.writeByte('g');
    comPort.writeByte(n >> 8);
    comPort.writeByte(n & 0xFF);
    comPort.writeByte('F');
    if (!comPort.readCount(answer, blockReadTimeoutMs, n)) {
      if (!cancelled()) report("Fehler: beim Lesen der Daten.\n", "Error: on read data.\n");
      return 0;
    }
    for (int i = 0; i < n; i++) readBackImage.setAt(start + i, static_cast<unsigned char>(answer.getAt(i)));
    Console::write(".");
    if (cancelled()) return 0;
  }
  return 1;
}

int KalmoApp::verifyImage(const ZMem& image, int blockSize) {
  Console::write("Vergleiche/verify: ");
  const int imageSize = image.getSize();
  ZMem readBackImage(imageSize);
  if (!readBack(readBackImage, blockSize)) {
    if (!cancelled()) report("Fehler: beim Lesen der geschriebenen Daten.\n", "Error: on reading data.\n");
    return 0;
  }
  for (int i = 0; i < imageSize; i++) {
    const int x = image.getAt(i);
    const int y = readBackImage.getAt(i);
    if (x != y) {
      ZString text("\nFehler: beim \xDC" "berpr\xFC" "fen der geschriebenen Daten.\n");
      text.appendFormat("\tErste Abweichung bei Byte %d , '0x%02X' != '0x%02X'\n", i, x, y);
      text += "\nError: on verify.\n";
      text.appendFormat("\tFirst difference at Byte %d , '0x%02X' != '0x%02X'\n", i, x, y);
      Console::write(text);
      return 0;
    }
  }
  Console::write(" OK\n");
  return 1;
}

int KalmoApp::leaveProgrammingMode() {
  return commandAwaitingCr(leaveCommand, 1, leaveTimeoutMs) == Confirmation::confirmed;
}
