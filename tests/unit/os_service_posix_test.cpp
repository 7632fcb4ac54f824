// The service manager on POSIX, against a stand-in for the service manager's program.
#include "ZEL_OS/OsService.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "ZEL_OS/OsError.h"
#include "ZEL_OS/OsFileSystem.h"
#include "tests/support/FakeSystemctl.h"

namespace {

class OsService : public ::testing::Test {
 protected:
  void SetUp() override {
    scm = zos::scmOpen("", "", zos::serviceGenericRead);
    ASSERT_NE(scm, nullptr);
  }
  void TearDown() override { zos::serviceCloseHandle(scm); }

  // Opens, runs the step and closes again.
  template <typename Step>
  bool withService(const char* name, Step step) {
    zos::Handle service = zos::serviceOpen(scm, name, zos::serviceGenericRead);
    if (!service) return false;
    bool ok = step(service);
    zos::serviceCloseHandle(service);
    return ok;
  }

  FakeSystemctl fake;
  zos::Handle scm = nullptr;
};

TEST(OsServiceManager, NeedsTheManagersProgram) {
  zos::setEnvironmentVariable("KALMO_SYSTEMCTL", "/nonexistent/systemctl");
  EXPECT_EQ(zos::scmOpen(nullptr, nullptr, zos::serviceGenericRead), nullptr);
  EXPECT_EQ(zos::lastError(), ENOENT);
  zos::setEnvironmentVariable("KALMO_SYSTEMCTL", nullptr);
  FakeSystemctl fake;
  EXPECT_EQ(zos::scmOpen("otherhost", "", zos::serviceGenericRead), nullptr);
  zos::Handle scm = zos::scmOpen(nullptr, nullptr, zos::serviceGenericRead);
  EXPECT_NE(scm, nullptr);
  zos::serviceCloseHandle(scm);
}

TEST_F(OsService, OpensOnlyKnownUnits) {
  fake.addUnit("known");
  zos::Handle service = zos::serviceOpen(scm, "known", zos::serviceGenericRead);
  EXPECT_NE(service, nullptr);
  zos::serviceCloseHandle(service);
  EXPECT_EQ(zos::serviceOpen(scm, "unknown", zos::serviceGenericRead), nullptr);
  EXPECT_EQ(zos::lastError(), ENOENT);
  for (const char* bad : {"", "../etc", "two words", "line\nbreak"})
    EXPECT_EQ(zos::serviceOpen(scm, bad, zos::serviceGenericRead), nullptr) << bad;
  EXPECT_NE(fake.calls().find("show -p LoadState known.service"), std::string::npos);
}

TEST_F(OsService, MapsTheUnitStateToAServiceState) {
  struct Case {
    const char* active;
    const char* sub;
    unsigned state;
  } cases[] = {
      {"active", "running", zos::serviceStateRunning},
      {"active", "exited", zos::serviceStateStopped},
      {"activating", "start", zos::serviceStateStartPending},
      {"deactivating", "stop-sigterm", zos::serviceStateStopPending},
      {"inactive", "dead", zos::serviceStateStopped},
      {"failed", "failed", zos::serviceStateStopped},
  };
  for (const Case& c : cases) {
    fake.addUnit("probe", c.active, c.sub);
    unsigned state = 0;
    EXPECT_TRUE(withService("probe", [&](zos::Handle s) { return zos::serviceQueryState(s, state); }));
    EXPECT_EQ(state, c.state) << c.active << "/" << c.sub;
  }
}

TEST_F(OsService, StartsStopsAndSendsControls) {
  fake.addUnit("daemon", "active", "running");
  auto control = [&](unsigned code) {
    return withService("daemon", [&](zos::Handle s) { return zos::serviceControl(s, code); });
  };
  EXPECT_TRUE(withService("daemon", [](zos::Handle s) { return zos::serviceStart(s, 0, nullptr); }));
  EXPECT_TRUE(control(zos::serviceControlStop));
  EXPECT_TRUE(control(zos::serviceControlPause));
  EXPECT_TRUE(control(zos::serviceControlContinue));
  EXPECT_TRUE(control(zos::serviceControlInterrogate));
  EXPECT_TRUE(control(zos::serviceControlParamChange));
  std::string calls = fake.calls();
  for (const char* expected :
       {"start daemon.service", "stop daemon.service", "kill -s SIGSTOP daemon.service",
        "kill -s SIGCONT daemon.service", "show -p ActiveState daemon.service",
        "reload daemon.service"})
    EXPECT_NE(calls.find(expected), std::string::npos) << expected;

  EXPECT_FALSE(control(200));
  EXPECT_EQ(zos::lastError(), EINVAL);
  fake.failVerb("start");
  EXPECT_FALSE(withService("daemon", [](zos::Handle s) { return zos::serviceStart(s, 0, nullptr); }));
  EXPECT_EQ(zos::lastError(), EIO);
}

TEST_F(OsService, CreatesDescribesAndDeletesAUnit) {
  std::string unitFile = fake.unitDirectory() + "/tool.service";
  zos::Handle service = zos::serviceCreate(scm, "tool", "The tool\r\nInjected=1", 0, 0x10, 3, 1,
                                           "/opt/tool --run 100%", "", nullptr, "", "", "");
  ASSERT_NE(service, nullptr);
  zos::serviceCloseHandle(service);
  std::string text = ScratchDirectory::read(unitFile);
  EXPECT_NE(text.find("Description=The tool  Injected=1\n"), std::string::npos) << text;
  EXPECT_NE(text.find("ExecStart=/opt/tool --run 100%%\n"), std::string::npos) << text;
  EXPECT_NE(fake.calls().find("daemon-reload"), std::string::npos);

  // It exists now.
  EXPECT_EQ(zos::serviceCreate(scm, "tool", "", 0, 0x10, 3, 1, "/opt/tool", "", nullptr, "", "", ""),
            nullptr);
  EXPECT_EQ(zos::lastError(), EEXIST);

  EXPECT_TRUE(withService("tool", [](zos::Handle s) { return zos::serviceSetDescription(s, "Neu"); }));
  text = ScratchDirectory::read(unitFile);
  EXPECT_NE(text.find("[Unit]\nDescription=Neu\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("The tool"), std::string::npos);

  EXPECT_TRUE(withService("tool", [](zos::Handle s) { return zos::serviceDelete(s); }));
  EXPECT_FALSE(std::filesystem::exists(unitFile));
  EXPECT_EQ(zos::serviceOpen(scm, "tool", zos::serviceGenericRead), nullptr);
}

TEST_F(OsService, CreateRefusesWhatCannotBeAUnit) {
  for (const char* name : {"", "a/b", "x\ny"})
    EXPECT_EQ(zos::serviceCreate(scm, name, "", 0, 0x10, 3, 1, "/bin/true", "", nullptr, "", "", ""),
              nullptr)
        << name;
  EXPECT_EQ(zos::serviceCreate(scm, "ok", "", 0, 0x10, 3, 1, "/bin/true\nExecStartPre=/bin/evil", "",
                               nullptr, "", "", ""),
            nullptr);
  EXPECT_EQ(zos::serviceCreate(scm, "ok", "", 0, 0x10, 3, 1, "", "", nullptr, "", "", ""), nullptr);
  EXPECT_FALSE(std::filesystem::exists(fake.unitDirectory() + "/ok.service"));
}

TEST_F(OsService, AnAutomaticStartEnablesTheUnit) {
  zos::Handle service = zos::serviceCreate(scm, "auto", "Auto", 0, 0x10, zos::serviceAutoStart, 1,
                                           "/bin/true", "", nullptr, "", "", "");
  ASSERT_NE(service, nullptr);
  zos::serviceCloseHandle(service);
  EXPECT_NE(fake.calls().find("enable auto.service"), std::string::npos);
}

TEST_F(OsService, UnitsOfTheSystemKeepTheirFiles) {
  fake.addUnit("vendor");
  EXPECT_FALSE(withService("vendor", [](zos::Handle s) { return zos::serviceDelete(s); }));
  EXPECT_EQ(zos::lastError(), EPERM);
  // Their description comes from a drop-in file.
  EXPECT_TRUE(withService("vendor", [](zos::Handle s) { return zos::serviceSetDescription(s, "D"); }));
  EXPECT_EQ(ScratchDirectory::read(fake.unitDirectory() + "/vendor.service.d/description.conf"),
            "[Unit]\nDescription=D\n");
}

TEST_F(OsService, EnumeratesInTwoCallsWhenTheBufferIsSmall) {
  std::vector<std::string> expected;
  for (int i = 0; i < 60; ++i) {
    std::string name = "service" + std::string(i < 10 ? "0" : "") + std::to_string(i);
    if (i == 0)
      fake.addUnit(name, "failed", "failed");  // listed with a mark in front
    else
      fake.addUnit(name, i % 2 ? "active" : "inactive", i % 2 ? "running" : "dead");
    expected.push_back(name);
  }
  zos::Handle created = zos::serviceCreate(scm, "zz-created", "", 0, 0x10, 3, 1, "/bin/true", "",
                                           nullptr, "", "", "");
  zos::serviceCloseHandle(created);
  expected.push_back("zz-created");

  std::vector<char> buffer(1024);
  unsigned needed = 0, count = 0, resume = 0;
  std::vector<std::string> names;
  ASSERT_EQ(zos::serviceEnumerate(scm, zos::serviceWin32, zos::serviceStateAll, buffer.data(),
                                  1024, needed, count, resume),
            zos::ServiceEnumResult::moreData);
  for (unsigned i = 0; i < count; ++i) names.push_back(zos::serviceEnumName(buffer.data(), i));
  EXPECT_GT(count, 0u);
  EXPECT_LT(count, 61u);
  buffer.assign(needed, 0);
  ASSERT_EQ(zos::serviceEnumerate(scm, zos::serviceWin32, zos::serviceStateAll, buffer.data(),
                                  needed, needed, count, resume),
            zos::ServiceEnumResult::complete);
  for (unsigned i = 0; i < count; ++i) names.push_back(zos::serviceEnumName(buffer.data(), i));
  EXPECT_EQ(names, expected);

  buffer.assign(4096, 0);
  resume = 0;
  ASSERT_EQ(zos::serviceEnumerate(scm, zos::serviceWin32, zos::serviceActive, buffer.data(), 4096,
                                  needed, count, resume),
            zos::ServiceEnumResult::complete);
  EXPECT_EQ(count, 30u);
  EXPECT_STREQ(zos::serviceEnumName(buffer.data(), 0), "service01");
}

}  // namespace
