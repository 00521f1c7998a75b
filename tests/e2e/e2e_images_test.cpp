// Memory types, file sizes around the 512-byte block, a large file, and the
// two ways a transfer list ends a run early: a missing image file and a
// malformed line.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "tests/e2e/e2e_bench.h"
#include "tests/e2e/e2e_expect.h"

namespace torvane::e2e {
namespace {

TEST(E2eImages, memoryTypesOneToFourAndBlockEdgeSizes_arriveAsStored) {
  E2eBench bench;
  ASSERT_TRUE(bench.ok()) << bench.error();
  const std::vector<SentImage> sent = {
      {1, 0x8000, ""},                       // size 0: address frame only
      {2, 4096, patternBytes(1, 51)},        // one byte, 511 padding
      {3, 0x100000, patternBytes(511, 52)},  // padded with 0xFF
      {4, 0x7FFFFFFF, patternBytes(512, 53)},
      {1, 0, patternBytes(513, 54)},  // two frames, the second padded
      {3, 0xABCDEF, std::string(1024, '\xFF')},
  };
  const char* names[] = {"empty.bin", "one.bin", "dsd511.bin", "type4.bin", "code513.bin", "ff.bin"};
  for (std::size_t i = 0; i < sent.size(); ++i) bench.writeFile(names[i], sent[i].bytes);
  bench.writeFile("program.txt",
                  "empty.bin\t1\t0x8000\r\n"
                  "one.bin 2 4096\r\n"
                  "dsd511.bin\t3\t0x100000\r\n"
                  "type4.bin\t4\t2147483647\r\n"
                  "code513.bin 1 0\r\n"
                  "ff.bin\t\t 3\t 0xabcdef\r\n");
  ASSERT_TRUE(bench.startSim(1, {})) << bench.error();

  const Outcome run = bench.runUpdate(Source::Program, 1);
  const SimReport report = bench.stopSim();

  expectCompleted(run, report, sent);
  EXPECT_TRUE(run.sawStatus(" Status: Sending empty.bin (0 bytes) to Code(32768)"));
  EXPECT_TRUE(run.sawStatus(" Status: Sending one.bin (1 bytes) to MMC(4096)"));
  EXPECT_TRUE(run.sawStatus(" Status: Sending dsd511.bin (511 bytes) to DSD Flash(1048576)"));
  EXPECT_TRUE(run.sawStatus(" Status: Sending type4.bin (512 bytes) to "));
  EXPECT_TRUE(run.sawStatus(" Status: Sending code513.bin (513 bytes) to Code(0)"));
  // Frames: per file one address frame and ceil(size / 512) data frames, then the end frame.
  const std::size_t expectedFrames = (1 + 0) + (1 + 1) + (1 + 1) + (1 + 1) + (1 + 2) + (1 + 2) + 1;
  EXPECT_EQ(report.frames.size(), expectedFrames);
  for (const SimFrame& f : report.frames) {
    EXPECT_TRUE(f.crcOk) << "frame " << f.number;
    EXPECT_EQ(f.verdict, "ACK") << "frame " << f.number;
  }
}

TEST(E2eImages, fileOfAbout300KiB_arrivesWhole) {
  E2eBench bench;
  ASSERT_TRUE(bench.ok()) << bench.error();
  const std::string big = patternBytes(300 * 1024 + 77, 61);
  bench.writeFile("dsd.bin", big);
  bench.writeFile("all.txt", "dsd.bin\t3\t0x200000\r\n");
  ASSERT_TRUE(bench.startSim(1, {})) << bench.error();

  const Outcome run = bench.runUpdate(Source::ProgramAndDsd, 1);
  const SimReport report = bench.stopSim();

  expectCompleted(run, report, {{3, 0x200000, big}});
  EXPECT_EQ(report.frames.size(), 1u + 601u + 1u);
  EXPECT_EQ(bench.sim().savedImage(1), big);
  EXPECT_TRUE(run.sawStatus(" Status: Sending end of transmission (15 bytes, 603)\r\n  Waiting for acknowledgement"));
}

TEST(E2eImages, missingImageAfterTwoEntries_endsEarlyWithTheTwoSentAndNoEndFrame) {
  E2eBench bench;
  ASSERT_TRUE(bench.ok()) << bench.error();
  const std::string a = patternBytes(700, 71);
  const std::string b = patternBytes(100, 72);
  bench.writeFile("a.bin", a);
  bench.writeFile("b.bin", b);
  bench.writeFile("c.bin", patternBytes(100, 73));
  bench.writeFile("program.txt", "a.bin\t1\t0x8000\r\nb.bin\t2\t0x10\r\nmissing.bin\t1\t0x9000\r\nc.bin\t1\t0\r\n");
  ASSERT_TRUE(bench.startSim(1, {})) << bench.error();

  const Outcome run = bench.runUpdate(Source::Program, 1);
  const SimReport report = bench.stopSim();

  EXPECT_EQ(run.finalStatus, " Status: missing.bin does not exist");
  EXPECT_TRUE(run.boxes.empty());
  expectCleanEnd(run);
  expectImages(report, {{1, 0x8000, a}, {2, 0x10, b}});
  EXPECT_FALSE(report.endFrame);
  EXPECT_EQ(report.result, "INCOMPLETE");
}

TEST(E2eImages, folderNamedLikeTheImage_countsAsMissing) {
  E2eBench bench;
  ASSERT_TRUE(bench.ok()) << bench.error();
  ASSERT_EQ(::mkdir((bench.dir() + "/dir.bin").c_str(), 0700), 0);
  bench.writeFile("program.txt", "dir.bin\t1\t0x8000\r\n");
  ASSERT_TRUE(bench.startSim(1, {})) << bench.error();

  const Outcome run = bench.runUpdate(Source::Program, 1);
  const SimReport report = bench.stopSim();

  EXPECT_EQ(run.finalStatus, " Status: dir.bin does not exist");
  EXPECT_TRUE(run.boxes.empty());
  expectCleanEnd(run);
  EXPECT_TRUE(report.images.empty());
  EXPECT_FALSE(report.endFrame);
}

TEST(E2eImages, malformedLineAfterOneEntry_takesTheFailurePathAfterTheFirstImage) {
  E2eBench bench;
  ASSERT_TRUE(bench.ok()) << bench.error();
  const std::string a = patternBytes(1030, 81);
  bench.writeFile("a.bin", a);
  bench.writeFile("b.bin", patternBytes(10, 82));
  bench.writeFile("program.txt", "a.bin\t3\t0x8000\r\nb.bin\r\n");
  ASSERT_TRUE(bench.startSim(1, {})) << bench.error();

  const Outcome run = bench.runUpdate(Source::Program, 1);
  const SimReport report = bench.stopSim();

  ASSERT_EQ(run.finalStatus.rfind(" Error: ", 0), 0u) << run.finalStatus;
  const std::string description = run.finalStatus.substr(8);
  EXPECT_FALSE(description.empty());
  ASSERT_EQ(run.boxes.size(), 1u);
  EXPECT_EQ(run.boxes[0].rfind("5: " + description + ", ", 0), 0u) << run.boxes[0];
  expectCleanEnd(run);
  expectImages(report, {{3, 0x8000, a}});
  EXPECT_FALSE(report.endFrame);
  EXPECT_EQ(report.result, "INCOMPLETE");
}

TEST(E2eImages, emptyList_sendsOnlyTheEndFrameAndCompletes) {
  E2eBench bench;
  ASSERT_TRUE(bench.ok()) << bench.error();
  bench.writeFile("program.txt", "");
  ASSERT_TRUE(bench.startSim(1, {})) << bench.error();

  const Outcome run = bench.runUpdate(Source::Program, 1);
  const SimReport report = bench.stopSim();

  expectCompleted(run, report, {});
  ASSERT_EQ(report.frames.size(), 1u);
  EXPECT_EQ(report.frames[0].kind, "end");
}

TEST(E2eImages, missingTransferList_takesTheFailurePathWithABox) {
  E2eBench bench;
  ASSERT_TRUE(bench.ok()) << bench.error();
  ASSERT_TRUE(bench.startSim(1, {})) << bench.error();

  const Outcome run = bench.runUpdate(Source::ProgramAndDsd, 1);
  const SimReport report = bench.stopSim();

  ASSERT_EQ(run.finalStatus.rfind(" Error: ", 0), 0u) << run.finalStatus;
  EXPECT_NE(run.finalStatus.find("all.txt"), std::string::npos) << run.finalStatus;
  ASSERT_EQ(run.boxes.size(), 1u);
  EXPECT_EQ(run.boxes[0].find(run.finalStatus.substr(8)), run.boxes[0].find(": ") + 2) << run.boxes[0];
  expectCleanEnd(run);
  EXPECT_TRUE(report.frames.empty());
}

}  // namespace
}  // namespace torvane::e2e
