#include "sim/sim_report.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>
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
  for (const ByteString& f : {addressFrame(1, 0, 3), dataFrame("abc", 1), endFrame()})
    images.accept(f, images.inspect(f));
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
  const auto json = nlohmann::json::parse(out.str());
  const auto& f = json.at("frames").at(0);
  EXPECT_EQ(f.at("number"), 1);
  EXPECT_EQ(f.at("attempt"), 1);
  EXPECT_EQ(f.at("kind"), "address");
  EXPECT_EQ(f.at("length"), 15);
  EXPECT_EQ(f.at("crc_ok"), true);
  EXPECT_EQ(f.at("verdict"), "ACK");
  EXPECT_TRUE(f.at("verdict_us").is_null());
  EXPECT_TRUE(f.at("host_turnaround_us").is_null());
  EXPECT_EQ(json.at("images").at(0).at("memory_type"), 2);
  EXPECT_EQ(json.at("images").at(0).at("address"), 16);
  EXPECT_EQ(json.at("result"), "OK");
}

// Line bytes are not UTF-8; each byte comes back as the character of its code.
TEST(SimReport, json_keepsBytesThatAreNotUtf8) {
  SimReport report;
  report.addReceived(0, 38400, ByteString("\xff\xc3\x80\x7f\x00", 5), "x");
  report.sent.push_back({0, "\xfe", ByteString("\xc3", 1)});
  ImageRebuilder images;
  std::ostringstream out;
  writeJson(out, report, images, summarize(report, images));
  const std::string text = out.str();
  EXPECT_TRUE(std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }));
  const auto json = nlohmann::json::parse(text);
  EXPECT_EQ(json.at("received").at(0).at("text"), "\u00ff\u00c3\u0080\u007f" + std::string(1, '\0'));
  EXPECT_EQ(json.at("received").at(0).at("hex"), "ffc3807f00");
  EXPECT_EQ(json.at("sent").at(0).at("what"), "\u00fe");
  EXPECT_EQ(json.at("sent").at(0).at("text"), "\u00c3");
}

}  // namespace
}  // namespace torvane::sim
