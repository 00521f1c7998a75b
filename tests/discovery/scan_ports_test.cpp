#include "discovery/scan_ports.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "encoding/fault.h"
#include "tests/fakes/procedure_rig.h"

namespace torvane {
namespace {

using testing::FakeSerialPort;
using testing::FakeWindow;
using testing::ProcedureRig;

std::string scanning(int n) { return " Status: Scanning Port COM" + std::to_string(n) + "\r\n"; }
std::string found(int n) { return " Status: TorVane® found on Com" + std::to_string(n); }
std::string notFound(int n) { return " Status: TorVane® not found on COM" + std::to_string(n) + "\r\n"; }
const std::string kCannotLocate = " Status: Can not locate TorVane®.\r\n  Make sure it is connected and cleared.";

constexpr double kStart = 1000;  // the fake clock's reading when a scan starts

// The fake window with hooks that can fail a window operation, and one
// ordered record of status writes and timer stops.
class ScriptedWindow : public FakeWindow {
 public:
  using FakeWindow::FakeWindow;
  std::function<void(const std::string&)> onStatus;
  std::function<void()> onSelectOption;
  std::function<void()> onStopDelay;
  std::vector<std::string> events;

  void setStatus(const std::string& text) override {
    if (onStatus) onStatus(text);
    events.push_back(text);
    FakeWindow::setStatus(text);
  }
  void selectPortOption(int number) override {
    if (onSelectOption) onSelectOption();
    FakeWindow::selectPortOption(number);
  }
  void stopDelay() override {
    if (onStopDelay) onStopDelay();
    events.push_back("stop");
    FakeWindow::stopDelay();
  }
};

struct Bench : ProcedureRig<FakeSerialPort, ScriptedWindow> {
  Bench() { clock.now = kStart; }

  void scan() { EXPECT_NO_THROW(ScanPorts(ctx)); }

  // The machine, connected and cleared, repeating its announcement.
  void announce(int n, double from = kStart, double to = kStart + 60, double every = 0.25) {
    for (double t = from; t < to; t += every) port.device(n).receiveAt(t, "AA");
  }

  bool untouched(int from, int to) {
    for (int n = from; n <= to; ++n) {
      if (port.device(n).touched) return false;
    }
    return true;
  }

