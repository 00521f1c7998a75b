// The short soak of the test suite: 20 update runs with random faults in this
// one process. The seed is printed; TORVANE_SOAK_SEED=<seed> repeats a run.
#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <iostream>
#include <set>

#include "tests/soak/soak.h"
#include "tests/soak/soak_options.h"

namespace torvane::soak {
namespace {

TEST(SoakDraw, sameSeed_drawsSameRuns) {
  std::mt19937 a(42);
  std::mt19937 b(42);
  for (int i = 0; i < 50; ++i) {
    const SoakRun x = drawRun(a);
    const SoakRun y = drawRun(b);
    EXPECT_EQ(x.describe(), y.describe());
    EXPECT_EQ(x.expected, y.expected);
  }
}

TEST(SoakDraw, manyRuns_coverEveryFaultWithFramesInRange) {
  std::mt19937 rng(7);
  std::set<std::string> seen;
  for (int i = 0; i < 2000; ++i) {
    const SoakRun run = drawRun(rng);
    seen.insert(run.fault);
    ASSERT_GE(run.images.size(), 2u);
    for (const std::string& arg : run.simArgs) {
      if (arg.empty() || arg[0] == '-' || !std::isdigit(static_cast<unsigned char>(arg[0]))) continue;
      const int frame = std::stoi(arg);  // "N" or "N:K"
      EXPECT_GE(frame, run.fault == "noise" ? 0 : 1) << run.describe();
      EXPECT_LE(frame, run.frameCount()) << run.describe();
    }
  }
  EXPECT_EQ(seen.size(), faultNames().size());
}

TEST(SoakDraw, faultsThatStopTheMachine_expectTheirEnd) {
  std::mt19937 rng(3);
  for (int i = 0; i < 500; ++i) {
    const SoakRun run = drawRun(rng);
    if (run.fault == "can-at" || run.fault == "silent-at") {
      EXPECT_EQ(run.expected, Expected::FrameRejected);
    }
    if (run.fault == "hangup-at") {
      EXPECT_EQ(run.expected, Expected::PortLost);
    }
    if (run.fault == "wrong-speed") {
      EXPECT_EQ(run.expected, Expected::StxTimedOut);
    }
    if (run.fault == "no-ready") {
      EXPECT_EQ(run.expected, Expected::CompleteAfterBox);
    }
    if (run.fault == "none" || run.fault == "nak-once" || run.fault == "emergency") {
      EXPECT_EQ(run.expected, Expected::Complete);
    }
  }
}

TEST(SoakDraw, frameCount_countsAddressDataAndEndFrames) {
  SoakRun run;
  run.images = {{"a", 1, 0, 0}, {"b", 1, 0, 512}, {"c", 3, 0, 513}};
  EXPECT_EQ(run.frameCount(), 1 + (1 + 0) + (1 + 1) + (1 + 2));
}

// An outcome and a report that a completed run of `run` would give.
struct CleanRun {
  SoakRun run;
  e2e::Outcome outcome;
  e2e::SimReport report;
  std::vector<std::string> sent{"abc", std::string(52, '\x7f')};

