// The bench's own parts that can be checked without the simulator: the
// report reader, the fast clock and the recording window operations.
#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <thread>

#include "sim/sim_report.h"
#include "tests/e2e/e2e_bench.h"
#include "tests/e2e/fast_clock.h"
#include "tests/e2e/sim_process.h"
#include "tests/fakes/fake_clock.h"
#include "tests/fakes/fake_serial_port.h"
#include "tests/fakes/fake_window.h"

namespace torvane::e2e {
namespace {

TEST(ReportReader, simulatorReport_readsImagesFramesAndVerdicts) {
  const std::string json = R"({
  "model": "teal", "sessions": 1,
  "frames": [
    {"session": 1, "number": 1, "attempt": 1, "kind": "address", "length": 15, "crc_ok": true, "verdict": "ACK", "verdict_us": null},
    {"session": 1, "number": 2, "attempt": 2, "kind": "data", "length": 514, "crc_ok": false, "verdict": "NAK"}
  ],
  "images": [{"index": 1, "session": 1, "memory_type": 3, "address": 4294967295, "size": 513, "received": 513, "complete": true, "sha256": "ab"}],
  "errors": ["bad \"frame\"\u0007", "\u00ae\u2122"],
  "verdicts": {"ACK": 5, "NAK": 1},
  "end_frame": true, "hung_up": false, "result": "OK"
})";
  const SimReport r = parseSimReport(json);
  ASSERT_TRUE(r.parsed) << r.parseError;
  EXPECT_EQ(r.model, "teal");
  EXPECT_EQ(r.result, "OK");
  EXPECT_TRUE(r.endFrame);
  EXPECT_FALSE(r.hungUp);
  ASSERT_EQ(r.frames.size(), 2u);
  EXPECT_EQ(r.frames[1].attempt, 2);
  EXPECT_FALSE(r.frames[1].crcOk);
  EXPECT_EQ(r.frames[1].verdict, "NAK");
  ASSERT_EQ(r.images.size(), 1u);
  EXPECT_EQ(r.images[0].memoryType, 3);
  EXPECT_EQ(r.images[0].address, 0xFFFFFFFFu);
  EXPECT_EQ(r.images[0].size, 513u);
  ASSERT_EQ(r.errors.size(), 2u);
  EXPECT_EQ(r.errors[0], "bad \"frame\"\x07");
  EXPECT_EQ(r.errors[1], "\xAE\xE2\x84\xA2");  // a byte below 256, then UTF-8 of U+2122
  EXPECT_EQ(r.verdictCount("NAK"), 1);
  EXPECT_EQ(r.verdictCount("CAN"), 0);
}

TEST(ReportReader, stringsTheSimulatorWrites_comeBackByteForByte) {
  std::string everyByte;
  for (int b = 0; b < 256; ++b) everyByte += static_cast<char>(b);
  sim::SimReport written;
  written.errors = {everyByte, std::string("a\0b", 3)};
  written.exitReason = "signal \"TERM\"\\";
  written.verdicts = {{"ACK", 3}};
  const sim::ImageRebuilder images;
  std::ostringstream out;
  sim::writeJson(out, written, images, sim::summarize(written, images));
  const SimReport r = parseSimReport(out.str());
  ASSERT_TRUE(r.parsed) << r.parseError;
  EXPECT_EQ(r.errors, written.errors);
  EXPECT_EQ(r.exitReason, written.exitReason);
  EXPECT_EQ(r.verdictCount("ACK"), 3);
  EXPECT_EQ(r.result, "INCOMPLETE");
}

TEST(ReportReader, malformedText_isRejectedWithAReason) {
  for (const char* bad : {"", "{", "{\"a\": [1,]}", "{\"a\" 1}", "{\"a\": \"open", "{} x", "{\"a\": tru}",
                          "{\"a\": \"\xFF\"}", "not json", "[1]"}) {
    const SimReport r = parseSimReport(bad);
    EXPECT_FALSE(r.parsed) << bad;
    EXPECT_FALSE(r.parseError.empty()) << bad;
  }
  EXPECT_EQ(parseSimReport("{\"model\": tru}").parseError, "illegal value at offset 11");
}

TEST(FastClock, runsFasterThanRealTimeByItsFactor) {
  FastClock fast(20);
  FastClock real(1);
  std::this_thread::sleep_for(std::chrono::milliseconds(30));  // lets real time pass; nothing to wait for
  const double f = fast.seconds();
  const double r = real.seconds();
  EXPECT_GT(f, 10 * r);
  EXPECT_LT(f, 30 * r);
  EXPECT_FALSE(fast.timeOfDayText().empty());
}

TEST(RecordingWindowOps, dividesWaitsAndFoldsRepeatedStatusTexts) {
  torvane::testing::FakeClock clock;
  torvane::testing::FakeWindow inner(clock);
  RecordingWindowOps ops(inner, 20);
  ops.setStatus("a");
  ops.setStatus("a");
  ops.setStatus("b");
  ops.setStatus("a");
  EXPECT_EQ(ops.statuses(), (std::vector<std::string>{"a", "b", "a"}));
  EXPECT_EQ(inner.status(), "a");
  ops.setTimeLine("Start: x\r\nEnd:  y");
  EXPECT_EQ(ops.timeLine(), "Start: x\r\nEnd:  y");
  const double before = clock.now;
  ops.yieldWait(5);  // nothing pending: the fake window sleeps the whole pass
  EXPECT_EQ(ops.yieldWaits(), 1);
  EXPECT_DOUBLE_EQ(clock.now - before, 0.25);
  ops.progressStart(1024);
  ops.progressEnd();
  EXPECT_EQ(inner.progress, (std::vector<std::string>{"start 1024", "end"}));
}

TEST(PatternBytes, isDeterministicAndCoversEveryByteValue) {
  const std::string a = patternBytes(4096, 7);
  EXPECT_EQ(a, patternBytes(4096, 7));
  EXPECT_NE(a, patternBytes(4096, 8));
  bool seen[256] = {};
  for (char c : a) seen[static_cast<unsigned char>(c)] = true;
  for (bool s : seen) EXPECT_TRUE(s);
}

}  // namespace
}  // namespace torvane::e2e
