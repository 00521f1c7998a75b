// Each named fault of the simulated machine, and how the run ends on it.
// The list holds one 1500-byte image: frame 1 is its address frame, frames
// 2..4 its data frames, frame 5 the end frame.
#include <gtest/gtest.h>

#include <functional>
#include <ostream>

#include "tests/e2e/e2e_bench.h"
#include "tests/e2e/e2e_expect.h"

namespace torvane::e2e {
namespace {

enum class End { Completes, FrameResultFailure, PortFailure, StxTimeOut };

struct FaultCase {
  const char* name;
  std::vector<std::string> simArgs;
  End end;
  double speedup = 1;  // > 1 where the run waits out a time-out
  std::function<void(const Outcome&, const SimReport&)> more = nullptr;
};

// Test names and failure messages show the case's name, not its bytes.
void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.name; }

const SimFrame* frame(const SimReport& report, int number, int attempt) {
  for (const SimFrame& f : report.frames) {
    if (f.number == number && f.attempt == attempt) return &f;
  }
  return nullptr;
}

std::string waiting(const std::string& head, int length, int count) {
  return head + "(" + std::to_string(length) + " bytes, " + std::to_string(count) +
         ")\r\n  Waiting for acknowledgement";
}

class E2eFaults : public ::testing::TestWithParam<FaultCase> {};

TEST_P(E2eFaults, namedFault_endsTheRunAsItShould) {
  const FaultCase& c = GetParam();
  E2eBench bench(c.speedup);
  ASSERT_TRUE(bench.ok()) << bench.error();
  const std::string image = patternBytes(1500, 91);
  bench.writeFile("code.bin", image);
  bench.writeFile("program.txt", "code.bin\t1\t0x8000\r\n");
  ASSERT_TRUE(bench.startSim(1, c.simArgs)) << bench.error();

  const Outcome run = bench.runUpdate(Source::Program, 1);
  const SimReport report = bench.stopSim();
  ASSERT_TRUE(report.parsed) << report.parseError;
  SCOPED_TRACE(describe(run, &report));

  switch (c.end) {
    case End::Completes: expectCompleted(run, report, {{1, 0x8000, image}}); break;
    case End::FrameResultFailure:  // a non-zero frame result carries no fault
      EXPECT_EQ(run.finalStatus, " Error: ");
      EXPECT_EQ(run.boxes, std::vector<std::string>{"0: , "});
      expectCleanEnd(run);
      EXPECT_FALSE(report.endFrame);
      EXPECT_EQ(report.result, "INCOMPLETE");
      break;
    case End::PortFailure: {
      ASSERT_EQ(run.finalStatus.rfind(" Error: ", 0), 0u) << run.finalStatus;
      const std::string description = run.finalStatus.substr(8);
      EXPECT_NE(description.find("COM1"), std::string::npos) << description;
      ASSERT_EQ(run.boxes.size(), 1u);
      EXPECT_NE(run.boxes[0].rfind("0: ", 0), 0u) << run.boxes[0];
      EXPECT_NE(run.boxes[0].find(": " + description + ", mscCom"), std::string::npos) << run.boxes[0];
      expectCleanEnd(run);
      EXPECT_FALSE(report.endFrame);
      break;
    }
    case End::StxTimeOut:
      EXPECT_EQ(run.finalStatus, " Status: Waiting for STX timed out, program end");
      EXPECT_TRUE(run.boxes.empty());
      expectCleanEnd(run);
      EXPECT_TRUE(report.images.empty());
      break;
  }
  if (c.more) c.more(run, report);
}

const FaultCase kCases[] = {
    {"nakOnce",
     {"--nak-once", "3"},
     End::Completes,
     1,
     [](const Outcome& run, const SimReport& report) {
       EXPECT_EQ(report.verdictCount("NAK"), 1);
       EXPECT_TRUE(run.sawStatus(waiting(" Status: Received NAK, resending data", 514, 3)));
       ASSERT_NE(frame(report, 3, 2), nullptr);
       EXPECT_EQ(frame(report, 3, 2)->verdict, "ACK");
     }},
    {"nakThreeTimes",
     {"--nak-times", "2:3"},
     End::Completes,
     1,
     [](const Outcome&, const SimReport& report) {
       EXPECT_EQ(report.verdictCount("NAK"), 3);
       EXPECT_NE(frame(report, 2, 4), nullptr);
     }},
    {"nakStormOfAThousand",
     {"--nak-times", "3:1000"},
     End::Completes,
     1,
     [](const Outcome& run, const SimReport& report) {
       EXPECT_EQ(report.verdictCount("NAK"), 1000);
       // Every one of the 1001 sends of frame 3 arrived whole with its checksum,
       // and the last was accepted; the count in the status line never moved.
       for (int attempt = 1; attempt <= 1001; ++attempt) {
         const SimFrame* f = frame(report, 3, attempt);
         ASSERT_NE(f, nullptr) << "attempt " << attempt;
         EXPECT_TRUE(f->crcOk) << "attempt " << attempt;
         EXPECT_EQ(f->length, 514u) << "attempt " << attempt;
         EXPECT_EQ(f->verdict, attempt <= 1000 ? "NAK" : "ACK") << "attempt " << attempt;
       }
       EXPECT_EQ(frame(report, 3, 1002), nullptr);
       EXPECT_TRUE(run.sawStatus(waiting(" Status: Received NAK, resending data", 514, 3)));
     }},
    {"stxInstead",
     {"--stx-instead", "3"},
     End::Completes,
     1,
     [](const Outcome& run, const SimReport& report) {
       EXPECT_EQ(report.verdictCount("STX"), 1);
       EXPECT_TRUE(run.sawStatus(waiting(" Status: Received STX, resending data", 514, 3)));
       EXPECT_NE(frame(report, 3, 2), nullptr);
     }},
    {"etxInstead",
     {"--etx-instead", "3"},
     End::Completes,
     1,
     [](const Outcome& run, const SimReport& report) {
       EXPECT_TRUE(run.sawStatus(" Status: Received ETX, code programmed successfully."));
       EXPECT_EQ(frame(report, 3, 2), nullptr) << "ETX accepts the frame: no resend";
     }},
    {"noiseBeforeEveryVerdict", {"--noise", "0:hello\r\n"}, End::Completes},
    {"controlNoise", {"--noise", "3:0x0d0a7f80ff00"}, End::Completes},
    {"corruptFrame",
     {"--corrupt-at", "3"},
     End::Completes,
     1,
     [](const Outcome&, const SimReport& report) {
       const SimFrame* bad = frame(report, 3, 1);
       ASSERT_NE(bad, nullptr);
       EXPECT_FALSE(bad->crcOk);
       EXPECT_EQ(bad->verdict, "NAK");
       ASSERT_NE(frame(report, 3, 2), nullptr);
       EXPECT_TRUE(frame(report, 3, 2)->crcOk);
     }},
    {"canAtSecondDataFrame",
     {"--can-at", "3"},
     End::FrameResultFailure,
     1,
     [](const Outcome& run, const SimReport& report) {
       EXPECT_GE(run.findStatus(" Status: Received program fail - "), 0);
       ASSERT_EQ(report.images.size(), 1u);
       EXPECT_EQ(report.images[0].received, 512u);
       EXPECT_FALSE(report.images[0].complete);
       EXPECT_EQ(frame(report, 4, 1), nullptr) << "nothing is sent after the CAN";
     }},
    {"silentAtSecondDataFrame",
     {"--silent-at", "3"},
     End::FrameResultFailure,
     5,
     [](const Outcome& run, const SimReport& report) {
       EXPECT_TRUE(run.sawStatus(" Status: Received Time out"));
       ASSERT_EQ(report.images.size(), 1u);
       EXPECT_EQ(report.images[0].received, 512u);
       EXPECT_EQ(frame(report, 4, 1), nullptr);
     }},
    {"hangupAtSecondDataFrame",
     {"--hangup-at", "3"},
     End::PortFailure,
     5,
     [](const Outcome& run, const SimReport& report) {
       EXPECT_TRUE(report.hungUp);
       ASSERT_FALSE(run.boxes.empty());
       EXPECT_EQ(run.boxes[0].rfind("8020: ", 0), 0u) << run.boxes[0];  // the device went away
     }},
    {"wrongSpeed",
     {"--wrong-speed"},
     End::StxTimeOut,
     5,
     [](const Outcome& run, const SimReport&) {
       EXPECT_TRUE(run.sawStatus(" Status: TorVane\u00AE in Receive Mode. Sending A"));
     }},
};

INSTANTIATE_TEST_SUITE_P(Machine, E2eFaults, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<FaultCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace torvane::e2e
