// The bench's own parts that can be checked without the simulator: the
// report reader, the fast clock and the recording window operations.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "tests/e2e/e2e_bench.h"
#include "tests/e2e/fast_clock.h"
#include "tests/e2e/mini_json.h"
#include "tests/fakes/fake_clock.h"
#include "tests/fakes/fake_serial_port.h"
#include "tests/fakes/fake_window.h"

namespace torvane::e2e {
namespace {

TEST(MiniJson, simulatorReport_readsImagesFramesAndVerdicts) {
  const std::string json = R"({
  "model": "teal", "sessions": 1,
  "frames": [
    {"session": 1, "number": 1, "attempt": 1, "kind": "address", "length": 15, "crc_ok": true, "verdict": "ACK", "verdict_us": null},
    {"session": 1, "number": 2, "attempt": 2, "kind": "data", "length": 514, "crc_ok": false, "verdict": "NAK"}
  ],
  "images": [{"index": 1, "session": 1, "memory_type": 3, "address": 4294967295, "size": 513, "received": 513, "complete": true, "sha256": "ab"}],
  "errors": ["bad \"frame\"\u0007"],
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
  ASSERT_EQ(r.errors.size(), 1u);
  EXPECT_EQ(r.errors[0], "bad \"frame\"\x07");
  EXPECT_EQ(r.verdictCount("NAK"), 1);
  EXPECT_EQ(r.verdictCount("CAN"), 0);
}

TEST(MiniJson, escapes_becomeBytesOrUtf8) {
  const auto v = parseJson(R"(["\u00ff\u0000\r\n\t\/", "\u00ae\u2122"])");
  ASSERT_TRUE(v.has_value());
  EXPECT_EQ(v->items()[0].asString(), std::string("\xFF\0\r\n\t/", 6));
  EXPECT_EQ(v->items()[1].asString(), "\xAE\xE2\x84\xA2");  // a byte below 256, then UTF-8 of U+2122
}

TEST(MiniJson, malformedText_isRejectedWithAReason) {
  for (const char* bad : {"", "{", "[1,]", "{\"a\" 1}", "\"open", "[1] x", "{\"a\": tru}"}) {
    std::string error;
    EXPECT_FALSE(parseJson(bad, &error).has_value()) << bad;
    EXPECT_FALSE(error.empty()) << bad;
  }
  EXPECT_FALSE(parseSimReport("not json").parsed);
  EXPECT_FALSE(parseSimReport("[1]").parsed);
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
