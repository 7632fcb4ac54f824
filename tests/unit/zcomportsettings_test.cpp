#include <gtest/gtest.h>

#include "ZEL_SYSTEM/ZComPortSettings.h"

namespace {

struct Expected {
  const char* port;
  int baudRate;
  int parity;
  int dataBits;
  int stopBits;
  const char* text;  // what toString gives afterwards
};

struct SetCase {
  const char* input;
  Expected expected;
};

class SettingsParse : public testing::TestWithParam<SetCase> {};

TEST_P(SettingsParse, StoresFieldsAndWritesThemBack) {
  const SetCase& c = GetParam();
  ZComPortSettings settings;
  settings.set(c.input);
  EXPECT_STREQ(c.expected.port, settings.port.getBuffer());
  EXPECT_EQ(c.expected.baudRate, settings.baudRate);
  EXPECT_EQ(c.expected.parity, settings.parity);
  EXPECT_EQ(c.expected.dataBits, settings.dataBits);
  EXPECT_EQ(c.expected.stopBits, settings.stopBits);
  EXPECT_STREQ(c.expected.text, settings.toString().getBuffer());
}

INSTANTIATE_TEST_SUITE_P(
    Texts, SettingsParse,
    testing::Values(
        SetCase{"", {"com1", 9600, 0, 8, 0, "COM1,9600,N,8,1"}},
        SetCase{"COM3,19200,N,8,1", {"com3", 19200, 0, 8, 0, "COM3,19200,N,8,1"}},
        SetCase{"com5,,e", {"com5", 9600, 2, 8, 0, "COM5,9600,E,8,1"}},
        SetCase{"lpt1,4800", {"com1", 4800, 0, 8, 0, "COM1,4800,N,8,1"}},
        SetCase{" com3,4800", {"com1", 4800, 0, 8, 0, "COM1,4800,N,8,1"}},
        SetCase{"com2,9600,x,7,3", {"com2", 9600, 0, 7, 0, "COM2,9600,N,7,1"}},
        SetCase{"com2,9600,odd,8,1.5", {"com2", 9600, 1, 8, 1, "COM2,9600,O,8,1.5"}},
        SetCase{"Com12,0x100,m,5,2,trailing,fields", {"com12", 256, 3, 5, 2, "COM12,256,M,5,2"}},
        SetCase{"com4,1200,s,8,1", {"com4", 1200, 4, 8, 0, "COM4,1200,S,8,1"}},
        // A device path is taken as written, and written back in its own case.
        SetCase{"/dev/ttyUSB0,19200,n,8,1", {"/dev/ttyUSB0", 19200, 0, 8, 0, "/dev/ttyUSB0,19200,N,8,1"}},
        SetCase{"/dev/pts/COMx", {"/dev/pts/COMx", 9600, 0, 8, 0, "/dev/pts/COMx,9600,N,8,1"}}));

TEST(ZComPortSettings, SecondSetResetsOmittedFieldsToDefaults) {
  ZComPortSettings settings;
  settings.set("com7,115200,E,7,2");
  settings.set("com8");
  EXPECT_STREQ("COM8,9600,N,8,1", settings.toString().getBuffer());
}

TEST(ZComPortSettings, CodesOutsideTheTablesLeaveTheirFieldsEmpty) {
  ZComPortSettings settings;
  settings.parity = 7;
  settings.stopBits = 5;
  EXPECT_STREQ("COM1,9600,,8,", settings.toString().getBuffer());
  settings.parity = -1;
  settings.stopBits = -1;
  EXPECT_STREQ("COM1,9600,,8,", settings.toString().getBuffer());
}

TEST(ZComPortSettings, DefaultsAndClassName) {
  ZComPortSettings settings;
  EXPECT_STREQ("COM1,9600,N,8,1", settings.toString().getBuffer());
  EXPECT_STREQ("ZComPortSettings", settings.getClassName());
}

}  // namespace
