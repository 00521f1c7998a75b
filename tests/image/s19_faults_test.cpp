// Every failure of the converter: the fault number, and no output left.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "encoding/fault.h"
#include "image/s19_converter.h"
#include "tests/image/s19_test_support.h"
#include "tests/support/host.h"

namespace torvane {
namespace {

namespace fs = std::filesystem;
using test::bytes;
using test::readFile;
using test::srec;
using test::writeFile;

class ConvertS19FaultTest : public test::ScratchDirectory {
 protected:
  // Old outputs that every failing conversion must remove.
  void writeOldOutputs() {
    writeFile("code.bin", "old code");
    writeFile("vector.bin", "old vector");
  }
  // Converts and returns the fault; fails the test when there is none.
  Fault convertExpectingFault(const std::string& name) {
    try {
      ConvertS19(name, ".");
    } catch (const Fault& f) {
      return f;
    }
    ADD_FAILURE() << "no fault";
    return Fault(0, "", "");
  }
  static bool exists(const char* name) { return fs::exists(fs::symlink_status(name)); }
};

TEST_F(ConvertS19FaultTest, badRecord_throwsWithLineNumberAndLeavesNoOutput) {
  struct Row {
    const char* name;
    std::vector<std::string> lines;
    int32_t number;
    int line;
  };
  const std::vector<Row> rows{
      {"line shorter than its count", {"S1090E000102030405"}, fault::kInvalidArgument, 1},
      {"count field missing", {"S00600004844521B", "S1"}, fault::kInvalidArgument, 2},
      {"address field cut", {srec('1', 0x0E00, bytes({1})), "S105"}, fault::kInvalidArgument, 2},
      {"last data byte half there", {"S1050E00010"}, fault::kInvalidArgument, 1},
      {"S1 runs past 0x10000", {srec('1', 0xFFFF, bytes({1, 2, 3}))}, fault::kSubscriptOutOfRange, 1},
      {"S2 starts above 0x10000", {"", "", srec('2', 0x010001, bytes({1}))}, fault::kSubscriptOutOfRange, 3},
      {"S2 at 0xFFFFFF", {srec('2', 0xFFFFFF, bytes({1}))}, fault::kSubscriptOutOfRange, 1},
      {"S3 first address byte 0x80", {srec('3', 0x80000000u, bytes({1}))}, fault::kOverflow, 1},
      {"S3 first address byte 0xFF", {srec('3', 0xFF001234u, bytes({1}))}, fault::kOverflow, 1},
      {"S3 address overflows before a short line ends", {"S305800000"}, fault::kOverflow, 1},
      {"S3 record ends past 0x7FFFFFFF", {srec('3', 0x7FFFFFFF, bytes({1, 2}))}, fault::kOverflow, 1},
      {"S3 record ends past 0x7FFFFFFF by more", {srec('3', 0x7FFFFFF0, ByteString(20, 'x'))}, fault::kOverflow, 1},
      {"S3 record ending at 0x7FFFFFFF", {srec('3', 0x7FFFFFFF, bytes({1}))}, fault::kSubscriptOutOfRange, 1},
      {"S3 just above the image",
       {srec('1', 0x0E00, bytes({1})), srec('3', 0x00010001, bytes({1}))},
       fault::kSubscriptOutOfRange,
       2},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    writeOldOutputs();
    std::string text;
    for (const auto& line : row.lines) text += line + "\r\n";
    writeFile("in.s19", text);
    const Fault f = convertExpectingFault("in.s19");
    EXPECT_EQ(f.number(), row.number);
    EXPECT_EQ(f.source(), "ConvertS19");
    EXPECT_NE(f.description().find("(line " + std::to_string(row.line) + ")"), std::string::npos) << f.description();
    EXPECT_FALSE(exists("code.bin"));
    EXPECT_FALSE(exists("vector.bin"));
  }
}

TEST_F(ConvertS19FaultTest, inputMissingOrUnusable_throwsFileFaultAfterRemovingOldOutputs) {
  fs::create_directory("folder.s19");
  const std::pair<std::string, int32_t> rows[] = {
      {"missing.s19", fault::kFileNotFound},
      {"no/such/dir/in.s19", fault::kFileNotFound},
      {"folder.s19", fault::kFileAccess},
      {"", fault::kBadFileName},
  };
  for (const auto& [name, number] : rows) {
    SCOPED_TRACE(name);
    writeOldOutputs();
    const Fault f = convertExpectingFault(name);
    EXPECT_EQ(f.number(), number) << f.description();
    EXPECT_NE(f.description().find(name), std::string::npos);
    EXPECT_FALSE(exists("code.bin"));
    EXPECT_FALSE(exists("vector.bin"));
  }
}

TEST_F(ConvertS19FaultTest, codeBinIsDirectory_faultsBeforeReadingInput) {
  fs::create_directory("code.bin");
  // The input does not exist: a file-not-found fault would mean it was read.
  const Fault f = convertExpectingFault("missing.s19");
  EXPECT_EQ(f.number(), fault::kFileAccess);
  EXPECT_NE(f.description().find("code.bin"), std::string::npos);
  EXPECT_TRUE(fs::is_directory("code.bin"));
  EXPECT_FALSE(exists("vector.bin"));
}

TEST_F(ConvertS19FaultTest, vectorBinIsDirectory_faultsAndRemovesOldCode) {
  writeFile("code.bin", "old code");
  fs::create_directory("vector.bin");
  writeFile("vector.bin/inside", "x");
  writeFile("in.s19", "S1040E0007E6\r\n");
  const Fault f = convertExpectingFault("in.s19");
  EXPECT_EQ(f.number(), fault::kFileAccess);
  EXPECT_FALSE(exists("code.bin"));
  EXPECT_TRUE(fs::exists("vector.bin/inside"));
}

// Runs in a child process without root rights (root may delete and read any
// file); the child exits with the fault number of each conversion.
TEST_F(ConvertS19FaultTest, undeletableOldOutputOrUnreadableInput_throwsPermissionDenied) {
  writeFile("in.s19", "S1040E0007E6\r\n");
  fs::create_directory("locked");
  writeFile("locked/code.bin", "old code");
  const auto readOnly = fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read | fs::perms::group_exec |
                        fs::perms::others_read | fs::perms::others_exec;
  fs::permissions(dir(), readOnly);
  fs::permissions("locked", readOnly);
  fs::permissions("in.s19", fs::perms::none);
  auto faultNumber = [](const std::string& name) {
    try {
      ConvertS19(name, ".");
    } catch (const Fault& f) {
      return f.number();
    }
    return 0;
  };
  EXPECT_EXIT(
      {
        if (test::runningAsRoot() && !test::dropRootRights()) std::_Exit(100);
        fs::current_path("locked");
        if (faultNumber("../missing.s19") != fault::kPermissionDenied) std::_Exit(101);  // input never read
        if (!fs::exists("code.bin")) std::_Exit(102);
        fs::current_path("..");
        const int32_t unreadable = faultNumber("in.s19");
        std::_Exit(!fs::exists("code.bin") && !fs::exists("vector.bin") ? unreadable : 103);
      },
      ::testing::ExitedWithCode(fault::kPermissionDenied), "");
  fs::permissions(dir(), fs::perms::owner_all);
  fs::permissions("locked", fs::perms::owner_all);
}

// Output writes that fail part-way (file size limit) leave no output file.
TEST_F(ConvertS19FaultTest, writeFails_removesWhatWasWritten) {
  // 600 bytes of code: code.bin (608 bytes) exceeds a 100-byte limit.
  std::string big;
  for (int at = 0; at < 600; at += 30) big += srec('1', static_cast<uint32_t>(0x0E00 + at), ByteString(30, 'c')) + "\n";
  writeFile("big.s19", big);
  // 1 byte of code: code.bin (8 bytes) fits a 20-byte limit, vector.bin (52) does not.
  writeFile("small.s19", "S1040E0007E6\n");
  for (const char* name : {"big.s19", "small.s19"}) {
    SCOPED_TRACE(name);
    Fault f(0, "", "");
    {
      test::FileSizeLimit limit(std::string(name) == "big.s19" ? 100 : 20);
      f = convertExpectingFault(name);
    }
    EXPECT_EQ(f.number(), fault::kFileAccess) << f.description();
    EXPECT_FALSE(exists("code.bin"));
    EXPECT_FALSE(exists("vector.bin"));
  }
  // Without the limit both convert.
  EXPECT_EQ(ConvertS19("big.s19", ".").codeSize, 608u);
}

}  // namespace
}  // namespace torvane
