// Each source's transfer list, each model's ready reply, the ready time-out
// and the emergency road, against the simulated machine.
#include <gtest/gtest.h>

#include <ostream>

#include "tests/e2e/e2e_bench.h"
#include "tests/e2e/e2e_expect.h"

namespace torvane::e2e {
namespace {

struct SourceCase {
  const char* name;
  Source source;
  std::vector<std::string> simArgs;
  double speedup;  // the emergency road waits 5 s for a load reply that never comes
  int list;        // which of the three lists below the run must have used
};

// Test names and failure messages show the case's name, not its bytes.
void PrintTo(const SourceCase& c, std::ostream* os) { *os << c.name; }

class E2eSources : public ::testing::TestWithParam<SourceCase> {};

// Every list is present, each naming other files, so the images prove which
// list the run read.
TEST_P(E2eSources, selectedSource_sendsTheFilesOfItsOwnList) {
  const SourceCase& c = GetParam();
  E2eBench bench(c.speedup);
  ASSERT_TRUE(bench.ok()) << bench.error();
  const std::vector<std::vector<SentImage>> lists = {
      {{1, 0x8000, patternBytes(600, 11)}},
      {{1, 0x8000, patternBytes(900, 12)}, {3, 0x100000, patternBytes(1024, 13)}},
      {{1, 0x0, patternBytes(513, 14)}, {2, 512, patternBytes(40, 15)}},
  };
  bench.writeFile("p.bin", lists[0][0].bytes);
  bench.writeFile("program.txt", "p.bin\t1\t0x8000\r\n");
  bench.writeFile("a1.bin", lists[1][0].bytes);
  bench.writeFile("a2 dsd.bin", lists[1][1].bytes);
  bench.writeFile("all.txt", "a1.bin 1 0x8000\r\na2 dsd.bin\t3 0x100000\r\n");
  bench.writeFile("e1.bin", lists[2][0].bytes);
  bench.writeFile("e2.bin", lists[2][1].bytes);
  bench.writeFile("ERestore.txt", "e1.bin\t1\t0x0\re2.bin\t2\t512\r");
  ASSERT_TRUE(bench.startSim(4, c.simArgs)) << bench.error();

  const Outcome run = bench.runUpdate(c.source, 4);
  const SimReport report = bench.stopSim();

  expectCompleted(run, report, lists[static_cast<std::size_t>(c.list)]);
}

INSTANTIATE_TEST_SUITE_P(Lists, E2eSources,
                         ::testing::Values(SourceCase{"programOnly", Source::Program, {}, 1, 0},
                                           SourceCase{"programAndDsd", Source::ProgramAndDsd, {}, 1, 1},
                                           SourceCase{
                                               "emergencyRestore", Source::EmergencyRestore, {"--emergency"}, 5, 2}),
                         [](const ::testing::TestParamInfo<SourceCase>& info) { return std::string(info.param.name); });

TEST(E2eEmergency, machineSilentAtLoadCommand_skipsTheReadyStageAndIsUpdatedAfterStx) {
  E2eBench bench(5);
  ASSERT_TRUE(bench.ok()) << bench.error();
  const std::string image = patternBytes(2000, 21);
  bench.writeFile("restore.bin", image);
  bench.writeFile("ERestore.txt", "restore.bin\t1\t0x8000\r\n");
  ASSERT_TRUE(bench.startSim(1, {"--emergency"})) << bench.error();

  const Outcome run = bench.runUpdate(Source::EmergencyRestore, 1);
  const SimReport report = bench.stopSim();

  expectCompleted(run, report, {{1, 0x8000, image}});
  EXPECT_FALSE(run.sawStatus(" Status: Waiting for response-TorVane\u00AE Ready to Receive<CR>"));
  EXPECT_EQ(run.findStatus(". Sending A"), -1);
  const int stx = run.findStatus(" Status: Waiting for STX");
  EXPECT_GT(stx, run.findStatus(" Status: Changing baud rate to 38400"));
}

struct ModelCase {
  const char* model;
  const char* readyStatus;
};

// Test names and failure messages show the case's name, not its bytes.
void PrintTo(const ModelCase& c, std::ostream* os) { *os << c.model; }

class E2eModels : public ::testing::TestWithParam<ModelCase> {};

TEST_P(E2eModels, readyReplyOfTheModel_isNamedAndTheRunCompletes) {
  E2eBench bench;
  ASSERT_TRUE(bench.ok()) << bench.error();
  const std::string image = patternBytes(800, 31);
  bench.writeFile("code.bin", image);
  bench.writeFile("program.txt", "code.bin\t1\t0x8000\r\n");
  ASSERT_TRUE(bench.startSim(2, {"--model", GetParam().model})) << bench.error();

  const Outcome run = bench.runUpdate(Source::Program, 2);
  const SimReport report = bench.stopSim();

  expectCompleted(run, report, {{1, 0x8000, image}});
  EXPECT_TRUE(run.sawStatus(std::string(GetParam().readyStatus) + ". Sending A"));
  EXPECT_EQ(report.model, GetParam().model);
}

INSTANTIATE_TEST_SUITE_P(ReadyReplies, E2eModels,
                         ::testing::Values(ModelCase{"torvane", " Status: TorVane\u00AE in Receive Mode"},
                                           ModelCase{"teal", " Status: Teal HERON\u2122 Ready to Receive"},
                                           ModelCase{"amber", " Status: Amber HERON\u2122 Ready to Receive"}),
                         [](const ::testing::TestParamInfo<ModelCase>& info) { return std::string(info.param.model); });

TEST(E2eReadyTimeOut, noReadyReply_showsTheBoxThenSendsAAndCompletes) {
  E2eBench bench(5);  // the ready wait lasts 1 s of real time
  ASSERT_TRUE(bench.ok()) << bench.error();
  const std::string image = patternBytes(300, 41);
  bench.writeFile("code.bin", image);
  bench.writeFile("program.txt", "code.bin\t1\t0x8000\r\n");
  ASSERT_TRUE(bench.startSim(1, {"--no-ready"})) << bench.error();

  const Outcome run = bench.runUpdate(Source::Program, 1);
  const SimReport report = bench.stopSim();

  EXPECT_EQ(run.finalStatus, " Status: UPDATE COMPLETE");
  ASSERT_EQ(run.boxes.size(), 1u);
  EXPECT_EQ(run.boxes[0], "receiving (TorVane Ready to Receive<CR>) time out");
  expectCleanEnd(run);
  expectImages(report, {{1, 0x8000, image}});
  EXPECT_EQ(report.result, "OK") << report.summaryLine;
  // The last live text of the ready wait, followed by ". Sending A".
  const int sendingA = run.findStatus(". Sending A");
  ASSERT_GE(sendingA, 0);
  const std::string& text = run.statuses[static_cast<std::size_t>(sendingA)];
  EXPECT_EQ(text.rfind(" Com String ", 0), 0u) << text;
  EXPECT_EQ(text.substr(text.size() - 11), ". Sending A");
}

}  // namespace
}  // namespace torvane::e2e