  int totalOpens() {
    int opens = 0;
    for (int n = 1; n <= 9; ++n) opens += port.device(n).opens;
    return opens;
  }
  int totalCloses() {
    int closes = 0;
    for (int n = 1; n <= 9; ++n) closes += port.device(n).closes;
    return closes;
  }
};

// ---- finding the machine ----

TEST(ScanPorts, machineOnCom3_selectsCom3AndLeavesLaterPortsUntouched) {
  Bench b;
  b.window.selectedPort = 1;
  b.port.device(3).receiveAt(kStart + 4.5, "AA");

  b.scan();

  EXPECT_EQ(b.window.statuses,
            (std::vector<std::string>{scanning(1), notFound(1), scanning(2), notFound(2), scanning(3), found(3)}));
  EXPECT_EQ(b.window.selectedPort, 3);
  EXPECT_EQ(b.port.commPort(), 3);
  EXPECT_FALSE(b.port.portOpen());
  EXPECT_TRUE(b.untouched(4, 9));
  EXPECT_EQ(b.totalOpens(), 3);
  EXPECT_EQ(b.totalCloses(), 3);
  // Two full listening windows of 2 s, then half a second on COM3.
  EXPECT_DOUBLE_EQ(b.clock.now, kStart + 4.5);
  EXPECT_EQ(b.window.timerLog, (std::vector<std::string>{"stop", "stop"}));
}

TEST(ScanPorts, scan_setsNoLineSettingsAndListensWithTheCurrentOnes) {
  Bench b;
  b.port.setSettings("38400,N,8,1");  // left by an earlier update run
  const std::size_t before = b.port.log.size();
  b.announce(2);

  b.scan();

  EXPECT_EQ(b.window.status(), found(2));
  for (std::size_t i = before; i < b.port.log.size(); ++i) {
    EXPECT_EQ(b.port.log[i].rfind("settings", 0), std::string::npos) << b.port.log[i];
  }
  EXPECT_EQ(b.port.settings(), "38400,N,8,1");
}

struct ArrivalRow {
  int port;
  double at;  // seconds after the scan started
  ByteString bytes;
};
struct RecognitionCase {
  const char* name;
  std::vector<ArrivalRow> arrivals;
  int foundOn;  // 0: not found anywhere
};

class Recognition : public ::testing::TestWithParam<RecognitionCase> {};

TEST_P(Recognition, receivedText_foundOnlyWhereAAStandsInIt) {
  Bench b;
  b.window.selectedPort = 7;
  for (const auto& a : GetParam().arrivals) b.port.device(a.port).receiveAt(kStart + a.at, a.bytes);

  b.scan();

  const int n = GetParam().foundOn;
  if (n > 0) {
    EXPECT_EQ(b.window.status(), found(n));
    EXPECT_EQ(b.window.selectedPort, n);
    EXPECT_EQ(b.port.commPort(), n);
    EXPECT_TRUE(b.untouched(n + 1, 9));
  } else {
    EXPECT_EQ(b.window.status(), kCannotLocate);
    EXPECT_EQ(b.window.selectedPort, 7);
    EXPECT_EQ(b.port.commPort(), 9);
  }
  EXPECT_FALSE(b.port.portOpen());
}

// Listening windows with every port present: COMn from 2(n-1) to 2n s.
INSTANTIATE_TEST_SUITE_P(
    ScanPorts, Recognition,
    ::testing::Values(RecognitionCase{"AAOnCom3", {{3, 4.5, "AA"}}, 3},
                      RecognitionCase{"AAInTwoReads", {{1, 0.3, "A"}, {1, 0.9, "A"}}, 1},
                      RecognitionCase{"AAWithinOtherBytes", {{5, 8.2, ByteString("\xFF\0xxAAyy\r", 9)}}, 5},
                      RecognitionCase{"AEndingCom2AndAStartingCom3", {{2, 3.9, "xA"}, {3, 4.0, "A"}}, 3},
                      RecognitionCase{"AEndingCom2AndAInCom3sLastPass", {{2, 2.1, "A"}, {3, 5.99, "A"}}, 3},
                      RecognitionCase{"lowerCaseAA", {{1, 0.5, "aa"}}, 0},
                      RecognitionCase{"mixedCase", {{1, 0.5, "Aa"}, {2, 2.5, "aA"}}, 0},
                      RecognitionCase{"twoASeparatedByAByte", {{1, 0.5, "A"}, {1, 1.5, "-A"}}, 0},
                      RecognitionCase{"AAOnCom1AfterItsWindow", {{1, 2.5, "AA"}}, 0},
                      RecognitionCase{"AAOnCom9", {{9, 16.1, "AA"}}, 9}, RecognitionCase{"silence", {}, 0}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- ports that are silent, absent, busy or already open ----

TEST(ScanPorts, noMachine_cannotLocateAndPreviousSelectionKept) {
  Bench b;
  b.window.selectedPort = 4;

  b.scan();

  std::vector<std::string> expected;
  for (int n = 1; n <= 9; ++n) {
    expected.push_back(scanning(n));
    expected.push_back(notFound(n));
  }
  expected.push_back(kCannotLocate);
  EXPECT_EQ(b.window.statuses, expected);
  EXPECT_EQ(b.window.status(), " Status: Can not locate TorVane®.\r\n  Make sure it is connected and cleared.");
  EXPECT_EQ(b.window.selectedPort, 4);
  EXPECT_EQ(b.port.commPort(), 9);
  EXPECT_FALSE(b.port.portOpen());
  EXPECT_EQ(b.totalOpens(), 9);
  EXPECT_EQ(b.totalCloses(), 9);
  EXPECT_DOUBLE_EQ(b.clock.now, kStart + 18);
  EXPECT_EQ(b.window.timerLog.size(), 9u);
}

TEST(ScanPorts, silentWindow_sleepsInsteadOfSpinning) {
  Bench b;
  b.scan();
  // Per silent port: the yield after the scanning text, one sleeping pass
  // that lasts the whole 2 s, the yield after the not-found text.
  EXPECT_EQ(b.window.waitPasses, 9);
  EXPECT_LT(b.window.yields, 50);
}

TEST(ScanPorts, chattyPortWithoutAA_passesFollowArrivalsOnly) {
  Bench b;
  for (double t = 0.1; t < 2; t += 0.1) b.port.device(1).receiveAt(kStart + t, "x");
  b.port.device(2).receiveAt(kStart, "AA");

  b.scan();

  EXPECT_EQ(b.window.status(), found(2));
  // One pass per arrival plus the one that runs to the window's end on COM1,
  // one on COM2.
  EXPECT_LE(b.window.waitPasses, 22);
  EXPECT_DOUBLE_EQ(b.clock.now, kStart + 2);
}

struct UnavailableCase {
  const char* name;
  bool present;
  bool busy;
};

class UnavailablePort : public ::testing::TestWithParam<UnavailableCase> {};

TEST_P(UnavailablePort, port_skippedAtOnceWithoutListeningOrNotFoundText) {
  Bench b;
  b.port.device(1).present = GetParam().present;
  b.port.device(1).busy = GetParam().busy;
  b.port.device(2).present = GetParam().present;
  b.port.device(2).busy = GetParam().busy;
  b.announce(3);

  b.scan();

  EXPECT_EQ(b.window.statuses, (std::vector<std::string>{scanning(1), scanning(2), scanning(3), found(3)}));
  EXPECT_DOUBLE_EQ(b.clock.now, kStart);  // no listening time on COM1 and COM2
  EXPECT_TRUE(b.window.timerLog.empty());
  EXPECT_EQ(b.port.device(1).closes + b.port.device(2).closes, 0);
  EXPECT_EQ(b.window.selectedPort, 3);
  EXPECT_FALSE(b.port.portOpen());
}

INSTANTIATE_TEST_SUITE_P(ScanPorts, UnavailablePort,
                         ::testing::Values(UnavailableCase{"absent", false, false},
                                           UnavailableCase{"inUseElsewhere", true, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ScanPorts, portAlreadyOpen_everyPortSkippedAndPortLeftOpenWithItsNumber) {
  Bench b;
  b.port.setCommPort(2);
  b.port.setPortOpen(true);  // an update run in progress on COM2
  b.window.selectedPort = 2;
  b.announce(2);

  b.scan();

  std::vector<std::string> expected;
  for (int n = 1; n <= 9; ++n) expected.push_back(scanning(n));
  expected.push_back(kCannotLocate);
  EXPECT_EQ(b.window.statuses, expected);
  EXPECT_TRUE(b.port.portOpen());
  EXPECT_EQ(b.port.commPort(), 2);
  EXPECT_EQ(b.port.device(2).closes, 0);
  EXPECT_EQ(b.port.device(2).reads, 0);
  EXPECT_EQ(b.window.selectedPort, 2);
  EXPECT_DOUBLE_EQ(b.clock.now, kStart);
}

TEST(ScanPorts, pauseTimer_stoppedAtTheEndOfEachUnsuccessfulWindowOnly) {
  Bench b;
  b.port.device(2).present = false;
  b.port.device(4).receiveAt(kStart + 4.5, "AA");

  b.scan();

  EXPECT_EQ(b.window.events, (std::vector<std::string>{scanning(1), "stop", notFound(1), scanning(2), scanning(3),
                                                       "stop", notFound(3), scanning(4), found(4)}));
  EXPECT_FALSE(b.window.delayRunning());
}

TEST(ScanPorts, runningPauseTimer_stoppedAfterTheFirstWindow) {
  Bench b;
  b.window.startDelay(3);
  b.announce(2, kStart + 2);

  b.scan();

  EXPECT_EQ(b.window.timerLog, (std::vector<std::string>{"start 3", "stop"}));
  EXPECT_FALSE(b.window.delayRunning());
  EXPECT_EQ(b.window.status(), found(2));
}

// ---- failures on one port ----

TEST(ScanPorts, readFailureOnCom4_endsThatAttemptAndFindsTheMachineOnCom6) {
  Bench b;
  b.port.device(4).failReadAfter = 0;
  b.announce(6);

  b.scan();

  EXPECT_EQ(b.window.statuses,
            (std::vector<std::string>{scanning(1), notFound(1), scanning(2), notFound(2), scanning(3), notFound(3),
                                      scanning(4), scanning(5), notFound(5), scanning(6), found(6)}));
  EXPECT_EQ(b.port.device(4).opens, 1);
  EXPECT_EQ(b.port.device(4).closes, 1);
  EXPECT_EQ(b.totalOpens(), b.totalCloses());
  EXPECT_FALSE(b.port.portOpen());
  EXPECT_EQ(b.window.selectedPort, 6);
  EXPECT_EQ(b.port.commPort(), 6);
}

TEST(ScanPorts, bytesReadBeforeAFailure_stayInTheReceivedText) {
  Bench b;
  b.port.device(1).receiveAt(kStart + 0.5, "A");
  b.port.device(1).failReadAfter = 1;  // the second read fails
  b.port.device(2).receiveAt(kStart + 2.0, "A");

  b.scan();

  EXPECT_EQ(b.window.statuses, (std::vector<std::string>{scanning(1), scanning(2), found(2)}));
  EXPECT_FALSE(b.port.portOpen());
}

struct PortFailureCase {
  const char* name;
  const char* op;
  int times;
  std::vector<std::string> statuses;  // with the machine on COM2
  bool leftOpen;
};

class PortFailure : public ::testing::TestWithParam<PortFailureCase> {};

TEST_P(PortFailure, injectedFailure_neverLeavesTheScan) {
  Bench b;
  b.announce(2, kStart + 2);
  b.port.failNext[GetParam().op] = GetParam().times;

  b.scan();

  EXPECT_EQ(b.window.statuses, GetParam().statuses);
  EXPECT_EQ(b.port.portOpen(), GetParam().leftOpen);
}

INSTANTIATE_TEST_SUITE_P(
    ScanPorts, PortFailure,
    ::testing::Values(PortFailureCase{"openOnce", "open", 1, {scanning(1), scanning(2), found(2)}, false},
                      PortFailureCase{"inputOnce", "input", 1, {scanning(1), scanning(2), found(2)}, false},
                      // The close after COM1's window fails once and is tried again.
                      PortFailureCase{
                          "closeOnce", "close", 1, {scanning(1), notFound(1), scanning(2), found(2)}, false},
                      // A port that cannot be closed at all stays open on COM1; every later
                      // selection then fails, as with a port open before the scan.
                      PortFailureCase{"closeAlways",
                                      "close",
                                      100,
                                      {scanning(1), notFound(1), scanning(2), scanning(3), scanning(4), scanning(5),
                                       scanning(6), scanning(7), scanning(8), scanning(9), kCannotLocate},
                                      true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ScanPorts, foundWithCloseFailingOnce_portClosedAndSelected) {
  Bench b;
  b.announce(1);
  b.port.failNext["close"] = 1;

  b.scan();

  EXPECT_EQ(b.window.status(), found(1));
  EXPECT_FALSE(b.port.portOpen());
  EXPECT_EQ(b.port.device(1).closes, 1);
  EXPECT_EQ(b.window.selectedPort, 1);
  EXPECT_EQ(b.port.commPort(), 1);
}

TEST(ScanPorts, foundWithCloseFailingTwice_stillReportedAndSelectedOnItsPort) {
  Bench b;
  b.window.selectedPort = 1;
  b.announce(5);
  for (int n = 1; n <= 4; ++n) b.port.device(n).present = false;
  b.port.failNext["close"] = 2;

  b.scan();

  EXPECT_EQ(b.window.status(), found(5));
  EXPECT_EQ(b.window.selectedPort, 5);
  EXPECT_TRUE(b.port.portOpen());  // the next update run's failure path closes it
  EXPECT_EQ(b.port.commPort(), 5);
}

TEST(ScanPorts, windowOperationFailures_neverLeaveTheScan) {
  Bench b;
  b.announce(3);
  b.window.onStatus = [](const std::string& text) {
    if (text == scanning(2)) throw Fault(fault::kInvalidArgument, "status write failed", "lblStatus");
    if (text == found(3)) throw std::runtime_error("paint failed");
  };
  b.window.onStopDelay = [] { throw Fault(fault::kOverflow, "timer failed", "delay"); };

  b.scan();

  // COM1: the timer stop fails after its window, the port is closed, no
  // not-found text. COM2: its status write fails before it is opened.
  EXPECT_EQ(b.window.statuses, (std::vector<std::string>{scanning(1), scanning(3)}));
  EXPECT_FALSE(b.port.device(2).touched);
  EXPECT_EQ(b.port.device(1).closes, 1);
  EXPECT_EQ(b.window.selectedPort, 3);
  EXPECT_EQ(b.port.commPort(), 3);
  EXPECT_FALSE(b.port.portOpen());
}

TEST(ScanPorts, optionSelectionFailure_portNumberStillSet) {
  Bench b;
  b.announce(4);
  b.window.onSelectOption = [] { throw Fault(fault::kInvalidArgument, "option failed", "OptCom"); };

  b.scan();

  EXPECT_EQ(b.window.status(), found(4));
  EXPECT_EQ(b.port.commPort(), 4);
  EXPECT_FALSE(b.port.portOpen());
}

TEST(ScanPorts, yieldThrowingAnythingElse_neverLeavesTheScanAndClosesThePort) {
  Bench b;
  b.window.passLimit = 2;  // from the third yield on, every yield throws

  b.scan();

  EXPECT_FALSE(b.port.portOpen());
  EXPECT_EQ(b.totalOpens(), b.totalCloses());
  EXPECT_EQ(b.window.status(), kCannotLocate);
}

// ---- re-entry and closing ----

TEST(ScanPorts, nestedScanBeforeOpening_innerRunsToItsEndAndOuterFindsAgain) {
  Bench b;
  b.announce(3);
  int nested = 0;
  b.window.at(kStart, [&] {
    ++nested;
    ScanPorts(b.ctx);  // "Configure Port" during the outer scan's first yield
  });

  b.scan();

  EXPECT_EQ(nested, 1);
  const auto& s = b.window.statuses;
  EXPECT_EQ(std::count(s.begin(), s.end(), found(3)), 2);  // inner, then outer
  EXPECT_EQ(b.window.status(), found(3));
  EXPECT_EQ(b.window.selectedPort, 3);
  EXPECT_EQ(b.port.commPort(), 3);
  EXPECT_FALSE(b.port.portOpen());
  EXPECT_EQ(b.totalOpens(), b.totalCloses());
}

TEST(ScanPorts, nestedScanWhileListening_innerSkipsTheOpenPortAndOuterFinishes) {
  Bench b;
  b.window.selectedPort = 8;
  b.announce(3);
  int nested = 0;
  b.window.at(kStart + 1, [&] {
    ++nested;
    ScanPorts(b.ctx);  // COM1 is open by the outer scan
  });

  b.scan();

  EXPECT_EQ(nested, 1);
  std::vector<std::string> expected{scanning(1)};
  for (int n = 1; n <= 9; ++n) expected.push_back(scanning(n));
  expected.push_back(kCannotLocate);
  for (const auto& text : {notFound(1), scanning(2), notFound(2), scanning(3), found(3)}) expected.push_back(text);
  EXPECT_EQ(b.window.statuses, expected);
  EXPECT_EQ(b.port.device(1).closes, 1);  // closed once, by the outer scan
  EXPECT_EQ(b.window.selectedPort, 3);
  EXPECT_FALSE(b.port.portOpen());
  EXPECT_EQ(b.totalOpens(), b.totalCloses());
}

TEST(ScanPorts, windowClosingWhileListening_endsAtOnceWithThePortClosed) {
  Bench b;
  b.announce(3);
  b.window.at(kStart + 3, [&] { b.ctx.state.closing = true; });

  b.scan();

  EXPECT_EQ(b.window.statuses, (std::vector<std::string>{scanning(1), notFound(1), scanning(2)}));
  EXPECT_FALSE(b.port.portOpen());
  EXPECT_EQ(b.port.device(2).closes, 1);
  EXPECT_TRUE(b.untouched(3, 9));
  EXPECT_DOUBLE_EQ(b.clock.now, kStart + 3);
}

TEST(ScanPorts, windowClosingDuringTheFirstYield_opensNothing) {
  Bench b;
  b.window.at(kStart, [&] { b.ctx.state.closing = true; });

  b.scan();

  EXPECT_EQ(b.window.statuses, (std::vector<std::string>{scanning(1)}));
  EXPECT_TRUE(b.untouched(1, 9));
}

TEST(ScanPorts, windowAlreadyClosing_doesNothing) {
  Bench b;
  b.ctx.state.closing = true;

  b.scan();

  EXPECT_TRUE(b.window.statuses.empty());
  EXPECT_TRUE(b.untouched(1, 9));
}

}  // namespace
}  // namespace torvane
