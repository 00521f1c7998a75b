#include "link/transmit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "encoding/fault.h"
#include "link/frames.h"
#include "tests/fakes/procedure_rig.h"

namespace torvane {
namespace {

using testing::FakeSerialPort;
using testing::FakeWindow;
using testing::ProcedureRig;

const std::string kWaiting = "\r\n  Waiting for acknowledgement";
const std::string kAck = " Status: Received ACK";
const std::string kNak = " Status: Received NAK, resending data";
const std::string kCan = " Status: Received program fail - ";
const std::string kEtx = " Status: Received ETX, code programmed successfully.";
const std::string kStx = " Status: Received STX, resending data";
const std::string kTimeOut = " Status: Received Time out";

// Lets a test see what the window showed at the moment the port was closed.
class CloseWatchingPort : public FakeSerialPort {
 public:
  using FakeSerialPort::FakeSerialPort;
  std::function<void()> beforeClose;
  void setPortOpen(bool open) override {
    if (!open && beforeClose) beforeClose();
    FakeSerialPort::setPortOpen(open);
  }
};

struct Reply {
  double after;  // seconds after the write
  ByteString bytes;
};

class TransmitTest : public ::testing::Test, protected ProcedureRig<CloseWatchingPort> {
 protected:
  void SetUp() override {
    port.setPortOpen(true);
    port.setSettings("38400,N,8,1");
    window.setStatus(" Status: Sending data ");
    ByteString block;
    for (int i = 0; i < 512; ++i) appendByte(block, static_cast<uint8_t>(i * 13 + 1));
    frame = dataFrame(block, 1);
  }

  // The n-th write is answered with replies[n]; later writes get no answer.
  void answerWrites(std::vector<Reply> replies) {
    port.device(1).onWrite = [this, replies, n = std::size_t{0}](const ByteString&) mutable {
      if (n < replies.size() && !replies[n].bytes.empty()) {
        port.device(1).receiveAt(clock.now + replies[n].after, replies[n].bytes);
      }
      ++n;
    };
  }

  int clears() const { return static_cast<int>(std::count(port.log.begin(), port.log.end(), "clear")); }

