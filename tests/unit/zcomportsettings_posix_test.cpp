// The serial settings in the user configuration file, in a scratch folder given as the user's
// configuration folder.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <string>

#include "ZEL_SYSTEM/ZComPortSettings.h"
#include "ZEL_UTIL/ZApplicationBasic.h"
#include "tests/support/MessageBoxCapture.h"
#include "tests/support/ScratchDirectory.h"

namespace {

TEST(ZComPortSettingsConfig, ReadsWritesAndReadsBackTheUserFile) {
  testsupport::MessageBoxCapture boxes;
  ScratchDirectory dir;
  setenv("XDG_CONFIG_HOME", dir.path().string().c_str(), 1);
  zelApplication.programPath = "/opt/tools/kalmo";
  dir.write("kalmo.cfg",
            "[ComPortLab]\r\nPort=COM6\r\nBaud=115.200\r\nParity=2\r\nData=7\r\nStop=2\r\n"
            "[ComPortBare]\r\nBaud=4800\r\n");

  ZComPortSettings settings;
  settings.loadConfig("Lab");
  EXPECT_STREQ("COM6", settings.port.getBuffer()) << "the name is taken as written";
  EXPECT_EQ(115200, settings.baudRate);
  EXPECT_EQ(2, settings.parity);
  EXPECT_EQ(7, settings.dataBits);
  EXPECT_EQ(2, settings.stopBits);

  settings.loadConfig("Bare");  // no port: all defaults, the baud rate too
  EXPECT_STREQ("COM1,9600,N,8,1", settings.toString().getBuffer());

  settings.set("/dev/ttyUSB1,19200,O,8,1.5");
  settings.saveConfig("");
  std::string file = ScratchDirectory::read(dir / "kalmo.cfg");
  std::size_t section = file.find("[ComPort]");
  ASSERT_NE(std::string::npos, section) << file;
  std::string written = file.substr(section);
  for (const char* line : {"Port=/dev/ttyUSB1", "Baud=19200", "Parity=1", "Data=8", "Stop=1"}) {
    EXPECT_NE(std::string::npos, written.find(line)) << line << " in\n" << written;
  }

  ZComPortSettings again;
  again.loadConfig("");
  EXPECT_STREQ("/dev/ttyUSB1,19200,O,8,1.5", again.toString().getBuffer());
  EXPECT_EQ(0u, boxes.count());
  unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
