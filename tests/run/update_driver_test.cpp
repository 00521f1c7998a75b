#include "run/update_driver.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "discovery/scan_ports.h"
#include "encoding/fault.h"
#include "link/frames.h"
#include "tests/fakes/fake_run_observer.h"
#include "tests/fakes/procedure_rig.h"
#include "tests/support/scratch_folder.h"

namespace torvane {
namespace {

using testing::ProcedureRig;
namespace fs = std::filesystem;

const std::string kWaitLoad = " Status: Waiting for response to load command";
const std::string kWaitReady = " Status: Waiting for response-TorVane\u00AE Ready to Receive<CR>";
const std::string kTorvaneReady = " Status: TorVane\u00AE in Receive Mode";
const std::string kBaud = " Status: Changing baud rate to 38400";
const std::string kWaitStx = " Status: Waiting for STX";
const std::string kStxTimedOut = " Status: Waiting for STX timed out, program end";
const std::string kReadyBox = "receiving (TorVane Ready to Receive<CR>) time out";

class UpdateDriverTest : public ::testing::Test, protected ProcedureRig<> {
 protected:
  test::ScratchWorkingFolder folder{"torvane-driver"};

  void SetUp() override {
    ASSERT_FALSE(folder.dir().empty());
    ctx.workingFolder = folder.dir();
    std::ofstream("program.txt").close();  // an empty list: only the end frame is sent
  }

  // A machine on `com` that answers the load command and "A" like the real one.
  void machine(int com, const ByteString& loadReply, const ByteString& readyReply) {
    port.respond(com, "s\r", loadReply, 0.2);
    if (!readyReply.empty()) port.respond(com, "s\r", readyReply, 0.4);
    port.respond(com, "A", "\x02", 0.1);
    ackEndFrame(com);
  }
  void ackEndFrame(int com) { port.respond(com, endFrame(), "\x06", 0.01); }

  std::vector<std::string> distinctStatuses() const {
    std::vector<std::string> out;
    for (const auto& s : window.statuses) {
      if (out.empty() || out.back() != s) out.push_back(s);
    }
    return out;
  }
  std::vector<ByteString> written() const {
    std::vector<ByteString> out;
    for (const auto& w : port.writes) out.push_back(w.bytes);
    return out;
  }
  std::string endedTimeLine() const { return "Start: " + ctx.state.startTime + "\r\nEnd:  " + ctx.state.endTime; }

