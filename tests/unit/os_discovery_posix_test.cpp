// The bridge's kernel driver and its ports, on a device tree made for the test.
#include "ZEL_OS/OsDiscovery.h"
#include "ZEL_OS/OsDiscoveryTesting.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/ScratchDirectory.h"

namespace fs = std::filesystem;

namespace {

class OsDiscovery : public ::testing::Test {
 protected:
  void SetUp() override {
    zos::setDeviceRoots({tree / "sys", tree / "lib/modules", "/dev/fake", "6.1.0-test"});
    fs::create_directories(tree.path() / "sys/bus/usb-serial/drivers");
    fs::create_directories(tree.path() / "lib/modules/6.1.0-test/kernel/drivers/usb/serial");
  }
  void TearDown() override { zos::setDeviceRoots({}); }

  void registerDriver(const std::vector<std::string>& entries) {
    fs::path driver = tree.path() / "sys/bus/usb-serial/drivers/cp210x";
    fs::create_directories(driver);
    for (const std::string& entry : entries) fs::create_directories(driver / entry);
  }

  ScratchDirectory tree;
};

TEST_F(OsDiscovery, TheDriverIsInstalledAsModuleBuiltInOrLoaded) {
  EXPECT_FALSE(zos::kernelDriverInstalled("cp210x"));

  tree.write("lib/modules/6.1.0-test/modules.builtin", "kernel/drivers/usb/serial/cp2101.ko\n");
  EXPECT_FALSE(zos::kernelDriverInstalled("cp210x"));
  tree.write("lib/modules/6.1.0-test/modules.builtin",
             "kernel/drivers/tty/serial/8250.ko\nkernel/drivers/usb/serial/cp210x.ko\n");
  EXPECT_TRUE(zos::kernelDriverInstalled("cp210x"));
  fs::remove(tree.path() / "lib/modules/6.1.0-test/modules.builtin");

  tree.write("lib/modules/6.1.0-test/kernel/drivers/usb/serial/cp210x.ko.xz", "");
  EXPECT_TRUE(zos::kernelDriverInstalled("cp210x"));
  fs::remove(tree.path() / "lib/modules/6.1.0-test/kernel/drivers/usb/serial/cp210x.ko.xz");

  // Another release's module does not count.
  tree.write("lib/modules/5.10.0/kernel/drivers/usb/serial/cp210x.ko", "");
  EXPECT_FALSE(zos::kernelDriverInstalled("cp210x"));

  fs::create_directories(tree.path() / "sys/module/cp210x");
  EXPECT_TRUE(zos::kernelDriverInstalled("cp210x"));
}

TEST_F(OsDiscovery, TheDriverIsActiveWhenRegistered) {
  EXPECT_FALSE(zos::kernelDriverActive("cp210x"));
  registerDriver({});
  EXPECT_TRUE(zos::kernelDriverActive("cp210x"));
  EXPECT_FALSE(zos::kernelDriverActive("ftdi_sio"));
}

TEST_F(OsDiscovery, PortsAreTheDriversTtysInNameOrder) {
  EXPECT_TRUE(zos::kernelDriverPorts("cp210x").empty());
  registerDriver({"ttyUSB10", "ttyUSB2", "module", "bind"});
  std::vector<std::string> expected = {"/dev/fake/ttyUSB2", "/dev/fake/ttyUSB10"};
  EXPECT_EQ(zos::kernelDriverPorts("cp210x"), expected);
}

}  // namespace
