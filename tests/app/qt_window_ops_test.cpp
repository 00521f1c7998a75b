// The window operations on the real window: texts, options, the pause timer,
// the pointer, message boxes, and waits that sleep instead of spinning.
#include <unistd.h>
#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QTest>
#include <ctime>

#include "tests/app/window_fixture.h"

namespace torvane::testing {
namespace {

double processCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

class QtWindowOpsTest : public WindowTest {};

TEST_F(QtWindowOpsTest, setStatus_keepsRawTextAndShowsCrLfAsNewLine) {
  ops.setStatus(" Status: Com String AAx\r\nnext");
  EXPECT_EQ(ops.status(), " Status: Com String AAx\r\nnext");
  EXPECT_EQ(label("lblStatus")->text(), QStringLiteral(" Status: Com String AAx\nnext"));
  ops.setStatus(" Status: UPDATE COMPLETE");  // replaces the whole text
  EXPECT_EQ(ops.status(), " Status: UPDATE COMPLETE");
  EXPECT_EQ(label("lblStatus")->text(), QStringLiteral(" Status: UPDATE COMPLETE"));
}

TEST_F(QtWindowOpsTest, setStatus_showsMarkupAndOddBytesAsPlainText) {
  const std::string odd = std::string(" Status: <b>&x") + '\xFF' + '\x02';
  ops.setStatus(odd);
  EXPECT_EQ(ops.status(), odd);  // the raw bytes come back unchanged
  EXPECT_TRUE(label("lblStatus")->text().startsWith(QStringLiteral(" Status: <b>&x")));
}

TEST_F(QtWindowOpsTest, setTimeLine_showsStartAndEndOnTwoLines) {
  ops.setTimeLine("Start: 10:00:00\r\nEnd:  10:15:02");
  EXPECT_EQ(label("lblTime")->text(), QStringLiteral("Start: 10:00:00\nEnd:  10:15:02"));
}

// Counts the paint events a widget receives.
struct PaintCounter : QObject {
  int paints = 0;
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Paint) ++paints;
    return false;
  }
};

TEST_F(QtWindowOpsTest, repaint_paintsTheWindowAtOnce) {
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  PaintCounter counter;
  label("lblStatus")->installEventFilter(&counter);
  ops.setStatus(" Status: Sending A");
  ops.repaint();  // no event processing in between
  EXPECT_GT(counter.paints, 0);
}

// A frame exchange sets the status and repaints several times per frame: the
// status line is painted once, its later changes after the hold, and the end
// of a run (default pointer) paints its last text at once.
TEST_F(QtWindowOpsTest, repaint_inABurst_paintsTheStatusLineOnceThenTheLatestText) {
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  PaintCounter counter;
  label("lblStatus")->installEventFilter(&counter);
  ops.setBusyPointer(true);
  ops.setStatus(" Status: Sending data ");
  ops.repaint();
  const int first = counter.paints;
  EXPECT_GT(first, 0);
  for (int frame = 1; frame <= 100; ++frame) {
    ops.setStatus(" Status: Received ACK " + std::to_string(frame));
    ops.repaint();
    ops.yield();
  }
  EXPECT_EQ(counter.paints, first);                                                    // held
  EXPECT_EQ(label("lblStatus")->text(), QStringLiteral(" Status: Received ACK 100"));  // the text is current

  QTest::qWait(static_cast<int>(QtWindowOps::kStatusHoldSeconds * 1000) + 100);
  EXPECT_EQ(counter.paints, first) << "the hold is measured on the window operations' clock";
  fakeClock.advance(QtWindowOps::kStatusHoldSeconds);
  QElapsedTimer waited;
  waited.start();
  while (counter.paints == first && waited.elapsed() < 3000) QTest::qWait(10);
  EXPECT_GT(counter.paints, first) << "the latest text is painted once the hold ends";

  // Quiet for longer than a hold: the next repaint paints at once again.
  fakeClock.advance(QtWindowOps::kStatusHoldSeconds);
  QTest::qWait(static_cast<int>(QtWindowOps::kStatusHoldSeconds * 1000) + 100);
  const int quiet = counter.paints;
  ops.setStatus(" Status: Sending end of transmission ");
  ops.repaint();
  EXPECT_GT(counter.paints, quiet);

  ops.setStatus(" Status: Finished closing connection");
  ops.repaint();
  const int beforeEnd = counter.paints;
  ops.setStatus(" Status: UPDATE COMPLETE");
  ops.repaint();
  EXPECT_EQ(counter.paints, beforeEnd);  // held
  ops.setBusyPointer(false);             // the run has ended
  EXPECT_GT(counter.paints, beforeEnd);
}

TEST_F(QtWindowOpsTest, options_readAndSelect) {
  EXPECT_TRUE(ops.sourceSelected(Source::Program));
  EXPECT_FALSE(ops.sourceSelected(Source::ProgramAndDsd));
  EXPECT_FALSE(ops.sourceSelected(Source::EmergencyRestore));
  EXPECT_FALSE(ops.sourceSelected(Source::Lorebank));
  option("OptER")->setChecked(true);
  EXPECT_TRUE(ops.sourceSelected(Source::EmergencyRestore));
  EXPECT_FALSE(ops.sourceSelected(Source::Program));

  EXPECT_TRUE(ops.portOptionSelected(1));
  ops.selectPortOption(5);  // the scan found the machine on COM5
  for (int n = 1; n <= 9; ++n) EXPECT_EQ(ops.portOptionSelected(n), n == 5) << n;
  EXPECT_TRUE(portOption(5)->isChecked());
  EXPECT_EQ(portOption(5)->objectName(), QStringLiteral("OptCom5"));
  EXPECT_TRUE(ops.sourceSelected(Source::EmergencyRestore));  // the other box is untouched

  // Numbers outside COM1..COM9 select nothing and read as not selected.
  for (int n : {0, 10, -1}) {
    ops.selectPortOption(n);
    EXPECT_FALSE(ops.portOptionSelected(n));
  }
  EXPECT_TRUE(ops.portOptionSelected(5));
}