  ByteString frame;
};

TEST_F(TransmitTest, eachVerdict_givesItsResultStatusRepaintsAndWrites) {
  const std::string sent = " Status: Sending data (514 bytes, 1)" + kWaiting;
  const struct {
    const char* name;
    std::vector<Reply> replies;
    int16_t result;  // the frame result's number
    std::vector<std::string> repaints;
    bool portOpen;
  } cases[] = {
      {"ACK", {{0.1, "\x06"}}, 0, {sent, kAck}, true},
      {"ETX", {{0.1, "\x03"}}, 0, {sent, kEtx}, true},
      {"CAN", {{0.1, "\x18"}}, 24, {sent, kCan}, false},
      {"NAK", {{0.1, "\x15"}, {0.1, "\x06"}}, 0, {sent, kNak, kNak + "(514 bytes, 1)" + kWaiting, kAck}, true},
      {"STX", {{0.1, "\x02"}, {0.1, "\x06"}}, 0, {sent, kStx, kStx + "(514 bytes, 1)" + kWaiting, kAck}, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    port.writes.clear();
    window.repaints.clear();
    ctx.state.packetCount = 0;
    if (!port.portOpen()) port.setPortOpen(true);
    window.setStatus(" Status: Sending data ");
    answerWrites(c.replies);

    EXPECT_EQ(static_cast<int16_t>(Transmit(ctx, frame)), c.result);
    EXPECT_EQ(window.repaints, c.repaints);
    EXPECT_EQ(window.status(), c.repaints.back());
    ASSERT_EQ(port.writes.size(), c.replies.size());
    for (const auto& w : port.writes) EXPECT_EQ(w.bytes, frame);
    EXPECT_EQ(port.portOpen(), c.portOpen);
    EXPECT_EQ(ctx.state.packetCount, 1);
  }
}

TEST_F(TransmitTest, severalVerdictsInOneRead_decidedByTestOrder) {
  const struct {
    ByteString firstReply;
    std::size_t writes;
    int16_t result;
    std::string status;
    bool portOpen;
  } cases[] = {
      {"\x15\x06", 1, 0, kAck, true},                                    // NAK then ACK: ACK is tested first
      {"\x06\x15", 1, 0, kAck, true}, {"\x15\x18", 2, 0, kAck, true},    // NAK beats CAN: resent, the CAN is lost
      {"\x18\x15", 2, 0, kAck, true}, {"\x18\x03", 1, 24, kCan, false},  // CAN beats ETX
      {"\x02\x03", 1, 0, kEtx, true},                                    // ETX beats STX
      {"xx\x02yy", 2, 0, kAck, true},                                    // a verdict anywhere in the text counts
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.firstReply));
    port.writes.clear();
    if (!port.portOpen()) port.setPortOpen(true);
    answerWrites({{0.1, c.firstReply}, {0.1, "\x06"}});
    window.setStatus(" Status: Sending data ");

    EXPECT_EQ(static_cast<int16_t>(Transmit(ctx, frame)), c.result);
    EXPECT_EQ(port.writes.size(), c.writes);
    EXPECT_EQ(window.status(), c.status);
    EXPECT_EQ(port.portOpen(), c.portOpen);
  }
}

TEST_F(TransmitTest, verdictSplitOverReads_isFoundInWholeReceivedText) {
  port.device(1).receiveAt(1000.5, "Torvane noise ");
  port.device(1).receiveAt(1001.0, "\r\n");
  port.device(1).receiveAt(1002.0, "\x06");
  EXPECT_EQ(Transmit(ctx, frame), FrameResult::Accepted);
  EXPECT_DOUBLE_EQ(clock.now, 1002.0);
  EXPECT_EQ(port.writes.size(), 1u);
}

TEST_F(TransmitTest, staleVerdictFromPreviousFrame_countsForNextFrame) {
  // The machine answers the first frame twice; the second ACK arrives after
  // the first call has returned and is taken as the verdict of the next frame.
  answerWrites({{0.01, "\x06"}});
  port.device(1).receiveAt(1000.5, "\x06");
  ASSERT_EQ(Transmit(ctx, frame), FrameResult::Accepted);
  EXPECT_DOUBLE_EQ(clock.now, 1000.01);

  window.setStatus(" Status: Sending end of transmission ");
  EXPECT_EQ(Transmit(ctx, endFrame()), FrameResult::Accepted);
  EXPECT_DOUBLE_EQ(clock.now, 1000.5);
  EXPECT_EQ(port.writes.size(), 2u);
  EXPECT_EQ(ctx.state.packetCount, 2);
}

TEST_F(TransmitTest, pendingInputBeforeCall_isNotDiscarded) {
  port.device(1).receiveAt(clock.now - 1, "\x06");  // arrived before the call, not yet read
  EXPECT_EQ(Transmit(ctx, frame), FrameResult::Accepted);
  EXPECT_EQ(window.status(), kAck);
  EXPECT_DOUBLE_EQ(clock.now, 1000.0);
  EXPECT_EQ(clears(), 1);
}

TEST_F(TransmitTest, inputNoticedButUnread_doesNotWaitForTheDeadline) {
  // A byte that already woke the event loop once (a yield between two frames)
  // wakes nothing again; the wait must still see it at once.
  port.device(1).receiveAt(clock.now + 0.2, "\x06");
  window.yieldWait(0.5);
  ASSERT_DOUBLE_EQ(clock.now, 1000.2);
  EXPECT_EQ(Transmit(ctx, frame), FrameResult::Accepted);
  EXPECT_DOUBLE_EQ(clock.now, 1000.2);
}

TEST_F(TransmitTest, noiseOnly_timesOutAtExactlyTwentySecondsWithPortOpen) {
  for (double t : {0.5, 5.0, 12.0, 19.99}) port.device(1).receiveAt(1000 + t, ByteString("ab\r\n\x00\xFF\x7F\x05", 8));
  EXPECT_EQ(Transmit(ctx, frame), FrameResult::TimedOut);
  EXPECT_NEAR(clock.now, 1020.0, 1e-9);
  EXPECT_EQ(window.status(), kTimeOut);
  EXPECT_EQ(window.repaints.back(), kTimeOut);
  EXPECT_TRUE(port.portOpen());
  EXPECT_EQ(port.writes.size(), 1u);
  EXPECT_LE(window.waitPasses, 8);  // one pass per arrival and one to the deadline: no spinning
}

// The last pass sleeps until the deadline and still reads what arrived
// during that sleep; nothing later counts.
TEST_F(TransmitTest, verdictAroundDeadline_acceptedUpToIt) {
  const struct {
    double at;
    FrameResult result;
  } cases[] = {{19.9, FrameResult::Accepted},
               {20.0, FrameResult::Accepted},
               {20.001, FrameResult::TimedOut},
               {25.0, FrameResult::TimedOut}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.at);
    port.device(1).arrivals.clear();
    port.device(1).received.clear();
    const double start = clock.now;
    port.device(1).receiveAt(start + c.at, "\x06");
    EXPECT_EQ(Transmit(ctx, frame), c.result);
    EXPECT_LE(clock.now, start + 20.0 + 1e-9);
  }
}

TEST_F(TransmitTest, resend_isByteExactWithSameCountAndFreshClear) {
  ctx.state.packetCount = 6;
  answerWrites({{1.0, "\x15"}, {1.0, "\x02"}, {1.0, "\x06"}});
  EXPECT_EQ(Transmit(ctx, frame), FrameResult::Accepted);
  ASSERT_EQ(port.writes.size(), 3u);
  for (const auto& w : port.writes) EXPECT_EQ(w.bytes, frame);
  EXPECT_EQ(ctx.state.packetCount, 7);
  EXPECT_EQ(clears(), 3);
  const std::vector<std::string> expected = {
      " Status: Sending data (514 bytes, 7)" + kWaiting,
      kNak,
      kNak + "(514 bytes, 7)" + kWaiting,
      kStx,
      kStx + "(514 bytes, 7)" + kWaiting,
      kAck,
  };
  EXPECT_EQ(window.repaints, expected);
  EXPECT_EQ(window.statuses.back(), kAck);
}

