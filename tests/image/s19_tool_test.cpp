// The torvane-s19 command: output, exit status and its one-line faults.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/image/s19_test_support.h"
#include "tests/support/host.h"

namespace torvane {
namespace {

using test::readFile;
using test::writeFile;

struct ToolRun {
  int exitCode;
  std::string out;
  std::string err;
};

class S19ToolTest : public test::ScratchDirectory {
 protected:
  static ToolRun run(const std::string& arguments) {
    const std::string command =
        test::commandWord(std::string(TORVANE_BIN_DIR) + "/torvane-s19") + " " + arguments + " > tool.out 2> tool.err";
    const int exitCode = test::exitCodeOf(std::system(command.c_str()));
    EXPECT_NE(exitCode, -1) << command;
    return {exitCode, readFile("tool.out"), readFile("tool.err")};
  }
  static int lineCount(const std::string& text) {
    int n = 0;
    for (char c : text) n += c == '\n';
    return n;
  }
};

TEST_F(S19ToolTest, validFile_writesImagesAndReportsSizesHighestAndChecksum) {
  writeFile("app.s19", "S00600004844521B\r\nS1090E00010203040506D3\r\nS9030000FC\r\n");
  const ToolRun r = run("app.s19");
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_NE(r.out.find("code.bin: 8 bytes"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("highest address 0x0E05"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("checksum 0xD90C"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("vector.bin: 52 bytes"), std::string::npos) << r.out;
  EXPECT_EQ(readFile("code.bin"), test::bytes({1, 2, 3, 4, 5, 6, 0xD9, 0x0C}));
  EXPECT_EQ(readFile("vector.bin"), ByteString(52, '\0'));
}

TEST_F(S19ToolTest, badLineAsIs_printsOneLineWithFileCauseAndLineAndFails) {
  writeFile("bad.s19", "S1040E0007E6\r\nS1090E000102\r\n");
  const ToolRun r = run("--as-is bad.s19");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(lineCount(r.err), 1) << r.err;
  EXPECT_NE(r.err.find("bad.s19"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("Invalid procedure call or argument"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("(line 2)"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("[fault 5]"), std::string::npos) << r.err;
  EXPECT_FALSE(test::fs::exists("code.bin"));
  EXPECT_FALSE(test::fs::exists("vector.bin"));
}

// Input that is not S-records is refused by default, naming the line, and
// leaves no image behind (not even an old one); --as-is converts it as before.
TEST_F(S19ToolTest, notSRecords_areRefusedUnlessAsIs) {
  const struct {
    const char* name;
    std::string text;
    const char* why;
    bool asIsConverts;
  } rows[] = {
      {"empty", "", "holds no data record", true},
      {"random bytes", "\x8f\x01\xfe garbage\r\n", "does not start with S and a type digit (line 1)", true},
      {"leading tab", "\tS1130E00" + std::string(32, '0') + "DE\r\n", "does not start with S and a type digit (line 1)",
       true},
      {"non-hex digits", "S1040E00ZZE6\r\n", "\"Z\" at column 9 is not a hexadecimal digit (line 1)", true},
      {"lower-case record", "s1040e0007e6\r\n", "lower-case s (line 1)", true},
      {"wrong length", "S1040E0007E6AA\r\n", "the count byte says 4 bytes follow, the line holds 5 (line 1)", true},
      {"wrong checksum", "S1040E0007E5\r\n", "the checksum is 0xE5, the record's bytes give 0xE6 (line 1)", true},
      {"header only", "S00600004844521B\r\nS9030000FC\r\n", "holds no data record", true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    writeFile("code.bin", "old");
    writeFile("in.s19", row.text);
    const ToolRun strict = run("in.s19");
    EXPECT_EQ(strict.exitCode, 1);
    EXPECT_EQ(lineCount(strict.err), 1) << strict.err;
    EXPECT_NE(strict.err.find(row.why), std::string::npos) << strict.err;
    EXPECT_FALSE(test::fs::exists("code.bin"));
    EXPECT_FALSE(test::fs::exists("vector.bin"));
    EXPECT_EQ(run("--as-is in.s19").exitCode == 0, row.asIsConverts);
  }
}

TEST_F(S19ToolTest, missingFile_printsFileNotFoundAndFails) {
  const ToolRun r = run("nothing.s19");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(lineCount(r.err), 1) << r.err;
  EXPECT_NE(r.err.find("nothing.s19"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("File not found"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("[fault 53]"), std::string::npos) << r.err;
}

TEST_F(S19ToolTest, arguments_helpAndVersionSucceedWrongOnesGiveOneLineAndExit2) {
  for (const char* help : {"--help", "-h"}) {
    const ToolRun r = run(help);
    EXPECT_EQ(r.exitCode, 0) << help;
    for (const char* documented : {"FILE", "--as-is", "vector.bin", "Exit status", "Environment"}) {
      EXPECT_NE(r.out.find(documented), std::string::npos) << documented << " in " << r.out;
    }
  }
  const ToolRun version = run("--version");
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out.rfind("torvane-s19 ", 0), 0u) << version.out;
  for (const char* wrong : {"", "a.s19 b.s19", "--verbose", "-x a.s19"}) {
    const ToolRun r = run(wrong);
    EXPECT_EQ(r.exitCode, 2) << wrong;
    EXPECT_EQ(lineCount(r.err), 1) << wrong << ": " << r.err;
    EXPECT_NE(r.err.find("(see torvane-s19 --help)"), std::string::npos) << wrong << ": " << r.err;
    EXPECT_EQ(r.out, "");
  }
  EXPECT_FALSE(test::fs::exists("code.bin"));
}

TEST_F(S19ToolTest, fileNamedLikeAnOption_convertsAfterDoubleDash) {
  writeFile("-odd.s19", "S1040E0007E6\n");
  const ToolRun r = run("-- -odd.s19");
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(readFile("code.bin").size(), 8u);
}

}  // namespace
}  // namespace torvane
