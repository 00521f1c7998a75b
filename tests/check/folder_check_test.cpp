// The folder check against folders made for each case, and the check the
// window and the station make before a port opens.
#include "check/folder_check.h"

#include <gtest/gtest.h>

#include <functional>

#include "record/sha256.h"
#include "tests/support/scratch_folder.h"

namespace torvane::check {
namespace {

namespace fs = std::filesystem;

const std::string kCode(2000, 'c');
const std::string kVector(52, 'v');

// A release folder: two images, their lists, and SHA256SUMS as sha256sum writes it.
void writeGoodFolder() {
  test::writeFile("code.bin", kCode);
  test::writeFile("vector.bin", kVector);
  test::writeFile("program.txt", "code.bin\t1\t0x0E00\r\nvector.bin\t1\t0xFFCC\r\n");
  test::writeFile("SHA256SUMS", sha256Hex(kCode) + "  code.bin\n" + sha256Hex(kVector) + " *vector.bin\n");
}

struct Case {
  const char* name;
  std::function<void()> change;  // made to the good folder
  int errors;
  int warnings;
  const char* says;  // a part of the report's text; empty: none
};

TEST(FolderCheck, folders_giveTheirErrorsWarningsAndWhy) {
  const Case cases[] = {
      {"good folder", [] {}, 0, 0, "Nothing would fail"},
      {"one image changed", [] { test::writeFile("code.bin", kCode + "x"); }, 1, 0,
       "\"code.bin\" does not match SHA256SUMS"},
      {"one listed image missing", [] { fs::remove("vector.bin"); }, 1, 0, "\"vector.bin\" does not exist"},
      {"a line the run fails on", [] { test::writeFile("program.txt", "code.bin\t1\t0x12G4\r\n"); }, 1, 0,
       "address \"0x12G4\" is not a hexadecimal number"},
      {"overlapping ranges", [] { test::writeFile("program.txt", "code.bin 1 0x0E00\r\nvector.bin 1 0x0F00\r\n"); }, 0,
       1, "overlaps \"code.bin\""},
      {"no SHA256SUMS", [] { fs::remove("SHA256SUMS"); }, 0, 0, "no SHA256SUMS"},
      {"an image SHA256SUMS leaves out", [] { test::writeFile("SHA256SUMS", sha256Hex(kCode) + "  code.bin\n"); }, 1, 0,
       "\"vector.bin\" is not listed in SHA256SUMS"},
      {"memory type outside 1..3 and an empty image",
       [] {
         test::writeFile("empty.bin", "");
         test::writeFile("program.txt", "code.bin 7 0\r\nempty.bin 2 0\r\n");
         fs::remove("SHA256SUMS");
       },
       1, 1, "memory type 7 is none of"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::ScratchWorkingFolder folder("torvane-check");
    writeGoodFolder();
    c.change();
    const FolderReport report = checkFolder(folder.dir());
    EXPECT_EQ(report.errors(), c.errors);
    EXPECT_EQ(report.warnings(), c.warnings);
    const std::string text = reportText(report);
    EXPECT_NE(text.find(c.says), std::string::npos) << text;
    EXPECT_NE(reportJson(report).find("\"errors\":" + std::to_string(c.errors)), std::string::npos);
  }
}

TEST(FolderCheck, goodFolder_listsEachImageWithSizeFramesDigestAndTheTransferTime) {
  test::ScratchWorkingFolder folder("torvane-check");
  writeGoodFolder();
  const FolderReport report = checkFolder(folder.dir());
  ASSERT_EQ(report.lists.size(), 1u);
  const ListReport& list = report.lists[0];
  ASSERT_EQ(list.images.size(), 2u);
  EXPECT_EQ(list.images[0].planned.size, 2000);
  EXPECT_EQ(list.images[0].planned.frames(), 5);  // the address frame and four data frames
  EXPECT_EQ(list.images[1].sha256, sha256Hex(kVector));
  EXPECT_EQ(list.bytes, 2052);
  EXPECT_EQ(list.frames, 5 + 2 + 1);
  // 2 address frames, 5 data frames and the end frame, each with its verdict byte, at 3840 bytes a second.
  EXPECT_DOUBLE_EQ(list.seconds, (3 * 16 + 5 * 515) / 3840.0);
}

TEST(FolderCheck, beforeThePortOpens_onlyAFolderWithSha256sumsRefusesItsImages) {
  test::ScratchWorkingFolder folder("torvane-check");
  writeGoodFolder();
  EXPECT_FALSE(verifyAgainstSums(folder.dir(), "program.txt"));
  test::writeFile("code.bin", "changed");
  const std::optional<Fault> refused = verifyAgainstSums(folder.dir(), "program.txt");
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->number(), fault::kUpdateRefused);
  EXPECT_NE(refused->description().find("\"code.bin\" does not match SHA256SUMS"), std::string::npos);
  fs::remove("SHA256SUMS");
  EXPECT_FALSE(verifyAgainstSums(folder.dir(), "program.txt"));
}

TEST(Sha256Sums, lines_asSha256sumWritesThem) {
  const std::string d(64, 'a');
  const Sha256Sums sums = parseSha256Sums(d + "  ./a.bin\n" + std::string(64, 'B') + " *sub/b.bin\r\n\\" + d +
                                          "  c\\\\d.bin\n" + d + " x.bin\nnot a line\n" + d + "  a.bin\n");
  EXPECT_EQ(sums.digestOf("a.bin"), d);
  EXPECT_EQ(sums.digestOf("sub/b.bin"), std::string(64, 'b'));
  EXPECT_EQ(sums.digestOf("c\\d.bin"), d);
  EXPECT_FALSE(sums.digestOf("x.bin"));
  ASSERT_EQ(sums.problems.size(), 2u);  // one blank between digest and name, and a line that is none
  EXPECT_EQ(sums.problems[0].rfind("SHA256SUMS line 4: ", 0), 0u) << sums.problems[0];
}

}  // namespace
}  // namespace torvane::check
