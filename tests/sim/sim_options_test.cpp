#include "sim/sim_options.h"

#include <gtest/gtest.h>

namespace torvane::sim {
namespace {

TEST(SimOptions, defaults_announceEvery500msAsTorvane) {
  const ParsedOptions p = parseOptions({});
  EXPECT_TRUE(p.error.empty());
  EXPECT_EQ(p.options.announceMs, 500);
  EXPECT_EQ(p.options.model, "torvane");
  EXPECT_EQ(p.options.loadReply, "As");
  EXPECT_FALSE(p.options.pace);
  EXPECT_TRUE(p.options.faults.empty());
}

TEST(SimOptions, valuesAndFlags_areTakenInBothSpellings) {
  const ParsedOptions p = parseOptions({"--model=teal", "--announce-ms", "0", "--pace", "--turnaround-ms=1",
                                        "--linger-ms", "50", "--report", "/tmp/r.json", "--no-ready"});
  ASSERT_TRUE(p.error.empty()) << p.error;
  EXPECT_EQ(p.options.model, "teal");
  EXPECT_EQ(p.options.announceMs, 0);
  EXPECT_TRUE(p.options.pace);
  EXPECT_EQ(p.options.turnaroundMs, 1);
  EXPECT_TRUE(p.options.exitAfterEnd);
  EXPECT_EQ(p.options.lingerMs, 50);
  EXPECT_EQ(p.options.reportPath, "/tmp/r.json");
  EXPECT_TRUE(p.options.noReady);
}

TEST(SimOptions, badCommandLines_giveAnError) {
  const std::vector<std::vector<std::string>> rows = {
      {"--model", "heron"},   {"--announce-ms", "-1"},
      {"--nak-once", "0"},    {"--nak-times", "3"},
      {"--nak-times", "3:0"}, {"--noise", "1"},
      {"--noise", "1:0x0"},   {"--noise", "1:0xzz"},
      {"--report"},           {"--bogus"},
      {"--pace=1"},           {"--idle-exit-ms", "10x"},
      {"--unplug-at", "0"},
  };
  for (const auto& row : rows) EXPECT_FALSE(parseOptions(row).error.empty()) << row[0];
}

TEST(SimOptions, helpFlag_isRecognised) { EXPECT_TRUE(parseOptions({"--help"}).help); }

TEST(SimOptions, readyReplies_nameTheModel) {
  EXPECT_EQ(readyReply("torvane"), "Torvane Ready to Receive\r");
  EXPECT_EQ(readyReply("teal"), "Teal HERON Ready to Receive\r");
  EXPECT_EQ(readyReply("amber"), "Amber HERON Ready to Receive\r");
}

TEST(FaultPlan, faults_fireAsOftenAsAskedInOrderCanNakStxEtx) {
  const ParsedOptions p = parseOptions({"--nak-times", "2:2", "--stx-instead", "2", "--can-at", "2", "--etx-instead",
                                        "2", "--corrupt-at", "4", "--nak-once", "5"});
  ASSERT_TRUE(p.error.empty());
  FaultPlan plan = p.options.faults;
  EXPECT_EQ(plan.takeOverride(1), std::nullopt);
  const Verdict expected[] = {Verdict::Can, Verdict::Nak, Verdict::Nak, Verdict::Stx, Verdict::Etx};
  for (Verdict v : expected) EXPECT_EQ(plan.takeOverride(2), v);
  EXPECT_EQ(plan.takeOverride(2), std::nullopt);
  EXPECT_TRUE(plan.takeCorrupt(4));
  EXPECT_FALSE(plan.takeCorrupt(4));
  EXPECT_EQ(plan.takeOverride(5), Verdict::Nak);
  EXPECT_EQ(plan.takeOverride(5), std::nullopt);
}

TEST(FaultPlan, noiseSilenceHangupAndUnplug_applyToTheirFrames) {
  const ParsedOptions p = parseOptions(
      {"--noise", "0:0x0d0a", "--noise", "3:hello", "--silent-at", "7", "--hangup-at", "9", "--unplug-at=3"});
  ASSERT_TRUE(p.error.empty());
  FaultPlan plan = p.options.faults;
  EXPECT_EQ(plan.noiseBefore(1), "\r\n");
  EXPECT_EQ(plan.noiseBefore(3), "\r\nhello");
  EXPECT_FALSE(plan.silentAt(6));
  EXPECT_TRUE(plan.silentAt(7));
  EXPECT_TRUE(plan.silentAt(8));
  EXPECT_TRUE(plan.hangupAt(9));
  EXPECT_FALSE(plan.hangupAt(10));
  EXPECT_FALSE(plan.takeUnplug(2));
  EXPECT_TRUE(plan.takeUnplug(3));
  EXPECT_FALSE(plan.takeUnplug(3));  // once only: frame 3 of the next session
}

}  // namespace
}  // namespace torvane::sim
