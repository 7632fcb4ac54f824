// The parameters of the command line become command tokens in order; unknown ones are reported
// once, a missing file after "-b" at once.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/Console.h"
#include "app/KalmoApp.h"
#include "tests/support/ScratchDirectory.h"

namespace {

struct Classified {
  std::vector<std::string> tokens;
  int noVerify;
  std::string output;
  int filesFound;
};

Classified classify(const std::vector<std::string>& args) {
  std::string output;
  Console::setOutputHook([&](const std::string& bytes) { output += bytes; });
  ZStringList params;
  params.add("kalmo", false);
  for (const auto& arg : args) params.add(ZString(arg.c_str(), static_cast<int>(arg.size())), false);
  KalmoApp app;
  int filesFound = app.classifyParameters(params);
  Console::setOutputHook(nullptr);
  Classified result{{}, app.noVerify, output, filesFound};
  for (int i = 0; i < app.commands.getCount(); i++) {
    const ZString& token = app.commands.getAt(i);
    result.tokens.emplace_back(token.getBuffer(), token.getLength());
  }
  return result;
}

std::string unknownMessage(const std::string& list) {
  return "Folgende unbekannte Parameter wurden ignoriert: " + list + "\n" +
         "Following unknown Parameter was ignored: " + list + "\n";
}

struct Case {
  std::vector<std::string> args;
  std::vector<std::string> tokens;
  int noVerify;
  std::string output;
};

TEST(KalmoAppClassify, TokensFlagsAndMessages) {
  const Case cases[] = {
      {{"-mp"}, {"p"}, 0, ""},
      {{"-MP"}, {}, 0, unknownMessage("-MP")},
      {{"-mP"}, {"P"}, 0, ""},
      {{"-m"}, {""}, 0, ""},
      {{"-mprog"}, {"prog"}, 0, ""},
      {{"-pon", "-poff", "-r"}, {"+", "-", "r"}, 0, ""},
      {{"-ponx"}, {"+"}, 0, ""},
      {{"-reset"}, {"r"}, 0, ""},
      {{"-noverify"}, {}, 1, ""},
      {{"-p", "-px"}, {}, 0, unknownMessage("-p, -px")},
      {{"-x", "-y"}, {}, 0, unknownMessage("-x, -y")},
      {{"-x", "", "-y"}, {}, 0, unknownMessage("-x, , -y")},
      {{"", "-x"}, {}, 0, unknownMessage("-x")},
      {{"-pon", "-pon"}, {"+", "+"}, 0, ""},
      {{"-b"}, {}, 0, "Es wurde keine Datei zum Brennen angegeben.\nNo File for Flash specified.\n"},
      {{"-b", "-r"}, {}, 0, "Die Datei '-r' wurde nicht gefunden.\nFile '-r' not found.\n"},
      {{"-b", "100%d.hex"}, {}, 0,
       "Die Datei '100%d.hex' wurde nicht gefunden.\nFile '100%d.hex' not found.\n"},
  };
  for (const auto& c : cases) {
    std::string label;
    for (const auto& a : c.args) label += "[" + a + "]";
    SCOPED_TRACE(label);
    Classified r = classify(c.args);
    EXPECT_EQ(r.tokens, c.tokens);
    EXPECT_EQ(r.noVerify, c.noVerify);
    EXPECT_EQ(r.output, c.output);
  }
}

class KalmoAppClassifyFiles : public ::testing::Test {
 protected:
  ScratchDirectory scratch;
  const std::filesystem::path& dir = scratch.path();
  std::string file = scratch.write("prog with blanks.hex", ":00000001FF\n");
};

TEST_F(KalmoAppClassifyFiles, BurnTokenCarriesTheWholeNameAndNoVerifyAnywhere) {
  Classified r = classify({"-b", file, "-n"});
  EXPECT_EQ(r.tokens, std::vector<std::string>{"b|" + file});
  EXPECT_EQ(r.noVerify, 1);
  EXPECT_EQ(r.output, "");
  EXPECT_EQ(r.filesFound, 1);

  r = classify({"-n", "-mp", "-bx", file, "-r"});
  EXPECT_EQ(r.tokens, (std::vector<std::string>{"p", "b|" + file, "r"}));
  EXPECT_EQ(r.noVerify, 1);
}

TEST_F(KalmoAppClassifyFiles, MissingFileIsReportedAndTheOtherTokensStay) {
  std::string missing = (dir / "missing.hex").string();
  Classified r = classify({"-pon", "-b", missing, "-mp"});
  EXPECT_EQ(r.tokens, (std::vector<std::string>{"+", "p"}));
  EXPECT_EQ(r.output, "Die Datei '" + missing + "' wurde nicht gefunden.\nFile '" + missing + "' not found.\n");
  EXPECT_EQ(r.filesFound, 0);
}

TEST_F(KalmoAppClassifyFiles, WildcardsMatchAnExistingFile) {
  Classified r = classify({"-b", (dir / "prog*.hex").string()});
  ASSERT_EQ(r.tokens.size(), 1u);
  EXPECT_EQ(r.output, "");
}

TEST(KalmoConsole, Utf8ConversionShowsUmlautsAndTheUsageByte) {
  EXPECT_EQ(Console::toUtf8("ge\xF6" "ffnet \xDC \x81" "ber"), "ge\xC3\xB6" "ffnet \xC3\x9C \xC3\xBC" "ber");
  EXPECT_EQ(Console::toUtf8("plain\n"), "plain\n");
}

TEST(KalmoConsole, Utf8ConversionKeepsANameAsItCame) {
  const std::string name = "f\xC3\xBCr";
  EXPECT_EQ(Console::toUtf8Keeping("Port " + name + " ge\xF6" "ffnet, " + name, name),
            "Port " + name + " ge\xC3\xB6" "ffnet, " + name);
  EXPECT_EQ(Console::toUtf8Keeping("ge\xF6" "ffnet", ""), "ge\xC3\xB6" "ffnet");
  EXPECT_EQ(Console::toUtf8Keeping("ge\xF6" "ffnet", "/dev/x"), "ge\xC3\xB6" "ffnet");
}

}  // namespace
