// Burning: the block commands of the serial programming protocol, one block at a time, then the
// read-back and the comparison.
#include "app/Console.h"
#include "app/KalmoApp.h"
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

const unsigned char enterCommand[] = {'P'};
const unsigned char eraseCommand[] = {'e'};
const unsigned char addressZeroCommand[] = {'A', 0x00, 0x00};
const unsigned char leaveCommand[] = {'L'};

// Writes a German and an English message, each on its own.
void report(const ZString& german, const ZString& english) {
  Console::write(german);
  Console::write(english);
}

// The size of the block that starts at offset start: the block size, or what is left of the image.
int blockAt(int start, int imageSize, int blockSize) {
  return imageSize - start < blockSize ? imageSize - start : blockSize;
}

}  // namespace

int KalmoApp::flashHexFile(const ZString& token) {
  const unsigned startTime = ZTime::getTickCount();
  ZMem image;
  int blockSize = 0;

  int result = enterProgrammingMode() && queryBlockSize(blockSize) && loadImage(token.mid(2), image) &&
               eraseChip() && writeImage(image, blockSize) && (noVerify || verifyImage(image, blockSize)) &&
               leaveProgrammingMode();

  zelDebug.printf("Dauer/duration: %dms", static_cast<int>(ZTime::getTickCount() - startTime));

  if (result) Console::write("Fertig/finished.\n");
  return result;
}

int KalmoApp::commandAwaitingCr(const unsigned char* command, int length, int timeoutMs, const unsigned char* data,
                                int dataLength) {
  for (int i = 0; i < length; i++) comPort.writeByte(command[i]);
  for (int i = 0; i < dataLength; i++) comPort.writeByte(data[i]);
  ZMem answer;
  return comPort.readUntil(answer, timeoutMs, "\r");
}

int KalmoApp::enterProgrammingMode() {
  // A programmer that is still busy gets a second, longer chance.
  int result = commandAwaitingCr(enterCommand, 1, enterTimeoutMs);
  if (!result) {
    zelDebug.print("2. Versuch");
    result = commandAwaitingCr(enterCommand, 1, enterRetryTimeoutMs);
  }
  if (result) {
    Console::write("Programmier-Modus gestartet\n");
  } else {
    report("Fehler: beim Starten des Programmierungs Modus.\n", "Error: on starting programming mode.\n");
  }
  return result;
}

int KalmoApp::queryBlockSize(int& blockSize) {
  ZMem answer;
  comPort.writeByte('b');
  int result = comPort.readCount(answer, blockQueryTimeoutMs, 3) && answer.getAt(0) == 'Y';
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

int KalmoApp::loadImage(const ZString& fileName, ZMem& image) {
  // A file that cannot be read, is no Intel HEX or holds no data would burn wrong bytes.
  ZHexFile hexFile;
  if (!hexFile.load(fileName, image) || hexFile.getDataRecordCount() == 0) {
    report(ZString("Fehler: Die Datei '") + fileName + "' ist keine g\xFCltige Intel-HEX-Datei.\n",
           ZString("Error: file '") + fileName + "' is no valid Intel HEX file.\n");
    return 0;
  }
  return 1;
}

int KalmoApp::eraseChip() {
  if (!commandAwaitingCr(eraseCommand, 1, eraseTimeoutMs)) {
    report("Fehler: Timeout oder Fehler beim Loeschen des Chips.\n", "Error: timeout or error on erease chip.\n");
    return 0;
  }
  Console::write("Chip geloescht / chip ereased\n");
  return 1;
}

int KalmoApp::setAddressZero() {
  if (!commandAwaitingCr(addressZeroCommand, 3, addressTimeoutMs)) {
    report("Fehler: beim Schreiben der Adresse.\n", "Error: on write address.\n");
    return 0;
  }
  return 1;
}

int KalmoApp::writeImage(const ZMem& image, int blockSize) {
  const int imageSize = image.getSize();
  ZString line;
  line.format("schreibe/write %d Bytes: ", imageSize);
  Console::write(line);
  if (!setAddressZero()) return 0;
  const unsigned char* data = image.getData();
  for (int start = 0; start < imageSize; start += blockSize) {
    const int n = blockAt(start, imageSize, blockSize);
    const unsigned char header[] = {'B', static_cast<unsigned char>(n >> 8), static_cast<unsigned char>(n & 0xFF),
                                    'F'};
    if (!commandAwaitingCr(header, 4, blockWriteTimeoutMs, data + start, n)) {
      report("Fehler: beim Schreiben der Daten.\n", "Error: on write data.\n");
      return 0;
    }
    Console::write(".");
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
      report("Fehler: beim Lesen der Daten.\n", "Error: on read data.\n");
      return 0;
    }
    for (int i = 0; i < n; i++) readBackImage.setAt(start + i, static_cast<unsigned char>(answer.getAt(i)));
    Console::write(".");
  }
  return 1;
}

int KalmoApp::verifyImage(const ZMem& image, int blockSize) {
  Console::write("Vergleiche/verify: ");
  const int imageSize = image.getSize();
  ZMem readBackImage(imageSize);
  if (!readBack(readBackImage, blockSize)) {
    report("Fehler: beim Lesen der geschriebenen Daten.\n", "Error: on reading data.\n");
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

int KalmoApp::leaveProgrammingMode() { return commandAwaitingCr(leaveCommand, 1, leaveTimeoutMs); }