TEST_F(TransmitTest, nakAtNineteenSeconds_renewsDeadlineFromResend) {
  answerWrites({{19.0, "\x15"}});
  EXPECT_EQ(Transmit(ctx, frame), FrameResult::TimedOut);
  ASSERT_EQ(port.writes.size(), 2u);
  EXPECT_DOUBLE_EQ(port.writes[1].time, 1019.0);
  EXPECT_NEAR(ctx.state.deadline, 1039.0, 1e-9);
  EXPECT_NEAR(clock.now, 1039.0, 1e-9);
  EXPECT_EQ(window.status(), kTimeOut);
}

TEST_F(TransmitTest, manyResends_haveNoLimit) {
  std::vector<Reply> replies(200, {0.5, "\x15"});
  replies.push_back({0.5, "\x06"});
  answerWrites(replies);
  EXPECT_EQ(Transmit(ctx, frame), FrameResult::Accepted);
  EXPECT_EQ(port.writes.size(), 201u);
  EXPECT_EQ(ctx.state.packetCount, 1);
}

TEST_F(TransmitTest, can_repaintsFailLineThenClosesPort) {
  std::string shownAtClose;
  std::size_t repaintsAtClose = 0;
  port.beforeClose = [&] {
    shownAtClose = window.status();
    repaintsAtClose = window.repaints.size();
  };
  answerWrites({{0.2, "\x18"}});
  EXPECT_EQ(Transmit(ctx, frame), FrameResult::Failed);
  EXPECT_EQ(shownAtClose, kCan);
  EXPECT_EQ(repaintsAtClose, 2u);
  EXPECT_EQ(window.repaints.back(), kCan);
  EXPECT_FALSE(port.portOpen());
  EXPECT_EQ(port.device(1).closes, 1);
}

TEST_F(TransmitTest, statusLine_matchesExamplesForFirstAddressAndSeventhDataFrame) {
  answerWrites({{0.1, "\x06"}, {0.1, "\x06"}});
  window.setStatus(" Status: Sending address ");
  ASSERT_EQ(Transmit(ctx, addressFrame(1, 0, 1000)), FrameResult::Accepted);
  EXPECT_EQ(window.repaints.front(), " Status: Sending address (15 bytes, 1)\r\n  Waiting for acknowledgement");

  ctx.state.packetCount = 6;
  window.setStatus(" Status: Sending data ");
  ASSERT_EQ(Transmit(ctx, frame), FrameResult::Accepted);
  EXPECT_EQ(window.repaints[2], " Status: Sending data (514 bytes, 7)\r\n  Waiting for acknowledgement");
}

TEST_F(TransmitTest, packetCountLimit_overflowsBeforeAnythingIsSent) {
  answerWrites({{0.1, "\x06"}});
  ctx.state.packetCount = 32766;
  ASSERT_EQ(Transmit(ctx, frame), FrameResult::Accepted);
  EXPECT_EQ(ctx.state.packetCount, 32767);
  EXPECT_EQ(window.repaints.front(), " Status: Sending data (514 bytes, 32767)" + kWaiting);

  const std::size_t logSize = port.log.size();
  window.setStatus(" Status: Sending data ");
  try {
    Transmit(ctx, frame);
    FAIL() << "frame 32768 was accepted";
  } catch (const Fault& f) {
    EXPECT_EQ(f.number(), fault::kOverflow);
    EXPECT_EQ(f.source(), "Transmit");
  }
  EXPECT_EQ(ctx.state.packetCount, 32767);
  EXPECT_EQ(port.writes.size(), 1u);
  EXPECT_EQ(port.log.size(), logSize);  // not even a clear
  EXPECT_EQ(window.status(), " Status: Sending data ");
}

TEST_F(TransmitTest, portAndWindowFaults_propagate) {
  const struct {
    const char* name;
    std::function<void()> arrange;
    int32_t number;
  } cases[] = {
      {"output", [&] { port.failNext["output"] = 1; }, fault::kPortIo},
      {"input", [&] { port.failNext["input"] = 1; }, fault::kPortIo},
      {"closed port", [&] { port.setPortOpen(false); }, fault::kPortNotOpen},
      {"window closing", [&] { window.at(clock.now + 3, [&] { ctx.state.closing = true; }); }, fault::kWindowClosed},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (!port.portOpen()) port.setPortOpen(true);
    ctx.state.closing = false;
    c.arrange();
    try {
      Transmit(ctx, frame);
      ADD_FAILURE() << "no fault";
    } catch (const Fault& f) {
      EXPECT_EQ(f.number(), c.number);
    }
  }
}

}  // namespace
}  // namespace torvane
