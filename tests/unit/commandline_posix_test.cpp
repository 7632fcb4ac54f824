// The command line as the application basics see it, for a program started with awkward
// arguments: this program starts itself again with them and the copy checks its parameters.
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "ZEL_OS/OsCommandLine.h"
#include "ZEL_UTIL/ZApplicationBasic.h"
#include "ZEL_UTIL/ZStringList.h"
#include "tests/support/ZStringBytes.h"

namespace {


TEST(CommandLine, ArgumentsComeBackWhole) {
  std::string self = bytesOf(zelApplication.programPath);
  ASSERT_FALSE(self.empty());
  std::string command = "KALMO_COMMANDLINE_CHILD=1 '" + self +
                        "' --gtest_filter=CommandLineChild.* 'two words' '' plain '\t tab' 'fw\"1.hex' -n";
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
}

TEST(CommandLineChild, SeesItsParameters) {
  if (std::getenv("KALMO_COMMANDLINE_CHILD") == nullptr) GTEST_SKIP() << "runs in the started copy only";
  ZStringList& params = zelApplication.params;
  ASSERT_EQ(params.getCount(), 8) << zos::commandLine();
  EXPECT_EQ(bytesOf(params.getAt(1)), "--gtest_filter=CommandLineChild.*");
  EXPECT_EQ(bytesOf(params.getAt(2)), "two words");
  EXPECT_EQ(bytesOf(params.getAt(3)), "");
  EXPECT_EQ(bytesOf(params.getAt(4)), "plain");
  EXPECT_EQ(bytesOf(params.getAt(5)), "\t tab");  // each argument as the system handed it over
  EXPECT_EQ(bytesOf(params.getAt(6)), "fw\"1.hex");  // a lone double quote takes nothing with it
  EXPECT_EQ(bytesOf(params.getAt(7)), "-n");
  EXPECT_EQ(bytesOf(zelApplication.programPath), bytesOf(params.getAt(0)));
}

}  // namespace
