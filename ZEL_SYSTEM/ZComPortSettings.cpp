#include "ZEL_SYSTEM/ZComPortSettings.h"

#include "ZEL_OS/OsSerial.h"
#include "ZEL_SYSTEM/ZFileIni.h"
#include "ZEL_UTIL/ZApplicationBasic.h"

namespace {

const char parityLetters[] = "NOEMS";  // indexed by the parity code

// A port field that names a device by its path ("/dev/ttyUSB0") is used exactly as written.
bool isDevicePath(const ZString& name) { return name.getAt(0) == '/'; }

}  // namespace

ZComPortSettings::ZComPortSettings() { setDefaults(); }

ZComPortSettings::~ZComPortSettings() {}

void ZComPortSettings::setDefaults() {
  port = "com1";
  baudRate = 9600;
  parity = zos::ParityNone;
  dataBits = 8;
  stopBits = zos::StopBitsOne;
}

void ZComPortSettings::set(const ZString& text) {
  setDefaults();
  ZString rest = text;
  rest += ",,,,";  // so that five fields can always be cut off

  ZString portField = rest.nextToken(",");
  ZString baudField = rest.nextToken(",");
  ZString parityField = rest.nextToken(",");
  ZString dataField = rest.nextToken(",");
  ZString stopField = rest.nextToken(",");

  if (isDevicePath(portField)) {
    port = portField;
  } else {
    portField.makeLower();
    if (!portField.isEmpty() && portField.startsWith("com")) port = portField;
  }

  if (!baudField.isEmpty()) baudRate = baudField.toInt();

  if (!parityField.isEmpty()) {
    switch (parityField.getAt(0)) {
      case 'N': case 'n': parity = zos::ParityNone; break;
      case 'O': case 'o': parity = zos::ParityOdd; break;
      case 'E': case 'e': parity = zos::ParityEven; break;
      case 'M': case 'm': parity = zos::ParityMark; break;
      case 'S': case 's': parity = zos::ParitySpace; break;
      default: break;
    }
  }

  if (!dataField.isEmpty()) dataBits = dataField.toInt();

  if (stopField == "1") stopBits = zos::StopBitsOne;
  else if (stopField == "1.5") stopBits = zos::StopBitsOneAndHalf;
  else if (stopField == "2") stopBits = zos::StopBitsTwo;
}

ZString ZComPortSettings::toString() const {
  ZString text;
  text.format("%s,%d,", port.getBuffer(), baudRate);
  if (parity >= 0 && parity <= 4) text += parityLetters[parity];
  text += ",";
  text.appendFormat("%d,", dataBits);
  if (stopBits == zos::StopBitsOne) text += "1";
  else if (stopBits == zos::StopBitsOneAndHalf) text += "1.5";
  else if (stopBits == zos::StopBitsTwo) text += "2";
  text.makeUpper();

  if (isDevicePath(port)) {
    // Device paths are case-sensitive: put the port back as it was written.
    ZString tail = text.mid(port.getLength());
    text = port;
    text += tail;
  }
  return text;
}

void ZComPortSettings::loadConfig(const ZString& suffix) {
  ZString section = ZString("ComPort") + suffix;
  zelApplication.openUserConfigFile();
  ZFileIni& config = zelApplication.userConfig;
  port = config.getValue(section, "Port", "");
  if (port.isEmpty()) {
    setDefaults();
    return;
  }
  ZString baud = config.getValue(section, "Baud", "9600");
  baud.replace(".", "");  // "19.200" is written with a thousands point
  baudRate = baud.toInt();
  parity = config.getInt(section, "Parity", zos::ParityNone);
  dataBits = config.getInt(section, "Data", 8);
  stopBits = config.getInt(section, "Stop", zos::StopBitsOne);
}

void ZComPortSettings::saveConfig(const ZString& suffix) {
  ZString section = ZString("ComPort") + suffix;
  zelApplication.openUserConfigFile();
  ZFileIni& config = zelApplication.userConfig;
  config.setValue(section, "Port", port);
  config.setInt(section, "Baud", baudRate);
  config.setInt(section, "Parity", parity);
  config.setInt(section, "Data", dataBits);
  config.setInt(section, "Stop", stopBits);
  config.save();
}
