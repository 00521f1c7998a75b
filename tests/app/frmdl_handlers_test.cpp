// The handlers: clicks and access keys reach the procedures, Form_Load shows
// the window before it scans, no exception escapes, and a close during a
// procedure ends the program once the procedure has returned.
#include <QElapsedTimer>
#include <QPushButton>
#include <QTest>
#include <stdexcept>

#include "context/wait.h"
#include "encoding/fault.h"
#include "tests/app/window_fixture.h"

namespace torvane::testing {
namespace {

class FrmdlHandlersTest : public WindowTest {
 protected:
  FrmdlHandlersTest() {
    window.controller().startProcedure = [this](FormContext&) { ++starts; };
    window.controller().scanProcedure = [this](FormContext&) { ++scans; };
  }

  // A procedure that waits as the real ones do until the window closes
  // (bounded, so that a broken close cannot hang the test).
  void waitUntilClosed(FormContext& c) {
    try {
      waitUntil(c, WaitFor{c.clock.seconds() + 3}, [] { return false; });
    } catch (const Fault& f) {
      endedByClose = f.number() == fault::kWindowClosed;
    }
  }

  int starts = 0;
  int scans = 0;
  bool endedByClose = false;
};

TEST_F(FrmdlHandlersTest, buttonClicks_runTheirProcedures) {
  window.show();
  button("cmdStart")->click();
  EXPECT_EQ(starts, 1);
  EXPECT_EQ(scans, 0);
  button("cmdConfig")->click();
  button("cmdConfig")->click();  // every press scans again
  EXPECT_EQ(scans, 2);
  EXPECT_EQ(starts, 1);
}

TEST_F(FrmdlHandlersTest, accessKeys_altSStartsAndAltCConfigures) {
  window.show();
  QApplication::setActiveWindow(&window);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

  QTest::keyClick(&window, Qt::Key_S, Qt::AltModifier);
  QTRY_COMPARE_WITH_TIMEOUT(starts, 1, 2000);
  EXPECT_EQ(scans, 0);

  QTest::keyClick(&window, Qt::Key_C, Qt::AltModifier);
  QTRY_COMPARE_WITH_TIMEOUT(scans, 1, 2000);
  EXPECT_EQ(starts, 1);
}

TEST_F(FrmdlHandlersTest, formLoad_showsWindowThenScans) {
  bool visibleDuringScan = false;
  window.controller().scanProcedure = [&](FormContext& c) {
    visibleDuringScan = window.isVisible();
    c.window.setStatus(" Status: Searching");
  };
  window.onLoad();
  EXPECT_TRUE(visibleDuringScan);
  EXPECT_EQ(ops.status(), " Status: Searching");
}

TEST_F(FrmdlHandlersTest, configureDuringRun_runsScanNestedThenRunResumes) {
  window.show();
  std::vector<std::string> order;
  window.controller().scanProcedure = [&](FormContext&) { order.push_back("scan"); };
  window.controller().startProcedure = [&](FormContext& c) {
    order.push_back("run begins");
    QTimer::singleShot(0, button("cmdConfig"), &QPushButton::click);  // the operator presses Configure
    QElapsedTimer t;
    t.start();
    while (order.size() < 2 && t.elapsed() < 2000) c.window.yieldWait(0.05);
    order.push_back("run ends");
  };
  button("cmdStart")->click();
  EXPECT_EQ(order, (std::vector<std::string>{"run begins", "scan", "run ends"}));
  EXPECT_TRUE(window.close());  // nothing runs any more: the window closes at once
}

TEST_F(FrmdlHandlersTest, unexpectedException_isShownInABoxAndGoesNoFurther) {
  window.show();
  window.controller().startProcedure = [](FormContext&) { throw std::runtime_error("wire cut"); };
  QString text;
  QString title;
  answerNextBox([&](QMessageBox* box) {
    text = box->text();
    title = box->windowTitle();
  });
  EXPECT_NO_THROW(button("cmdStart")->click());
  EXPECT_TRUE(text.contains(QStringLiteral("wire cut"))) << text.toStdString();
  EXPECT_EQ(title, windowCaption());
  EXPECT_TRUE(window.close());  // the failed procedure counts as ended
}

TEST_F(FrmdlHandlersTest, closeWhileIdle_closesAtOnce) {
  window.show();
  EXPECT_TRUE(window.close());
  EXPECT_FALSE(window.isVisible());
  window.show();
  button("cmdStart")->click();  // the procedures were not told to end
  EXPECT_EQ(starts, 1);
}

TEST_F(FrmdlHandlersTest, closeDuringProcedure_endsItThenClosesTheWindow) {
  window.show();
  window.controller().startProcedure = [this](FormContext& c) { waitUntilClosed(c); };
  QTimer::singleShot(20, &window, &QWidget::close);
  QElapsedTimer t;
  t.start();
  button("cmdStart")->click();
  EXPECT_TRUE(endedByClose);
  EXPECT_LT(t.elapsed(), 1500);
  EXPECT_TRUE(window.isVisible());                      // the close waits for the procedure to return...
  QTRY_VERIFY_WITH_TIMEOUT(!window.isVisible(), 2000);  // ...and then happens
}

TEST_F(FrmdlHandlersTest, closeDuringNestedProcedures_endsBothAndClosesOnce) {
  window.show();
  int ended = 0;
  window.controller().scanProcedure = [&](FormContext& c) {
    waitUntilClosed(c);
    ++ended;
  };
  window.controller().startProcedure = [&](FormContext& c) {
    QTimer::singleShot(0, button("cmdConfig"), &QPushButton::click);
    QTimer::singleShot(30, &window, &QWidget::close);
    waitUntilClosed(c);
    ++ended;
    EXPECT_TRUE(window.isVisible());  // the outer procedure still runs here
  };
  button("cmdStart")->click();
  EXPECT_EQ(ended, 2);
  QTRY_VERIFY_WITH_TIMEOUT(!window.isVisible(), 2000);
}

TEST_F(FrmdlHandlersTest, whileClosing_noNewProcedureAndNoBox) {
  window.show();
  int runs = 0;
  duringRun([&](FormContext&) {
    if (++runs > 1) return;
    window.close();  // the operator closes the window during the run
    button("cmdStart")->click();
    button("cmdConfig")->click();
    QElapsedTimer t;
    t.start();
    ops.messageBox("Error: nobody reads this");  // returns without waiting for OK
    EXPECT_LT(t.elapsed(), 1000);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  });
  EXPECT_EQ(runs, 1);
  EXPECT_EQ(scans, 0);
}

// The whole program: the event loop ends when the window is closed during a run.
TEST_F(FrmdlHandlersTest, closeDuringRun_endsTheEventLoop) {
  window.controller().startProcedure = [this](FormContext& c) { waitUntilClosed(c); };
  QTimer::singleShot(0, &window, [this] {
    window.show();
    window.onStartClicked();
  });
  QTimer::singleShot(50, &window, &QWidget::close);
  QTimer watchdog;
  watchdog.setSingleShot(true);
  QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(7); });
  watchdog.start(5000);
  QElapsedTimer t;
  t.start();
  const int exitCode = QApplication::exec();
  EXPECT_EQ(exitCode, 0) << "the event loop did not end by itself";
  EXPECT_TRUE(endedByClose);
  EXPECT_FALSE(window.isVisible());
  EXPECT_LT(t.elapsed(), 3000);
}

}  // namespace
}  // namespace torvane::testing
