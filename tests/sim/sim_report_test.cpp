#include "sim/sim_report.h"

#include <gtest/gtest.h>

#include <sstream>

#include "link/frames.h"

namespace torvane::sim {
namespace {

TEST(SimReport, jsonString_escapesEveryByte) {
  EXPECT_EQ(jsonString(ByteString("s\r\n\"\\", 5)), "\"s\\r\\n\\\"\\\\\"");
  EXPECT_EQ(jsonString(ByteString("\x02\x00\xff", 3)), "\"\\u0002\\u0000\\u00ff\"");
  EXPECT_EQ(hexOf(ByteString("\x00\xab", 2)), "00ab");
}

TEST(SimReport, summary_saysOkOnlyForACompleteRun) {
  SimReport report;
  ImageRebuilder images;
  EXPECT_EQ(summarize(report, images).summary, "sim: 0 images, 0 bytes, 0 frames, 0 NAK, no end frame, INCOMPLETE");
  for (const ByteString& f : {addressFrame(1, 0, 3), dataFrame("abc", 1), endFrame()}) images.accept(f, images.inspect(f));
  report.frames.resize(4);
  report.verdicts["ACK"] = 3;
  report.verdicts["NAK"] = 1;
  const Outcome outcome = summarize(report, images);
  EXPECT_TRUE(outcome.ok);
  EXPECT_EQ(outcome.summary, "sim: 1 images, 3 bytes, 4 frames, 1 NAK, end frame received, OK");
  report.hungUp = true;
  EXPECT_FALSE(summarize(report, images).ok);
}

TEST(SimReport, receivedBursts_mergeAndStayBounded) {
  SimReport report;
  report.addReceived(0, 4800, "s", "x");
  report.addReceived(500, 4800, "\r", "x");
  report.addReceived(600, 38400, "s", "x");
  ASSERT_EQ(report.received.size(), 2u);
  EXPECT_EQ(report.received[0].bytes, "s\r");
  report.addReceived(10000, 4800, ByteString(100, 'z'), "y");
  EXPECT_EQ(report.received.back().length, 100u);
  EXPECT_EQ(report.received.back().bytes.size(), SimReport::kMaxRecordedBytes);
}

TEST(SimReport, json_listsFramesImagesAndResult) {
  SimReport report;
  ImageRebuilder images;
  for (const ByteString& f : {addressFrame(2, 16, 0), endFrame()}) images.accept(f, images.inspect(f));
  FrameRecord frame;
  frame.session = 1;
  frame.number = 1;
  frame.attempt = 1;
  frame.kind = FrameKind::Address;
  frame.length = 15;
  frame.crcOk = true;
  frame.verdict = "ACK";
  report.frames.push_back(frame);
  std::ostringstream out;
  writeJson(out, report, images, summarize(report, images));
  const std::string json = out.str();
  EXPECT_NE(json.find("\"number\": 1, \"attempt\": 1, \"kind\": \"address\", \"length\": 15, \"crc_ok\": true, "
                      "\"verdict\": \"ACK\""),
            std::string::npos);
  EXPECT_NE(json.find("\"verdict_us\": null, \"host_turnaround_us\": null"), std::string::npos);
  EXPECT_NE(json.find("\"memory_type\": 2, \"address\": 16"), std::string::npos);
  EXPECT_NE(json.find("\"result\": \"OK\""), std::string::npos);
}

}  // namespace
}  // namespace torvane::sim
