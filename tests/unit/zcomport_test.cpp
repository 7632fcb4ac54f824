// The serial port without a device: what a closed port answers, and its saved states.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "ZEL_SYSTEM/ZComPort.h"
#include "tests/support/MessageBoxCapture.h"

namespace {

const char writeClosedText[] =
    "Fehler beim Schreiben auf den COM-Port: Zugriff auf nicht ge\xF6" "ffneten Port.\r\n"
    "Bitte verwenden Sie zuerst ZComPort::open(..)";
const char readClosedText[] =
    "Fehler beim Lesen vom COM-Port: Zugriff auf nicht ge\xF6" "ffneten Port.\r\n"
    "Bitte verwenden Sie zuerst ZComPort::open(..)";

zos::WindowHandle windowNumber(std::intptr_t number) { return reinterpret_cast<zos::WindowHandle>(number); }

TEST(ZComPortClosed, WritesFailWithTheWriteText) {
  ZComPort port;
  const unsigned char bytes[] = {1, 2, 3};
  EXPECT_EQ(0, port.write(bytes, 3));
  EXPECT_STREQ(writeClosedText, port.errorText.getBuffer());
  port.errorText = "";
  EXPECT_EQ(0, port.write(ZString("text")));
  EXPECT_STREQ(writeClosedText, port.errorText.getBuffer());
  port.errorText = "";
  EXPECT_EQ(0, port.writeByte(0x141));
  EXPECT_STREQ(writeClosedText, port.errorText.getBuffer());
}

TEST(ZComPortClosed, ReadsGiveZeroAndOnlyReadByteSetsItsText) {
  ZComPort port;
  port.errorText = "earlier";
  ZMem out;
  EXPECT_EQ(0, port.readCount(out, 20, 1));
  ZString text;
  EXPECT_EQ(0, port.readString(text, 20, "\n"));
  EXPECT_EQ(0, port.readStringCount(text, 20, 2));
  EXPECT_STREQ("earlier", port.errorText.getBuffer());

  EXPECT_EQ(0, port.readByte(20));
  EXPECT_STREQ(readClosedText, port.errorText.getBuffer());
}

TEST(ZComPortClosed, CountZeroSucceedsWithoutAPort) {
  ZComPort port;
  ZMem out;
  EXPECT_EQ(1, port.readCount(out, 1000, 0));
  EXPECT_EQ(0, out.getSize());
}

TEST(ZComPortClosed, PurgeEmptiesTheReceiveBuffer) {
  ZComPort port;
  port.receiveBuffer.put('a');
  port.receiveBuffer.put('b');
  port.purge();
  EXPECT_EQ(0, port.receiveBuffer.getAvailable());
  port.close(0);  // nothing to close
  EXPECT_FALSE(port.isOpen());
}

TEST(ZComPortClosed, SetStateShowsTheNotOpenBox) {
  testsupport::MessageBoxCapture boxes;
  ZComPort port;
  EXPECT_EQ(0, port.setState("com2,4800,E,7,2"));
  ASSERT_EQ(1u, boxes.count());
  EXPECT_EQ("ZComPort::_setState(..) Zugriff auf nicht ge\xF6" "ffneten Port.", boxes.last().text);
  EXPECT_EQ("Fehler !", boxes.last().caption);
  EXPECT_EQ(0x10u, boxes.last().style);
  EXPECT_STREQ("COM2,4800,E,7,2", port.settings.toString().getBuffer());
}

TEST(ZComPortClosed, OpenOfAMissingPortKeepsTheNameAndTheWindow) {
  ZComPort port;
  EXPECT_EQ(0, port.open("COM250", windowNumber(12)));
  EXPECT_FALSE(port.isOpen());
  EXPECT_STREQ("COM250", port.settings.port.getBuffer());
  EXPECT_EQ(windowNumber(12), port.notifyWindow);
  EXPECT_STREQ("Der Port COM250 konnte nicht ge\xF6" "ffnet werden.", port.errorText.getBuffer());
}

TEST(ZComPortClosed, SavedStatesComeBackLastFirst) {
  ZComPort port;
  port.saveState();
  ASSERT_EQ(1, port.savedStates.getCount());
  EXPECT_STREQ("0,0000000000000000,COM1,9600,N,8,1", port.savedStates.getAt(0).getBuffer());

  port.settings.set("com7,115200,O,7,2");
  port.notifyWindow = windowNumber(4711);
  port.saveState();
  EXPECT_STREQ("0,0000000000004711,COM7,115200,O,7,2", port.savedStates.getAt(1).getBuffer());

  port.settings.set("com3");
  port.notifyWindow = nullptr;
  EXPECT_EQ(1, port.restore());
  EXPECT_STREQ("COM7,115200,O,7,2", port.settings.toString().getBuffer());
  EXPECT_EQ(windowNumber(4711), port.notifyWindow);
  EXPECT_FALSE(port.isOpen());

  EXPECT_EQ(1, port.restore());
  EXPECT_STREQ("COM1,9600,N,8,1", port.settings.toString().getBuffer());
  EXPECT_EQ(nullptr, port.notifyWindow);

  EXPECT_EQ(0, port.restore());  // nothing saved any more
  port.savedStates.add("");
  EXPECT_EQ(0, port.restore());  // an empty state leads nowhere
  EXPECT_EQ(0, port.savedStates.getCount());
}

TEST(ZComPortClosed, ADevicePathSurvivesItsSavedState) {
  ZComPort port;
  port.settings.set("/dev/ttyUSB0,19200,N,8,1");
  port.saveState();
  EXPECT_STREQ("0,0000000000000000,/dev/ttyUSB0,19200,N,8,1", port.savedStates.getAt(0).getBuffer());
  port.settings.setDefaults();
  EXPECT_EQ(1, port.restore());
  EXPECT_STREQ("/dev/ttyUSB0", port.settings.port.getBuffer());
  EXPECT_EQ(19200, port.settings.baudRate);
}

TEST(ZComPortClosed, ClassName) {
  ZComPort port;
  EXPECT_STREQ("ZComPort", port.getClassName());
}

}  // namespace