  CleanRun() {
    run.fault = "none";
    run.images = {{"code.bin", 1, 0x0E00, 3}, {"vector.bin", 1, 0xFFCC, 52}};
    outcome.finalStatus = " Status: UPDATE COMPLETE";
    outcome.timeLine = "Start: 10:00:00\r\nEnd:  10:00:01";
    outcome.portClosed = true;
    outcome.defaultPointer = true;
    outcome.fdsBefore = outcome.fdsAfter = 9;
    report.parsed = true;
    report.result = "OK";
    for (const std::string& bytes : sent) {
      e2e::SimImage image;
      image.sha256 = e2e::sha256Of(bytes);
      report.images.push_back(image);
    }
  }
};

TEST(SoakCheck, cleanCompletion_passes) {
  const CleanRun c;
  EXPECT_EQ(checkRun(c.run, c.outcome, c.report, c.sent), "");
}

TEST(SoakCheck, eachDeviationFromACleanCompletion_isReported) {
  const struct {
    const char* what;
    std::function<void(CleanRun&)> spoil;
    const char* named;
  } cases[] = {
      {"port open", [](CleanRun& c) { c.outcome.portClosed = false; }, "port left open"},
      {"busy pointer", [](CleanRun& c) { c.outcome.defaultPointer = false; }, "busy pointer"},
      {"descriptor kept", [](CleanRun& c) { c.outcome.fdsAfter = 10; }, "descriptors 9 -> 10"},
      {"watchdog", [](CleanRun& c) { c.outcome.watchdogFired = true; }, "did not end"},
      {"no end time", [](CleanRun& c) { c.outcome.timeLine = "Start: 10:00:00"; }, "no end time"},
      {"other status", [](CleanRun& c) { c.outcome.finalStatus = " Error: "; }, "final status"},
      {"a box", [](CleanRun& c) { c.outcome.boxes = {"0: , "}; }, "1 boxes"},
      {"machine incomplete", [](CleanRun& c) { c.report.result = "INCOMPLETE"; }, "machine says"},
      {"image lost", [](CleanRun& c) { c.report.images.pop_back(); }, "holds 1 images"},
      {"image changed", [](CleanRun& c) { c.report.images[1].sha256 = e2e::sha256Of("x"); }, "image 2 differs"},
      {"no report", [](CleanRun& c) { c.report.parsed = false; }, "no machine report"},
  };
  for (const auto& k : cases) {
    CleanRun c;
    k.spoil(c);
    const std::string wrong = checkRun(c.run, c.outcome, c.report, c.sent);
    EXPECT_NE(wrong.find(k.named), std::string::npos) << k.what << ": " << wrong;
  }
}

TEST(SoakCheck, stoppedRuns_needTheirOwnStatusAndBox) {
  const struct {
    const char* fault;
    Expected expected;
    std::string status;
    std::vector<std::string> boxes;
    bool passes;
  } cases[] = {
      {"can-at", Expected::FrameRejected, " Error: ", {"0: , "}, true},
      {"can-at", Expected::FrameRejected, " Error: ", {}, false},
      {"hangup-at", Expected::PortLost, " Error: COM1 went away", {"8020: COM1 went away, mscCom"}, true},
      {"hangup-at", Expected::PortLost, " Error: ", {"0: , "}, false},
      {"wrong-speed", Expected::StxTimedOut, " Status: Waiting for STX timed out, program end", {}, true},
      {"wrong-speed", Expected::StxTimedOut, " Status: UPDATE COMPLETE", {}, false},
  };
  for (const auto& k : cases) {
    CleanRun c;
    c.run.fault = k.fault;
    c.run.expected = k.expected;
    c.outcome.finalStatus = k.status;
    c.outcome.boxes = k.boxes;
    c.outcome.statuses = {" Status: Received program fail - "};
    c.report.result = "INCOMPLETE";
    EXPECT_EQ(checkRun(c.run, c.outcome, c.report, c.sent).empty(), k.passes) << k.fault << " " << k.status;
  }
}

TEST(SoakOptions, parseSeed_acceptsDecimal32BitOnly) {
  EXPECT_EQ(parseSeed("0"), 0u);
  EXPECT_EQ(parseSeed("4294967295"), 4294967295u);
  EXPECT_FALSE(parseSeed("4294967296"));
  EXPECT_FALSE(parseSeed(""));
  EXPECT_FALSE(parseSeed("-1"));
  EXPECT_FALSE(parseSeed("12a"));
  EXPECT_FALSE(parseSeed("99999999999"));
}

// The port object keeps 38400 from the run before; it must open straight at
// 4800, or a machine in emergency mode sees 38400 for a moment and sends its
// STX before the tool waits for it.
TEST(Soak, emergencyRunsOneAfterAnother_eachGetsItsStx) {
  SoakOptions options;
  options.runs = 4;
  options.warmUpRuns = 1;
  options.seed = 11;
  options.onlyFault = "emergency";
  options.checkRss = false;  // four runs say nothing about memory
  options.log = &std::cout;

  const SoakResult result = runSoak(options);

  EXPECT_EQ(result.runs, 4);
  for (const std::string& problem : result.problems) ADD_FAILURE() << problem;
}

TEST(Soak, twentyRunsWithRandomFaults_endAsExpectedAndKeepDescriptorsAndMemory) {
  SoakOptions options;
  options.runs = 20;
  options.warmUpRuns = 5;
  options.seed = seedFromEnvironment();
  options.checkRss = !kAddressSanitizer;
  options.log = &std::cout;
  std::cout << "soak seed " << options.seed << " (repeat with TORVANE_SOAK_SEED=" << options.seed << ")\n";
  if (!options.checkRss) std::cout << "AddressSanitizer build: resident memory is reported, not bounded\n";

  const SoakResult result = runSoak(options);

  EXPECT_EQ(result.runs, options.runs);
  for (const std::string& problem : result.problems) ADD_FAILURE() << "seed " << options.seed << ": " << problem;
  EXPECT_EQ(result.fdsEnd, result.fdsBaseline);
  EXPECT_GT(result.fdsBaseline, 0);
  EXPECT_GT(result.rssEndKiB, 0);
}

}  // namespace
}  // namespace torvane::soak
