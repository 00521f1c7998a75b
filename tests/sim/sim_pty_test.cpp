// torvane-sim driven through its pseudo-terminal, the test playing the host.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "link/frames.h"
#include "record/sha256.h"
#include "sim_host.h"

namespace torvane::sim::testing {
namespace {

const ByteString kAck(1, '\x06');
const ByteString kNak(1, '\x15');
const ByteString kCan(1, '\x18');
const ByteString kEtx(1, '\x03');
const ByteString kStx(1, '\x02');

ByteString pattern(std::size_t size, int seed) {
  ByteString bytes;
  for (std::size_t i = 0; i < size; ++i)
    appendByte(bytes, static_cast<uint8_t>((i * 7 + static_cast<std::size_t>(seed)) & 0xFF));
  return bytes;
}

// Sends one image as the tool would: address frame, then data frames, each
// against its verdict byte. Returns the verdicts received.
ByteString sendImage(SimHost& host, uint8_t type, int32_t address, const ByteString& data) {
  ByteString verdicts;
  host.send(addressFrame(type, address, static_cast<int32_t>(data.size())));
  verdicts += host.readCount(1, 1000);
  for (std::size_t at = 0; at < data.size(); at += kBlockSize) {
    host.send(dataFrame(data.substr(at, kBlockSize), type));
    verdicts += host.readCount(1, 1000);
  }
  return verdicts;
}

void sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

TEST(SimHandshake, eachModel_answersLoadAndReadyReply) {
  const struct {
    std::vector<std::string> args;
    ByteString replies;
  } rows[] = {
      {{}, "As\rTorvane Ready to Receive\r"},
      {{"--model", "teal"}, "As\rTeal HERON Ready to Receive\r"},
      {{"--model", "amber", "--load-reply", "Cs"}, "Cs\rAmber HERON Ready to Receive\r"},
  };
  for (const auto& row : rows) {
    std::vector<std::string> args = row.args;
    args.insert(args.end(), {"--announce-ms", "0"});
    SimHost host(args);
    ASSERT_TRUE(host.ready());
    const ByteString got = host.handshake(row.replies.substr(row.replies.find('\r') + 1));
    EXPECT_EQ(got, row.replies + kStx) << row.replies;
    host.stop();
    const nlohmann::json report = host.reportJson();
    EXPECT_TRUE(hasEntry(report.at("received"), {{"speed", 4800}, {"length", 2}, {"hex", "730d"}}));
    EXPECT_TRUE(hasEntry(report.at("received"), {{"note", "start command"}}));
  }
}

TEST(SimHandshake, noReady_sendsOnlyTheLoadReplyAndStillTakesA) {
  SimHost host({"--announce-ms", "0", "--no-ready"});
  ASSERT_TRUE(host.ready());
  host.send("s\r");
  EXPECT_EQ(host.readFor(300), "As\r");
  host.send("A");
  sleepMs(3);
  host.setSpeed(B38400);
  EXPECT_EQ(host.readCount(1, 1000), kStx);
}

TEST(SimHandshake, emergency_silentAt4800ThenStxAt38400) {
  SimHost host({"--emergency"});
  ASSERT_TRUE(host.ready());
  host.send("s\r");
  EXPECT_EQ(host.readFor(300), "");
  host.setSpeed(B38400);
  EXPECT_EQ(host.readCount(1, 1000), kStx);
  host.send(endFrame());
  EXPECT_EQ(host.readCount(1, 1000), kAck);
  EXPECT_NE(host.stop().find("end frame received"), std::string::npos);
}

TEST(SimHandshake, loadCommandAt38400_isIgnoredAndRecorded) {
  SimHost host({"--announce-ms", "0"});
  ASSERT_TRUE(host.ready());
  host.setSpeed(B38400);
  sleepMs(20);
  host.send("s\r");
  EXPECT_EQ(host.readFor(300), "");
  // The same command at the right speed is answered.
  host.setSpeed(B4800);
  sleepMs(20);
  host.send("s\r");
  EXPECT_EQ(host.readUntil("Receive\r", 1000), "As\rTorvane Ready to Receive\r");
  host.stop();
  const nlohmann::json report = host.reportJson();
  EXPECT_TRUE(
      hasEntry(report.at("received"),
               {{"speed", 38400}, {"length", 2}, {"hex", "730d"}, {"text", "s\r"}, {"note", "ignored: wrong speed"}}))
      << host.report();
  EXPECT_EQ(report.at("sessions"), 1);
}

TEST(SimHandshake, startCommandThenStaying4800_sendsNoStxUntil38400) {
  SimHost host({"--announce-ms", "0"});
  ASSERT_TRUE(host.ready());
  host.send("s\r");
  host.readUntil("Receive\r", 1000);
  host.send("A");
  EXPECT_EQ(host.readFor(200), "");
  host.setSpeed(B38400);
  EXPECT_EQ(host.readCount(1, 1000), kStx);
}

// Bytes written just before or just after a speed change may still be unread
// when the simulator notices the change; they count where they make sense.
TEST(SimHandshake, bytesRightAroundASpeedChange_stillCount) {
  SimHost host({"--announce-ms", "0"});
  ASSERT_TRUE(host.ready());
  host.setSpeed(B38400);
  host.setSpeed(B4800);
  host.send("s\r");
  EXPECT_EQ(host.readUntil("Receive\r", 1000), "As\rTorvane Ready to Receive\r");
  host.send("A");
  host.setSpeed(B38400);
  EXPECT_EQ(host.readCount(1, 1000), kStx);
  host.send(endFrame());
  EXPECT_EQ(host.readCount(1, 1000), kAck);
}

TEST(SimHandshake, hostWithoutExtproc_isFollowedByPollingTheSpeed) {
  SimHost host({"--announce-ms", "0"});
  ASSERT_TRUE(host.ready());
  host.clearLocalFlags();
  EXPECT_EQ(host.handshake(), "As\rTorvane Ready to Receive\r" + kStx);
  host.send(endFrame());
  EXPECT_EQ(host.readCount(1, 1000), kAck);
  host.stop();
  EXPECT_EQ(host.reportJson().at("speed_notifications"), false);
}

TEST(SimAnnounce, at4800_repeatsAAUntilTheLoadCommand) {
  SimHost host({"--announce-ms", "40"});
  ASSERT_TRUE(host.ready());
  const ByteString first = host.readFor(250);
  EXPECT_GE(countOf(first, "AA"), 2u) << first;
  EXPECT_EQ(first.find_first_not_of('A'), ByteString::npos);
  host.send("s\r");
  host.readUntil("Receive\r", 1000);
  EXPECT_EQ(host.readFor(200), "");
}

TEST(SimAnnounce, at38400_staysQuietUnlessAskedForAnySpeed) {
  for (const bool anySpeed : {false, true}) {
    std::vector<std::string> args = {"--announce-ms", "40"};
    if (anySpeed) args.push_back("--announce-any-speed");
    SimHost host(args);
    ASSERT_TRUE(host.ready());
    host.setSpeed(B38400);
    host.readFor(60);  // an announcement made before the change
    const ByteString got = host.readFor(250);
    EXPECT_EQ(got.find("AA") != ByteString::npos, anySpeed) << got;
  }
}

TEST(SimTransfer, twoImagesAndEndFrame_reportsSizesAndDigests) {
  const std::string imageDir = "/tmp/torvane-sim-images-" + std::to_string(::getpid());
  SimHost host({"--announce-ms", "0", "--exit-after-end", "--save-images", imageDir});
  ASSERT_TRUE(host.ready());
  ASSERT_EQ(host.handshake().back(), '\x02');
  const ByteString code = pattern(1000, 1);
  const ByteString dsd = pattern(513, 2);
  EXPECT_EQ(sendImage(host, 1, 65536, code), kAck + kAck + kAck);
  EXPECT_EQ(sendImage(host, 3, 0, dsd), kAck + kAck + kAck);
  EXPECT_EQ(sendImage(host, 2, 4096, ""), kAck) << host.report();
  host.send(endFrame());
  EXPECT_EQ(host.readCount(1, 1000), kAck);
  const std::string summary = host.waitExit(2000);
  EXPECT_EQ(summary, "sim: 3 images, 1513 bytes, 8 frames, 0 NAK, end frame received, OK");

  const nlohmann::json report = host.reportJson();
  const nlohmann::json& images = report.at("images");
  EXPECT_TRUE(hasEntry(images, {{"memory_type", 1},
                                {"address", 65536},
                                {"address_hex", "0x00010000"},
                                {"size", 1000},
                                {"received", 1000},
                                {"complete", true},
                                {"sha256", sha256Hex(code)}}))
      << host.report();
  EXPECT_TRUE(hasEntry(images, {{"memory_type", 3},
                                {"address", 0},
                                {"address_hex", "0x00000000"},
                                {"size", 513},
                                {"received", 513},
                                {"complete", true},
                                {"sha256", sha256Hex(dsd)}}));
  EXPECT_TRUE(hasEntry(images, {{"size", 0}, {"received", 0}, {"complete", true}, {"sha256", sha256Hex("")}}));
  EXPECT_EQ(report.at("end_frame"), true);
  EXPECT_EQ(report.at("errors"), nlohmann::json::array());
  EXPECT_EQ(report.at("result"), "OK");
  EXPECT_EQ(frameOf(report, 2, 1).at("kind"), "data");
  EXPECT_EQ(frameOf(report, 8, 1).at("kind"), "end");
  EXPECT_TRUE(frameOf(report, 1, 1).at("host_turnaround_us").is_number());

  std::ifstream saved(imageDir + "/1-type1-addr0x00010000.bin", std::ios::binary);
  std::stringstream savedBytes;
  savedBytes << saved.rdbuf();
  EXPECT_EQ(savedBytes.str(), code);
  EXPECT_TRUE(std::filesystem::exists(imageDir + "/2-type3-addr0x00000000.bin"));
  std::filesystem::remove_all(imageDir);
}

TEST(SimTransfer, wrongPadding_isAcceptedButReportedAsAnError) {
  SimHost host({"--announce-ms", "0"});
  ASSERT_TRUE(host.ready());
  host.handshake();
  const ByteString data = pattern(100, 3);
  host.send(addressFrame(3, 0, 100));
  EXPECT_EQ(host.readCount(1, 1000), kAck);
  host.send(dataFrame(data, 1));  // zero padding for a DSD image
  EXPECT_EQ(host.readCount(1, 1000), kAck);
  host.send(endFrame());
  EXPECT_EQ(host.readCount(1, 1000), kAck);
  EXPECT_EQ(host.stop(), "sim: 1 images, 100 bytes, 3 frames, 0 NAK, 1 error, end frame received, INCOMPLETE");
  EXPECT_EQ(host.reportJson().at("errors"),
            nlohmann::json::array({"image 1: padding byte 0 of the last frame is 0x00, expected 0xFF"}));
}

TEST(SimTransfer, badChecksum_getsNakAndTheResendAck) {
  SimHost host({"--announce-ms", "0"});
  ASSERT_TRUE(host.ready());
  host.handshake();
  ByteString frame = addressFrame(1, 0, 10);
  frame[14] = static_cast<char>(frame[14] ^ 1);
  host.send(frame);
  EXPECT_EQ(host.readCount(1, 1000), kNak);
  host.send(addressFrame(1, 0, 10));
  EXPECT_EQ(host.readCount(1, 1000), kAck);
  host.stop();
  const nlohmann::json report = host.reportJson();
  EXPECT_EQ(frameOf(report, 1, 1).at("crc_ok"), false);
  EXPECT_EQ(frameOf(report, 1, 1).at("verdict"), "NAK");
  EXPECT_EQ(frameOf(report, 1, 2).at("verdict"), "ACK");
}

TEST(SimTransfer, frameSplitAcrossWrites_isReassembled) {
  SimHost host({"--announce-ms", "0"});
  ASSERT_TRUE(host.ready());
  host.handshake();
  host.send(addressFrame(2, 512, 600));
  EXPECT_EQ(host.readCount(1, 1000), kAck);
  const ByteString frame = dataFrame(pattern(512, 4), 2);
  const std::size_t cuts[] = {0, 1, 200, 513};
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(host.readFor(30), "") << "verdict before the frame was complete";
    host.send(frame.substr(cuts[i], (i < 3 ? cuts[i + 1] : 514) - cuts[i]));
  }
  EXPECT_EQ(host.readCount(1, 1000), kAck);
  host.stop();
  const nlohmann::json record = frameOf(host.reportJson(), 2, 1);
  EXPECT_EQ(record.at("length"), 514);
  EXPECT_LT(record.at("first_us").get<int64_t>(), record.at("last_us").get<int64_t>());
}

TEST(SimTransfer, partialFrameThenSilence_isNakedAsGarbage) {
  SimHost host({"--announce-ms", "0", "--frame-gap-ms", "150"});
  ASSERT_TRUE(host.ready());
  host.handshake();
  host.send(addressFrame(1, 0, 10).substr(0, 9));
  EXPECT_EQ(host.readFor(80), "");
  EXPECT_EQ(host.readCount(1, 1000), kNak);
  host.send(addressFrame(1, 0, 10));
  EXPECT_EQ(host.readCount(1, 1000), kAck);
  host.stop();
  const nlohmann::json report = host.reportJson();
  EXPECT_EQ(frameOf(report, 1, 1).at("kind"), "partial");
  EXPECT_EQ(frameOf(report, 1, 1).at("length"), 9);
  EXPECT_EQ(frameOf(report, 1, 2).at("verdict"), "ACK");
}

TEST(SimTransfer, hostClosesAndReopens_lineStaysUsable) {
  SimHost host({"--announce-ms", "0"});
  ASSERT_TRUE(host.ready());
  host.handshake();
  host.closeLine();
  host.reopenLine();
  host.setSpeed(B38400);
  host.send(endFrame());
  EXPECT_EQ(host.readCount(1, 1000), kAck);
}

TEST(SimTransfer, framesAfterTheEnd_startANewSessionOnlyWithALoadCommand) {
  SimHost host({"--announce-ms", "0"});
  ASSERT_TRUE(host.ready());
  host.handshake();
  host.send(endFrame());
  EXPECT_EQ(host.readCount(1, 1000), kAck);
  host.send(endFrame());
  EXPECT_EQ(host.readFor(200), "");
  EXPECT_EQ(host.handshake(), "As\rTorvane Ready to Receive\r" + kStx);
  host.send(endFrame());
  EXPECT_EQ(host.readCount(1, 1000), kAck);
  host.stop();
  const nlohmann::json report = host.reportJson();
  EXPECT_EQ(report.at("sessions"), 2) << host.report();
  EXPECT_TRUE(hasEntry(report.at("received"), {{"note", "ignored: after the end frame"}}));
}

// Each row: the fault, then what the host receives for each send of frame 1
// (an address frame for an empty image) until it is accepted, then the same
// for frame 2 (the end frame).
TEST(SimFaults, namedFaults_giveTheirVerdictsOnTheirFrame) {
  const struct {
    std::vector<std::string> fault;
    std::vector<ByteString> frameOne;
    std::vector<ByteString> frameTwo;
  } rows[] = {
      {{"--nak-once", "1"}, {kNak, kAck}, {kAck}},
      {{"--nak-times", "1:3"}, {kNak, kNak, kNak, kAck}, {kAck}},
      {{"--stx-instead", "1"}, {kStx, kAck}, {kAck}},
      {{"--etx-instead", "2"}, {kAck}, {kEtx}},
      {{"--can-at", "1"}, {kCan, kAck}, {kAck}},
      {{"--corrupt-at", "1"}, {kNak, kAck}, {kAck}},
      {{"--corrupt-at", "2"}, {kAck}, {kNak, kAck}},
      {{"--noise", "1:hello"}, {"hello" + kAck}, {kAck}},
      {{"--noise", "0:0x0d0a"}, {"\r\n" + kAck}, {"\r\n" + kAck}},
      {{"--nak-once", "2", "--nak-once", "1"}, {kNak, kAck}, {kNak, kAck}},
  };
  for (const auto& row : rows) {
    std::vector<std::string> args = row.fault;
    args.insert(args.end(), {"--announce-ms", "0"});
    SimHost host(args);
    ASSERT_TRUE(host.ready());
    host.handshake();
    const std::string name = row.fault[0] + " " + row.fault[1];
    for (const ByteString& expected : row.frameOne) {
      host.send(addressFrame(1, 0, 0));
      EXPECT_EQ(host.readCount(expected.size(), 1000), expected) << name;
    }
    for (const ByteString& expected : row.frameTwo) {
      host.send(endFrame());
      EXPECT_EQ(host.readCount(expected.size(), 1000), expected) << name;
    }
    EXPECT_NE(host.stop().find("end frame received, OK"), std::string::npos) << name;
  }
}

TEST(SimFaults, silentAt_answersNothingFromThatFrameOn) {
  SimHost host({"--announce-ms", "0", "--silent-at", "2"});
  ASSERT_TRUE(host.ready());
  host.handshake();
  host.send(addressFrame(1, 0, 0));
  EXPECT_EQ(host.readCount(1, 1000), kAck);
  host.send(endFrame());
  EXPECT_EQ(host.readFor(300), "");
  host.send(endFrame());
  EXPECT_EQ(host.readFor(100), "");
  EXPECT_NE(host.stop().find("no end frame, INCOMPLETE"), std::string::npos);
  const nlohmann::json report = host.reportJson();
  EXPECT_EQ(frameOf(report, 2, 1).at("verdict"), "none");
  EXPECT_TRUE(hasEntry(report.at("received"), {{"note", "ignored: silent"}}));
}

TEST(SimFaults, hangupAt_closesTheLineAndExitsWithAReport) {
  SimHost host({"--announce-ms", "0", "--hangup-at", "2"});
  ASSERT_TRUE(host.ready());
  host.handshake();
  host.send(addressFrame(1, 0, 600));
  EXPECT_EQ(host.readCount(1, 1000), kAck);
  host.send(dataFrame(pattern(512, 5), 1));
  EXPECT_EQ(host.readFor(300), "");
  EXPECT_TRUE(host.hungUp());
  EXPECT_EQ(host.waitExit(2000), "sim: 1 images, 0 bytes, 2 frames, 0 NAK, hung up, no end frame, INCOMPLETE");
  const nlohmann::json report = host.reportJson();
  EXPECT_EQ(report.at("hung_up"), true);
  EXPECT_EQ(frameOf(report, 2, 1).at("verdict"), "hang-up");
  EXPECT_TRUE(hasEntry(report.at("images"), {{"size", 600}, {"received", 0}, {"complete", false}}));
}

TEST(SimFaults, wrongSpeed_garblesStxAt38400AndAnswersOnlyAt9600) {
  SimHost host({"--announce-ms", "0", "--wrong-speed"});
  ASSERT_TRUE(host.ready());
  const ByteString got = host.handshake();
  EXPECT_EQ(got.find('\x02'), ByteString::npos);
  EXPECT_NE(got.find(ByteString("\x80\x00", 2)), ByteString::npos);
  host.send(endFrame());
  EXPECT_EQ(host.readFor(200), "");
  host.setSpeed(B9600);
  EXPECT_EQ(host.readCount(1, 1000), kStx);
  host.send(endFrame());
  EXPECT_EQ(host.readCount(1, 1000), kAck);
  host.stop();
  EXPECT_TRUE(hasEntry(host.reportJson().at("received"),
                       {{"speed", 38400}, {"length", 15}, {"hex", "ffffffffffffffffffffffffffd6df"}}));
}

TEST(SimTiming, pace_holdsTheVerdictForTheLineTimeAndTurnaround) {
  SimHost host({"--announce-ms", "0", "--pace", "--turnaround-ms", "20"});
  ASSERT_TRUE(host.ready());
  host.handshake();
  host.send(addressFrame(1, 0, 512));
  EXPECT_EQ(host.readCount(1, 1000), kAck);
  const auto start = std::chrono::steady_clock::now();
  host.send(dataFrame(pattern(512, 6), 1));
  EXPECT_EQ(host.readCount(1, 1000), kAck);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  // 514 bytes + 1 verdict byte at 3840 bytes/s is 134 ms, plus 20 ms.
  EXPECT_GE(elapsed, std::chrono::milliseconds(150));
  host.stop();
  const nlohmann::json frame = frameOf(host.reportJson(), 2, 1);
  EXPECT_GE(frame.at("verdict_us").get<int64_t>() - frame.at("first_us").get<int64_t>(), 154000);
}

TEST(SimTiming, hostTurnaround_isMeasuredFromThePreviousVerdict) {
  SimHost host({"--announce-ms", "0"});
  ASSERT_TRUE(host.ready());
  host.handshake();
  host.send(addressFrame(1, 0, 0));
  EXPECT_EQ(host.readCount(1, 1000), kAck);
  sleepMs(60);
  host.send(endFrame());
  EXPECT_EQ(host.readCount(1, 1000), kAck);
  host.stop();
  EXPECT_GE(frameOf(host.reportJson(), 2, 1).at("host_turnaround_us").get<int64_t>(), 60000);
}

TEST(SimExit, idleExit_endsTheRunIncompleteWithAReport) {
  SimHost host({"--announce-ms", "0", "--idle-exit-ms", "200"});
  ASSERT_TRUE(host.ready());
  EXPECT_EQ(host.waitExit(2000), "sim: 0 images, 0 bytes, 0 frames, 0 NAK, no end frame, INCOMPLETE");
  EXPECT_EQ(host.reportJson().at("exit_reason"), "idle");
}

TEST(SimExit, lingerAfterEnd_exitsOnlyAfterTheLinger) {
  SimHost host({"--announce-ms", "0", "--linger-ms", "300"});
  ASSERT_TRUE(host.ready());
  host.handshake();
  host.send(endFrame());
  EXPECT_EQ(host.readCount(1, 1000), kAck);
  EXPECT_EQ(host.waitExit(150), "");
  EXPECT_NE(host.waitExit(2000).find("OK"), std::string::npos);
}

TEST(SimCommandLine, helpAndBadOptions_areHandled) {
  const std::string bin = TORVANE_BIN_DIR "/torvane-sim";
  auto run = [&](const std::string& args, std::string& out) {
    FILE* pipe = ::popen((bin + " " + args + " 2>&1").c_str(), "r");
    char buffer[4096];
    std::size_t n;
    out.clear();
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    return WEXITSTATUS(::pclose(pipe));
  };
  std::string out;
  EXPECT_EQ(run("--help", out), 0);
  for (const char* option :
       {"--model",     "--load-reply",   "--no-ready",    "--emergency",   "--announce-ms",   "--wrong-speed",
        "--nak-once",  "--nak-times",    "--stx-instead", "--etx-instead", "--can-at",        "--corrupt-at",
        "--noise",     "--silent-at",    "--hangup-at",   "--pace",        "--turnaround-ms", "--exit-after-end",
        "--linger-ms", "--idle-exit-ms", "--report",      "--save-images", "--unplug-at"}) {
    EXPECT_NE(out.find(option), std::string::npos) << option;
  }
  EXPECT_EQ(run("--frobnicate", out), 2);
  EXPECT_NE(out.find("--frobnicate (see torvane-sim --help)"), std::string::npos) << out;
  EXPECT_EQ(run("--version", out), 0);
  EXPECT_EQ(out.rfind("torvane-sim ", 0), 0u) << out;
  EXPECT_EQ(run("--nak-times 3", out), 2);
  EXPECT_NE(out.find("invalid value for --nak-times"), std::string::npos);
}

}  // namespace
}  // namespace torvane::sim::testing