  void expectEndedCleanly() {
    EXPECT_FALSE(port.portOpen());
    EXPECT_FALSE(window.busyPointer);
    ASSERT_FALSE(window.pointers.empty());
    EXPECT_TRUE(window.pointers.front());
    EXPECT_EQ(window.timeLine(), endedTimeLine());
    EXPECT_FALSE(ctx.state.endTime.empty());
    EXPECT_FALSE(ctx.state.runInProgress);
  }
};

TEST_F(UpdateDriverTest, answeredRoad_statusSequenceAndCompletion) {
  machine(1, "As\r", "Torvane Ready to Receive\r");
  window.fileName = "c:\\update\\program.txt";
  cmdStart_Click(ctx);

  const std::vector<std::string> expectedStart = {
      " Status: Opening c:\\update\\program.txt",
      " Status: Opening and initiating connection",
      " Status: Sending load command",
      kWaitLoad,
      kWaitLoad + " ",
      kWaitReady,
      " Com String ",
      kTorvaneReady,
      kTorvaneReady + ". Sending A",
      kBaud,
      kWaitStx,
  };
  const auto statuses = distinctStatuses();
  ASSERT_GE(statuses.size(), expectedStart.size());
  EXPECT_EQ(std::vector<std::string>(statuses.begin(), statuses.begin() + expectedStart.size()), expectedStart);
  ASSERT_GE(statuses.size(), 2u);
  EXPECT_EQ(statuses[statuses.size() - 2], " Status: Finished closing connection");
  EXPECT_EQ(window.status(), " Status: UPDATE COMPLETE");
  EXPECT_EQ(window.repaints.back(), " Status: UPDATE COMPLETE");
  EXPECT_TRUE(window.boxes.empty());
  expectEndedCleanly();
  EXPECT_EQ(written(), (std::vector<ByteString>{"s\r", "A", endFrame()}));
  EXPECT_EQ(port.writes[0].settings, "4800,N,8,1");
  EXPECT_EQ(port.writes[1].settings, "4800,N,8,1");
  EXPECT_EQ(port.writes[2].settings, "38400,N,8,1");
}

// A front end's check of the images refuses the run before the port is
// touched; a check that passes changes nothing of the run.
TEST_F(UpdateDriverTest, imageCheckRefusing_endsBeforeThePortOpensWithItsFaultAndBox) {
  machine(1, "As\r", "Torvane Ready to Receive\r");
  testing::FakeRunRecorder recorder;
  ctx.observers = {&recorder};
  std::vector<std::string> checked;
  ctx.verifyImages = [&](const std::filesystem::path&, const std::string& list) -> std::optional<Fault> {
    checked.push_back(list);
    return Fault(fault::kUpdateRefused, "\"code.bin\" does not match SHA256SUMS; nothing was sent", "SHA256SUMS");
  };
  cmdStart_Click(ctx);
  EXPECT_EQ(checked, std::vector<std::string>{"program.txt"});
  EXPECT_FALSE(port.device(1).touched);
  EXPECT_TRUE(port.writes.empty());
  EXPECT_EQ(window.status(), " Error: \"code.bin\" does not match SHA256SUMS; nothing was sent");
  EXPECT_EQ(window.boxes,
            std::vector<std::string>{"8100: \"code.bin\" does not match SHA256SUMS; nothing was sent, SHA256SUMS"});
  EXPECT_EQ(recorder.record().outcome, RunOutcome::Refused);
  expectEndedCleanly();

  ctx.verifyImages = [](const std::filesystem::path&, const std::string&) { return std::optional<Fault>(); };
  cmdStart_Click(ctx);
  EXPECT_EQ(window.status(), " Status: UPDATE COMPLETE");
}

TEST_F(UpdateDriverTest, openSequence_configuresBeforeOpeningAtHandshakeSpeed) {
  machine(1, "As\r", "Torvane Ready to Receive\r");
  cmdStart_Click(ctx);
  const std::vector<std::string> expected = {"select 1",     "inputlen 0",          "outbuffer 1024",
                                             "inbuffer 512", "settings 4800,N,8,1", "open 1"};
  ASSERT_GE(port.log.size(), expected.size());
  EXPECT_EQ(std::vector<std::string>(port.log.begin(), port.log.begin() + expected.size()), expected);
  EXPECT_NE(std::find(port.log.begin(), port.log.end(), "settings 38400,N,8,1"), port.log.end());
  EXPECT_EQ(port.commPort(), 1);
}

TEST_F(UpdateDriverTest, readyReplies_eachModelGetsItsStatus) {
  const struct {
    ByteString reply;
    std::string status;
  } cases[] = {
      {"Torvane Ready to Receive\r", kTorvaneReady},
      {"Teal HERON Ready to Receive\r", " Status: Teal HERON\u2122 Ready to Receive"},
      {"Amber HERON Ready to Receive\r", " Status: Amber HERON\u2122 Ready to Receive"},
      {"echo s\r noise Amber HERON Ready to Receive\r", " Status: Amber HERON\u2122 Ready to Receive"},
      {"Amber HERON Ready to Receive\rTorvane Ready to Receive\r", kTorvaneReady},  // the table's order decides
  };
  for (const ByteString load : {"As\r", "Bs\r", "Cs\r", "Ds\r", "Es\r"}) {
    for (const auto& c : cases) {
      ProcedureRig<> rig;
      auto& [clk, p, w, c2] = rig;
      p.respond(1, "s\r", load, 0.3);
      p.respond(1, "s\r", c.reply, 0.6);
      p.respond(1, "A", "\x02", 0.1);
      p.respond(1, endFrame(), "\x06", 0.01);
      cmdStart_Click(c2);
      EXPECT_NE(std::find(w.statuses.begin(), w.statuses.end(), c.status + ". Sending A"), w.statuses.end())
          << load << " / " << c.reply;
      EXPECT_TRUE(w.boxes.empty());
      EXPECT_EQ(w.status(), " Status: UPDATE COMPLETE");
    }
  }
}

TEST_F(UpdateDriverTest, repliesWithoutCarriageReturn_areNotRecognised) {
  port.respond(1, "s\r", "As", 0.2);  // no CR: not a load reply
  port.device(1).receiveAt(clock.now + 9, "\x02");
  ackEndFrame(1);
  cmdStart_Click(ctx);
  EXPECT_EQ(written(), (std::vector<ByteString>{"s\r", endFrame()}));  // no "A": emergency road
  EXPECT_EQ(window.status(), " Status: UPDATE COMPLETE");
}

// Noise, a ready reply without its carriage return, one in the wrong case.
TEST_F(UpdateDriverTest, readyTimeout_showsBoxThenSendsAAndGoesOn) {
  for (const ByteString reply : {"xyz", "Torvane Ready to Receive", "TORVANE READY TO RECEIVE\r"}) {
    SCOPED_TRACE(reply);
    ProcedureRig<> rig;
    auto& [clk, p, w, c] = rig;
    p.respond(1, "s\r", "As\r", 0.2);
    p.respond(1, "s\r", reply, 1.0);
    p.respond(1, "A", "\x02", 0.1);
    p.respond(1, endFrame(), "\x06", 0.01);
    double boxAt = 0;
    w.onMessageBox = [&](const std::string&) { boxAt = clk.now; };
    const double start = clk.now;
    cmdStart_Click(c);
    ASSERT_EQ(w.boxes, std::vector<std::string>{kReadyBox});
    EXPECT_NEAR(boxAt - start, 0.2 + 5.0, 0.05);  // the ready wait ran its 5 seconds
    EXPECT_NE(std::find(w.statuses.begin(), w.statuses.end(), " Com String " + reply + ". Sending A"),
              w.statuses.end());
    ASSERT_EQ(p.writes.size(), 3u);
    EXPECT_EQ(p.writes[1].bytes, "A");
    EXPECT_EQ(w.status(), " Status: UPDATE COMPLETE");
  }
}

TEST_F(UpdateDriverTest, emergencyRoad_noLoadReply_skipsReadyStageAndWaitsForStx) {
  const double start = clock.now;
  port.device(1).receiveAt(start + 12, "\x02");  // switched on during the STX wait
  ackEndFrame(1);
  cmdStart_Click(ctx);
  EXPECT_TRUE(window.boxes.empty());
  EXPECT_EQ(written(), (std::vector<ByteString>{"s\r", endFrame()}));
  const auto statuses = distinctStatuses();
  const auto baud = std::find(statuses.begin(), statuses.end(), kBaud);
  ASSERT_NE(baud, statuses.end());
  EXPECT_EQ(*(baud - 1), kWaitLoad + " ");
  EXPECT_EQ(*(baud + 1), kWaitStx);
  EXPECT_EQ(std::find(statuses.begin(), statuses.end(), kWaitReady), statuses.end());
  // The load-reply wait lasted its 5 seconds before the baud change.
  const auto change = std::find(port.log.begin(), port.log.end(), "settings 38400,N,8,1");
  ASSERT_NE(change, port.log.end());
  EXPECT_NEAR(port.logTimes[change - port.log.begin()] - start, 5.0, 0.05);
  EXPECT_EQ(window.status(), " Status: UPDATE COMPLETE");
  expectEndedCleanly();
}

TEST_F(UpdateDriverTest, stxTimeout_earlyEndWithoutBox) {
  port.respond(1, "s\r", "As\r", 0.2);
  port.respond(1, "s\r", "Torvane Ready to Receive\r", 0.4);
  const double start = clock.now;
  cmdStart_Click(ctx);
  EXPECT_EQ(window.status(), kStxTimedOut);
  EXPECT_EQ(window.repaints.back(), kStxTimedOut);
  EXPECT_TRUE(window.boxes.empty());
  EXPECT_EQ(written(), (std::vector<ByteString>{"s\r", "A"}));
  EXPECT_NEAR(clock.now - start, 0.4 + 20.0, 0.1);
  expectEndedCleanly();
}

TEST_F(UpdateDriverTest, stxAmongOtherBytes_endsTheWaitAtOnce) {
  port.respond(1, "s\r", "As\r", 0.2);
  port.respond(1, "s\r", "Torvane Ready to Receive\r", 0.4);
  port.respond(1, "A", ByteString("junk\x02more", 9), 0.5);
  ackEndFrame(1);
  cmdStart_Click(ctx);
  EXPECT_EQ(window.status(), " Status: UPDATE COMPLETE");
  ASSERT_EQ(port.writes.size(), 3u);
  EXPECT_LT(port.writes[2].time - port.writes[1].time, 1.0);
}

TEST_F(UpdateDriverTest, failurePath_absentPort_showsErrorAndBox) {
  port.device(1).present = false;
  cmdStart_Click(ctx);
  ASSERT_EQ(window.boxes.size(), 1u);
  EXPECT_EQ(window.boxes[0], "8002: No device behind COM1, FakeSerialPort");
  EXPECT_EQ(window.status(), " Error: No device behind COM1");
  EXPECT_TRUE(port.writes.empty());
  expectEndedCleanly();
}

TEST_F(UpdateDriverTest, failurePath_cancelCode_showsCancelAndNoBox) {
  port.failNumber = fault::kCancel;
  port.failNext["open"] = 1;
  cmdStart_Click(ctx);
  EXPECT_TRUE(window.boxes.empty());
  EXPECT_EQ(window.status(), " Status: Cancel");
  EXPECT_NE(std::find(window.statuses.begin(), window.statuses.end(), " Error: Injected failure of open"),
            window.statuses.end());
  expectEndedCleanly();
}

TEST_F(UpdateDriverTest, failurePath_faultMidRun_closesPortAndRestoresPointer) {
  machine(1, "As\r", "Torvane Ready to Receive\r");
  // The baud change fails: the second settings call.
  window.at(clock.now + 0.25, [&] { port.failNext["settings"] = 1; });
  cmdStart_Click(ctx);
  ASSERT_EQ(window.boxes.size(), 1u);
  EXPECT_EQ(window.boxes[0], "8018: Injected failure of settings, FakeSerialPort");
  EXPECT_EQ(window.status(), " Error: Injected failure of settings");
  expectEndedCleanly();
}

TEST_F(UpdateDriverTest, rejectedFrame_failurePathWithEmptyFault) {
  machine(1, "As\r", "Torvane Ready to Receive\r");
  port.device(1).onWrite = nullptr;
  port.respond(1, "s\r", "As\r", 0.2);
  port.respond(1, "s\r", "Torvane Ready to Receive\r", 0.4);
  port.respond(1, "A", "\x02", 0.1);
  port.respond(1, endFrame(), "\x18", 0.01);  // CAN
  cmdStart_Click(ctx);
  EXPECT_EQ(window.boxes, std::vector<std::string>{"0: , "});
  EXPECT_EQ(window.status(), " Error: ");
  expectEndedCleanly();
}

TEST_F(UpdateDriverTest, noPortOptionSelected_usesComponentsPortNumber) {
  window.selectedPort = 0;
  port.setCommPort(4);
  machine(4, "As\r", "Torvane Ready to Receive\r");
  cmdStart_Click(ctx);
  EXPECT_EQ(window.status(), " Status: UPDATE COMPLETE");
  ASSERT_FALSE(port.writes.empty());
  for (const auto& w : port.writes) EXPECT_EQ(w.port, 4);
}

TEST_F(UpdateDriverTest, selectedPortOption_choosesTheComNumber) {
  window.selectedPort = 7;
  machine(7, "As\r", "Torvane Ready to Receive\r");
  cmdStart_Click(ctx);
  EXPECT_EQ(window.status(), " Status: UPDATE COMPLETE");
  EXPECT_EQ(port.commPort(), 7);
}

TEST_F(UpdateDriverTest, portAlreadyOpen_failsThenNextRunStartsNormally) {
  port.setPortOpen(true);
  cmdStart_Click(ctx);
  ASSERT_EQ(window.boxes.size(), 1u);
  EXPECT_EQ(window.boxes[0].rfind("8005: ", 0), 0u);
  EXPECT_FALSE(port.portOpen());

  machine(1, "As\r", "Torvane Ready to Receive\r");
  cmdStart_Click(ctx);
  EXPECT_EQ(window.status(), " Status: UPDATE COMPLETE");
}

// "Configure Port" during a run: the scan finds the port open, so it selects
// no port, leaves the port open and writes its own texts; the run goes on.
TEST_F(UpdateDriverTest, configureDuringRun_scanLeavesPortOpenAndRunCompletes) {
  window.selectedPort = 2;
  machine(2, "As\r", "Torvane Ready to Receive\r");
  const std::string cannotLocate = " Status: Can not locate TorVane\u00AE.\r\n  Make sure it is connected and cleared.";
  bool portOpenAfterScan = false;
  window.at(clock.now + 0.3, [&] {  // in the ready-reply wait
    ScanPorts(ctx);
    portOpenAfterScan = port.portOpen();
  });
  cmdStart_Click(ctx);
  EXPECT_TRUE(portOpenAfterScan);
  EXPECT_NE(std::find(window.statuses.begin(), window.statuses.end(), cannotLocate), window.statuses.end());
  EXPECT_EQ(window.selectedPort, 2);
  EXPECT_EQ(port.commPort(), 2);
  EXPECT_EQ(std::count(port.log.begin(), port.log.end(), "open 2"), 1);
  EXPECT_EQ(written(), (std::vector<ByteString>{"s\r", "A", endFrame()}));
  EXPECT_TRUE(window.boxes.empty());
  EXPECT_EQ(window.status(), " Status: UPDATE COMPLETE");
  expectEndedCleanly();
}

// "Start Update" during a scan: the run's port choice fails on the port the
// scan holds open, its failure path closes that port; the scan then goes on
// with the next port and finds the machine there.
TEST_F(UpdateDriverTest, startDuringScan_runFailsOnTheOpenPortAndScanGoesOn) {
  window.selectedPort = 1;
  for (double t = 0; t < 10; t += 0.25) port.device(2).receiveAt(clock.now + t, "AA");
  window.at(clock.now + 0.5, [&] { cmdStart_Click(ctx); });  // while COM1 is listened to
  ScanPorts(ctx);
  ASSERT_EQ(window.boxes.size(), 1u);
  EXPECT_EQ(window.boxes[0].rfind("8005: ", 0), 0u) << window.boxes[0];
  EXPECT_TRUE(port.writes.empty());
  EXPECT_EQ(window.status(), " Status: TorVane\u00AE found on Com2");
  EXPECT_EQ(window.selectedPort, 2);
  EXPECT_EQ(port.commPort(), 2);
  EXPECT_FALSE(port.portOpen());
  expectEndedCleanly();
}

// --- deliberate departures from the letter of the run ---

TEST_F(UpdateDriverTest, loadReplyAtTheDeadline_stillCounts) {
  port.respond(1, "s\r", "As\r", 5.0);  // lands exactly when the 5 s run out
  port.respond(1, "s\r", "Torvane Ready to Receive\r", 5.2);
  port.respond(1, "A", "\x02", 0.1);
  ackEndFrame(1);
  port.drainSeconds = 0;
  cmdStart_Click(ctx);
  EXPECT_EQ(written(), (std::vector<ByteString>{"s\r", "A", endFrame()}));
  EXPECT_TRUE(window.boxes.empty());
}

TEST_F(UpdateDriverTest, stxAtTheDeadline_stillCounts) {
  port.respond(1, "s\r", "As\r", 0.2);
  port.respond(1, "s\r", "Torvane Ready to Receive\r", 0.4);
  port.respond(1, "A", "\x02", 20.0);
  ackEndFrame(1);
  cmdStart_Click(ctx);
  EXPECT_EQ(window.status(), " Status: UPDATE COMPLETE");
}

TEST_F(UpdateDriverTest, readyReplyInSameReadAsLoadReply_isRecognised) {
  const ByteString splits[][2] = {
      {"As\rTorvane Ready to Receive\r", ""},
      {"As\rTorva", "ne Ready to Receive\r"},
      {"noise As\rTorvane Ready to Receive", "\r"},
      {"A", "s\rTorvane Ready to Receive\r"},  // the load reply split across two reads
  };
  for (const auto& s : splits) {
    ProcedureRig<> rig;
    auto& [clk, p, w, c] = rig;
    p.respond(1, "s\r", s[0], 0.2);
    if (!s[1].empty()) p.respond(1, "s\r", s[1], 0.5);
    p.respond(1, "A", "\x02", 0.1);
    p.respond(1, endFrame(), "\x06", 0.01);
    cmdStart_Click(c);
    EXPECT_TRUE(w.boxes.empty()) << s[0];
    EXPECT_NE(std::find(w.statuses.begin(), w.statuses.end(), kTorvaneReady + ". Sending A"), w.statuses.end()) << s[0];
  }
}

TEST_F(UpdateDriverTest, commandBytes_drainBeforeQueueIsCleared) {
  machine(1, "As\r", "Torvane Ready to Receive\r");
  port.drainSeconds = 0.05;  // a slow line: the queue holds the bytes for 50 ms
  cmdStart_Click(ctx);
  EXPECT_EQ(port.clearsWithPending, 0);
  EXPECT_EQ(window.status(), " Status: UPDATE COMPLETE");
  // "A" was on the line (its queue empty and its byte time passed) before 38400 was set.
  const auto change = std::find(port.log.begin(), port.log.end(), "settings 38400,N,8,1");
  ASSERT_NE(change, port.log.end());
  EXPECT_GE(port.logTimes[change - port.log.begin()], port.writes[1].time + 0.05);
}

TEST_F(UpdateDriverTest, stuckTransmitQueue_doesNotHangTheRun) {
  machine(1, "As\r", "Torvane Ready to Receive\r");
  port.drainSeconds = 1e9;  // never drains
  cmdStart_Click(ctx);
  EXPECT_EQ(window.status(), " Status: UPDATE COMPLETE");
}

TEST_F(UpdateDriverTest, secondStartDuringRun_isIgnored) {
  machine(1, "As\r", "Torvane Ready to Receive\r");
  int nested = 0;
  window.at(clock.now + 0.3, [&] {
    ++nested;
    cmdStart_Click(ctx);
  });
  cmdStart_Click(ctx);
  EXPECT_EQ(nested, 1);
  EXPECT_EQ(std::count(port.log.begin(), port.log.end(), "open 1"), 1);
  EXPECT_EQ(window.status(), " Status: UPDATE COMPLETE");
  EXPECT_TRUE(window.boxes.empty());
}

TEST_F(UpdateDriverTest, windowClosedDuringRun_endsRunWithPortClosedAndNoBox) {
  machine(1, "As\r", "Torvane Ready to Receive\r");
  port.device(1).onWrite = nullptr;
  port.respond(1, "s\r", "As\r", 0.2);  // no ready reply: the run sits in the 5-s ready wait
  window.at(clock.now + 1.0, [&] { ctx.state.closing = true; });
  cmdStart_Click(ctx);
  EXPECT_TRUE(window.boxes.empty());
  EXPECT_EQ(written(), std::vector<ByteString>{"s\r"});
  EXPECT_LT(clock.now, 1000.0 + 1.1);
  expectEndedCleanly();
}

TEST_F(UpdateDriverTest, pause_waitsForItsOwnTick) {
  machine(1, "As\r", "Torvane Ready to Receive\r");
  ctx.state.timerFired = 1;  // a stale tick from before must not count
  cmdStart_Click(ctx);
  EXPECT_EQ(window.timerLog, (std::vector<std::string>{"start 3", "stop"}));
  EXPECT_EQ(ctx.state.timerFired, 1);
  EXPECT_FALSE(window.delayRunning());
  const auto change = std::find(port.log.begin(), port.log.end(), "settings 38400,N,8,1");
  ASSERT_NE(change, port.log.end());
  EXPECT_GE(port.logTimes[change - port.log.begin()] - port.writes[1].time, 0.003);
}

TEST_F(UpdateDriverTest, waits_sleepInsteadOfSpinning) {
  cmdStart_Click(ctx);  // silent machine: 5 s load wait + 20 s STX wait
  EXPECT_EQ(window.status(), kStxTimedOut);
  EXPECT_LT(window.yields, 100);
}

}  // namespace
}  // namespace torvane
