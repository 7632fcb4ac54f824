// The POSIX console, with a pseudo-terminal or a file in place of standard input and output.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "ZEL_OS/OsClock.h"
#include "ZEL_OS/OsConsole.h"
#include "tests/support/PosixPseudoTerminal.h"

namespace {

std::string temporaryFile(const std::string& name, const std::string& content) {
  std::filesystem::path path = std::filesystem::temp_directory_path() / name;
  std::ofstream(path, std::ios::binary) << content;
  return path.string();
}

std::string fileContent(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

TEST(OsConsole, AKeyOnATerminalComesWithoutEnterAndWithoutEcho) {
  zos::test::PseudoTerminal terminal;
  ASSERT_TRUE(terminal.isOpen());
  zos::test::StandardStreamOn input(0, terminal.slavePath());
  ASSERT_TRUE(input.ok());

  const struct {
    std::string typed;
    int key;
  } cases[] = {{"a", 'a'}, {"\r", 13}, {"\x1b[A", zos::KeySpecial}, {"\x1bOP", zos::KeySpecial}, {"\x1b", 0x1B}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.key);
    // Typed while readKey waits: what arrives before is taken in by the cooked terminal.
    std::thread typist([&] {
      zos::sleepMs(100);
      terminal.write(c.typed);
    });
    EXPECT_EQ(zos::readKey(), c.key);
    typist.join();
    EXPECT_TRUE(terminal.slaveIsCooked());  // switched back after the read
  }
  EXPECT_EQ(terminal.read(100, 50), "");  // nothing was echoed
}

TEST(OsConsole, KeysFromAFileAreItsBytesThenTheEnd) {
  std::string path = temporaryFile("kalmo_keys.txt", "x\n\x1b[A");
  {
    zos::test::StandardStreamOn input(0, path);
    ASSERT_TRUE(input.ok());
    EXPECT_EQ(zos::readKey(), 'x');
    EXPECT_EQ(zos::readKey(), '\n');
    EXPECT_EQ(zos::readKey(), 0x1B);  // no terminal: no escape sequences either
    EXPECT_EQ(zos::readKey(), '[');
    EXPECT_EQ(zos::readKey(), 'A');
    EXPECT_EQ(zos::readKey(), zos::KeyEndOfInput);
    EXPECT_EQ(zos::readKey(), zos::KeyEndOfInput);
  }
  std::remove(path.c_str());
}

TEST(OsConsole, ASignalDuringTheReadEndsTheProgramWithTheTerminalRestored) {
  zos::test::PseudoTerminal terminal;
  ASSERT_TRUE(terminal.isOpen());
  EXPECT_EXIT(
      {
        zos::test::StandardStreamOn input(0, terminal.slavePath());
        std::thread stopper([] {
          zos::sleepMs(200);
          std::raise(SIGTERM);
        });
        zos::readKey();
        stopper.join();
        std::exit(0);  // not reached: the signal ends the program
      },
      ::testing::KilledBySignal(SIGTERM), "");
  EXPECT_TRUE(terminal.slaveIsCooked());
}

TEST(OsConsole, ClearingWritesToATerminalOnly) {
  zos::test::PseudoTerminal terminal;
  ASSERT_TRUE(terminal.isOpen());
  {
    zos::test::StandardStreamOn output(1, terminal.slavePath());
    ASSERT_TRUE(output.ok());
    EXPECT_TRUE(zos::stdoutIsTerminal());
    zos::clearScreen();
    EXPECT_TRUE(zos::writeStdout("ok\x81", 3));
  }
  EXPECT_EQ(terminal.read(100, 500), "\x1b[H\x1b[2Jok\x81");

  std::string path = temporaryFile("kalmo_out.txt", "");
  {
    zos::test::StandardStreamOn output(1, path);
    ASSERT_TRUE(output.ok());
    EXPECT_FALSE(zos::stdoutIsTerminal());
    zos::clearScreen();
    EXPECT_TRUE(zos::writeStdout("a\0b", 3));
  }
  EXPECT_EQ(fileContent(path), std::string("a\0b", 3));
  std::remove(path.c_str());
}

TEST(OsConsole, TheLocaleDecidesWhetherTheTerminalShowsUtf8) {
  {
    zos::test::EnvironmentVariable all("LC_ALL", "C.UTF-8");
    EXPECT_TRUE(zos::localeUsesUtf8());
  }
  {
    zos::test::EnvironmentVariable all("LC_ALL", "C");
    EXPECT_FALSE(zos::localeUsesUtf8());
  }
}