TEST_F(QtWindowOpsTest, pauseTimer_tickSetsTimerFiredAndStops) {
  duringRun([&](FormContext& c) {
    ops.startDelay(3);
    EXPECT_TRUE(delay()->isActive());
    EXPECT_EQ(delay()->interval(), 3);
    QElapsedTimer t;
    t.start();
    while (c.state.timerFired == 0 && t.elapsed() < 2000) ops.yieldWait(1.0);
    EXPECT_EQ(c.state.timerFired, 1);
    EXPECT_LT(t.elapsed(), 500);
    ops.stopDelay();
    EXPECT_FALSE(delay()->isActive());
  });
}

TEST_F(QtWindowOpsTest, pauseTimer_tickOnlyDuringAYield) {
  duringRun([&](FormContext& c) {
    ops.startDelay(1);
    QTest::qSleep(20);  // no event processing: the tick waits
    EXPECT_EQ(c.state.timerFired, 0);
    ops.yieldWait(0.5);
    EXPECT_EQ(c.state.timerFired, 1);
    ops.stopDelay();
  });
}

TEST_F(QtWindowOpsTest, yieldWait_returnsWhenATimerFires) {
  bool fired = false;
  QTimer::singleShot(20, &window, [&] { fired = true; });
  QElapsedTimer t;
  t.start();
  while (!fired && t.elapsed() < 3000) ops.yieldWait(2.0);
  EXPECT_TRUE(fired);
  EXPECT_LT(t.elapsed(), 1000);  // far less than the 2 s allowed
}

TEST_F(QtWindowOpsTest, yieldWait_returnsWhenInputArrives) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  QSocketNotifier notifier(fds[0], QSocketNotifier::Read);
  bool readable = false;
  QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
    char c;
    ASSERT_EQ(read(fds[0], &c, 1), 1);
    readable = true;
  });
  QTimer::singleShot(20, &window, [&] { ASSERT_EQ(write(fds[1], "x", 1), 1); });
  QElapsedTimer t;
  t.start();
  while (!readable && t.elapsed() < 3000) ops.yieldWait(2.0);
  EXPECT_TRUE(readable);
  EXPECT_LT(t.elapsed(), 1000);
  close(fds[0]);
  close(fds[1]);
}

TEST_F(QtWindowOpsTest, yieldWait_withNothingToDo_sleepsForItsTimeWithoutSpinning) {
  for (int i = 0; i < 20; ++i) ops.yield();  // settle what is pending
  const double cpuBefore = processCpuSeconds();
  QElapsedTimer t;
  t.start();
  int passes = 0;
  while (t.nsecsElapsed() < 50'000'000) {  // a 50 ms wait, pass after pass
    ops.yieldWait(0.050 - static_cast<double>(t.nsecsElapsed()) / 1e9);
    ++passes;
  }
  const double cpu = processCpuSeconds() - cpuBefore;
  EXPECT_LT(t.elapsed(), 500);
  EXPECT_LT(passes, 20) << "the wait woke up again and again";
  EXPECT_LT(cpu, 0.03) << "the wait burned CPU";
}

TEST_F(QtWindowOpsTest, yieldWait_ofZeroOrLess_returnsAtOnce) {
  QElapsedTimer t;
  t.start();
  ops.yieldWait(0);
  ops.yieldWait(-3);
  EXPECT_LT(t.elapsed(), 100);
}

TEST_F(QtWindowOpsTest, busyPointer_isSetOnceAndRestoredOnce) {
  ASSERT_EQ(QApplication::overrideCursor(), nullptr);
  ops.setBusyPointer(true);
  ASSERT_NE(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
  ops.setBusyPointer(true);  // a nested run: still one level
  ops.setBusyPointer(false);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  ops.setBusyPointer(false);  // nothing left to restore
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(QtWindowOpsTest, busyPointer_isRestoredWhenTheOperationsGo) {
  {
    QtWindowOps other(window);
    other.setBusyPointer(true);
    EXPECT_NE(QApplication::overrideCursor(), nullptr);
  }
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(QtWindowOpsTest, messageBox_isModalWithOkOnlyAndTheCaption) {
  window.show();
  QString text;
  QString title;
  bool modal = false;
  QMessageBox::StandardButtons buttons;
  answerNextBox([&](QMessageBox* box) {
    text = box->text();
    title = box->windowTitle();
    modal = box->isModal();
    buttons = box->standardButtons();
  });
  ops.messageBox("Error 8002: no serial device behind COM3");
  EXPECT_EQ(text, QStringLiteral("Error 8002: no serial device behind COM3"));
  EXPECT_EQ(title, QString::fromUtf8("Orvell TorVane® Update Program"));
  EXPECT_TRUE(modal);
  EXPECT_EQ(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
}

}  // namespace
}  // namespace torvane::testing
