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

// Writes a German and an English message, each on its own.
void report(const ZString& german, const ZString& english) {
  Console::write(german);
  Console::write(english);
}

}  // namespace

int KalmoApp::flashHexFile(const ZString& token) {
  const unsigned startTime = ZTime::getTickCount();
  const ZString fileName = token.mid(2);
  const ZString carriageReturn("\r");
  ZMem image;
  ZMem answer;
  int blockSize = 0;
  int result = 1;

  // Programming mode; a programmer that is still busy gets a second, longer chance.
  comPort.writeByte('P');
  if (!comPort.readUntil(answer, enterTimeoutMs, carriageReturn)) {
    zelDebug.print("2. Versuch");
    comPort.writeByte('P');
    result = comPort.readUntil(answer, enterRetryTimeoutMs, carriageReturn);
  }
  if (result) {
    Console::write("Programmier-Modus gestartet\n");
  } else {
    report("Fehler: beim Starten des Programmierungs Modus.\n", "Error: on starting programming mode.\n");
  }

  if (result) {
    comPort.writeByte('b');
    result = comPort.readCount(answer, blockQueryTimeoutMs, 3) && answer.getAt(0) == 'Y';
    if (result) blockSize = answer.getAt(1) * 256 + answer.getAt(2);
    // A block size of 0 would never get through the image: refused like a missing block mode.
    if (!result || blockSize == 0) {
      result = 0;
      report("Fehler: Blockmodus wird nicht unterst\xFCtzt.\n", "Error: blockmode was not supported.\n");
    }
  }

  if (result) {
    // A file that cannot be read, is no Intel HEX or holds no data would burn wrong bytes.
    ZHexFile hexFile;
    if (!hexFile.load(fileName, image) || hexFile.getDataRecordCount() == 0) {
      result = 0;
      report(ZString("Fehler: Die Datei '") + fileName + "' ist keine g\xFCltige Intel-HEX-Datei.\n",
             ZString("Error: file '") + fileName + "' is no valid Intel HEX file.\n");
    }
  }

  if (result) {
    comPort.writeByte('e');
    result = comPort.readUntil(answer, eraseTimeoutMs, carriageReturn);
    if (result) {
      Console::write("Chip geloescht / chip ereased\n");
    } else {
      report("Fehler: Timeout oder Fehler beim Loeschen des Chips.\n", "Error: timeout or error on erease chip.\n");
    }
  }

  const int imageSize = image.getSize();
  auto setAddressZero = [&]() {
    comPort.writeByte('A');
    comPort.writeByte(0x00);
    comPort.writeByte(0x00);
    int ok = comPort.readUntil(answer, addressTimeoutMs, carriageReturn);
    if (!ok) report("Fehler: beim Schreiben der Adresse.\n", "Error: on write address.\n");
    return ok;
  };

  if (result) {
    ZString line;
    line.format("schreibe/write %d Bytes: ", imageSize);
    Console::write(line);
    result = setAddressZero();
    const unsigned char* data = image.getData();
    for (int start = 0; result && start < imageSize; start += blockSize) {
      const int n = (imageSize - start < blockSize) ? imageSize - start : blockSize;
      comPort.writeByte('B');
      comPort.writeByte(n >> 8);
      comPort.writeByte(n & 0xFF);
      comPort.writeByte('F');
      for (int i = 0; i < n; i++) comPort.writeByte(data[start + i]);
      result = comPort.readUntil(answer, blockWriteTimeoutMs, carriageReturn);
      if (result) {
        Console::write(".");
      } else {
        report("Fehler: beim Schreiben der Daten.\n", "Error: on write data.\n");
      }
    }
    if (result) Console::write(" OK\n");
  }

  if (result && !noVerify) {
    Console::write("Vergleiche/verify: ");
    ZMem readBack(imageSize);
    int readOk = setAddressZero();
    if (readOk) {
      // The buffer holds one whole block, so nothing of a block is overwritten before it is taken.
      comPort.receiveBuffer.setSize(blockSize);
      comPort.receiveBuffer.reset();
    }
    for (int start = 0; readOk && start < imageSize; start += blockSize) {
      const int n = (imageSize - start < blockSize) ? imageSize - start : blockSize;
      comPort.writeByte('g');
      comPort.writeByte(n >> 8);
      comPort.writeByte(n & 0xFF);
      comPort.writeByte('F');
      readOk = comPort.readCount(answer, blockReadTimeoutMs, n);
      if (readOk) {
        for (int i = 0; i < n; i++) readBack.setAt(start + i, static_cast<unsigned char>(answer.getAt(i)));
        Console::write(".");
      } else {
        report("Fehler: beim Lesen der Daten.\n", "Error: on read data.\n");
      }
    }
    if (!readOk) {
      result = 0;
      report("Fehler: beim Lesen der geschriebenen Daten.\n", "Error: on reading data.\n");
    } else {
      for (int i = 0; i < imageSize; i++) {
        const int x = image.getAt(i);
        const int y = readBack.getAt(i);
        if (x != y) {
          result = 0;
          ZString text("\nFehler: beim \xDC" "berpr\xFC" "fen der geschriebenen Daten.\n");
          text.appendFormat("\tErste Abweichung bei Byte %d , '0x%02X' != '0x%02X'\n", i, x, y);
          text += "\nError: on verify.\n";
          text.appendFormat("\tFirst difference at Byte %d , '0x%02X' != '0x%02X'\n", i, x, y);
          Console::write(text);
          break;
        }
      }
      if (result) Console::write(" OK\n");
    }
  }

  if (result) {
    comPort.writeByte('L');
    result = comPort.readUntil(answer, leaveTimeoutMs, carriageReturn);
  }

  zelDebug.printf("Dauer/duration: %dms", static_cast<int>(ZTime::getTickCount() - startTime));

  if (result) Console::write("Fertig/finished.\n");
  return result;
}
