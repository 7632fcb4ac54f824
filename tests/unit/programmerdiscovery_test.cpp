// Finding the programmer's port. Linux: on a device tree made for the test. Windows: with
// driver services and serial port registry values that the test makes in its own prefix.
#include "app/ProgrammerDiscovery.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "ZEL_OS/OsDiscovery.h"
#include "ZEL_OS/OsDiscoveryTesting.h"
#include "ZEL_OS/OsFileSystem.h"
#include "ZEL_SYSTEM/ZServiceManager.h"
#include "tests/support/MessageBoxCapture.h"
#include "tests/support/ScratchDirectory.h"
#include "tests/support/ZStringBytes.h"

namespace fs = std::filesystem;

namespace {


bool driverServices() { return zos::bridgeDriverModel() == zos::DriverModel::services; }

const char* const driverServiceNames[] = {"silabenm", "silabser", "slabbus", "slabser"};
const char* const testValues[] = {"\\Device\\Slabser0", "\\Device\\SILABSER3"};

class ProgrammerDiscovery : public ::testing::Test {
 protected:
  void SetUp() override {
    zos::setEnvironmentVariable("KALMO_PORT", nullptr);
    if (driverServices()) {
      removeWindowsDriver();
    } else {
      zos::setDeviceRoots({tree / "sys", tree / "lib/modules", "/dev", "6.1.0-test"});
      fs::create_directories(tree.path() / "sys/bus/usb-serial/drivers/ftdi_sio/ttyUSB0");
      fs::create_directories(tree.path() / "sys/class/tty/ttyS0");
      fs::create_directories(tree.path() / "lib/modules/6.1.0-test");
    }
  }
  void TearDown() override {
    zos::setEnvironmentVariable("KALMO_PORT", nullptr);
    if (driverServices())
      removeWindowsDriver();
    else
      zos::setDeviceRoots({});
  }

  void removeWindowsDriver() {
    ZServiceManager manager;
    for (const char* name : driverServiceNames) manager.deleteService(name);
    for (const char* value : testValues) zos::serialCommDeleteValue(value);
  }

  // The services a driver of the given generation installs (they cannot run in the test).
  void installServices(const std::vector<const char*>& names) {
    ZServiceManager manager;
    for (const char* name : names)
      ASSERT_EQ(manager.CreateService(name, name, "C:\\windows\\system32\\drivers\\null.sys"), 1);
  }

  void installKernelDriver() { tree.write("lib/modules/6.1.0-test/modules.builtin", "kernel/drivers/usb/serial/cp210x.ko\n"); }
  void registerKernelDriver(const std::vector<std::string>& ttys) {
    fs::create_directories(tree.path() / "sys/bus/usb-serial/drivers/cp210x");
    for (const std::string& tty : ttys) fs::create_directories(tree.path() / "sys/bus/usb-serial/drivers/cp210x" / tty);
  }

  ScratchDirectory tree;
  testsupport::MessageBoxCapture boxes;
};

TEST_F(ProgrammerDiscovery, APortFromTheEnvironmentNeedsNoDriver) {
  zos::setEnvironmentVariable("KALMO_PORT", "COM42");
  EXPECT_EQ(bytesOf(findProgrammerPort()), "COM42");
  zos::setEnvironmentVariable("KALMO_PORT", "");
  EXPECT_EQ(bytesOf(findProgrammerPort()), "");
}

TEST_F(ProgrammerDiscovery, NoDriverNoPort) {
  EXPECT_FALSE(isDriverInstalled());
  EXPECT_FALSE(isDriverActive());
  EXPECT_EQ(bytesOf(findProgrammerPort()), "");
}

TEST_F(ProgrammerDiscovery, AnIncompletePairIsNotInstalled) {
  if (!driverServices()) GTEST_SKIP() << "the kernel driver has no pairs";
  installServices({"silabenm"});
  EXPECT_FALSE(isDriverInstalled());
  installServices({"slabser"});
  EXPECT_FALSE(isDriverInstalled());
}

TEST_F(ProgrammerDiscovery, InstalledButNotRunningGivesNoPort) {
  if (driverServices()) {
    installServices({"slabbus", "slabser"});  // the second generation alone is enough
    ASSERT_TRUE(zos::serialCommSetValue(testValues[0], "COM7"));
  } else {
    installKernelDriver();
  }
  EXPECT_TRUE(isDriverInstalled());
  EXPECT_FALSE(isDriverActive());
  EXPECT_EQ(bytesOf(findProgrammerPort()), "");
}

TEST_F(ProgrammerDiscovery, ThePortOfTheDriverIsFound) {
  if (driverServices()) {
    // Wine has a built-in port of its own (\Device\Serial0): it is skipped.
    EXPECT_EQ(bytesOf(findDriverPort()), "");
    ASSERT_TRUE(zos::serialCommSetValue(testValues[0], "COM7"));
    EXPECT_EQ(bytesOf(findDriverPort()), "COM7");
  } else {
    installKernelDriver();
    registerKernelDriver({});
    EXPECT_TRUE(isDriverActive());
    EXPECT_EQ(bytesOf(findProgrammerPort()), "");  // no port: ttyS0 and another driver's ttyUSB0 do not count
    registerKernelDriver({"ttyUSB3"});
    EXPECT_EQ(bytesOf(findProgrammerPort()), "/dev/ttyUSB3");
  }
}

TEST_F(ProgrammerDiscovery, OfTwoPortsTheFirstWins) {
  if (driverServices()) {
    ASSERT_TRUE(zos::serialCommSetValue(testValues[0], "COM7"));
    ASSERT_TRUE(zos::serialCommSetValue(testValues[1], "COM9"));  // the service name in capitals
    // The first of the two in the registry's own order.
    std::string first;
    zos::Handle key = zos::serialCommOpen();
    ASSERT_NE(key, nullptr);
    for (unsigned i = 0; first.empty(); ++i) {
      char name[1024] = {0};
      unsigned char data[1024] = {0};
      unsigned nameSize = 1024, dataSize = 1024;
      if (zos::serialCommEnumValue(key, i, name, nameSize, data, dataSize) != 0) break;
      if (std::string(name) == testValues[0] || std::string(name) == testValues[1])
        first = reinterpret_cast<char*>(data);
    }
    zos::serialCommClose(key);
    EXPECT_EQ(bytesOf(findDriverPort()), first);
    zos::serialCommDeleteValue(first == "COM7" ? testValues[0] : testValues[1]);
    EXPECT_EQ(bytesOf(findDriverPort()), first == "COM7" ? "COM9" : "COM7");
  } else {
    installKernelDriver();
    registerKernelDriver({"ttyUSB10", "ttyUSB2"});
    EXPECT_EQ(bytesOf(findProgrammerPort()), "/dev/ttyUSB2");
  }
}

}  // namespace
