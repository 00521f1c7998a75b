// One window on a fake port and the real clock, and Qt window operations on
// it to test (their progress bar measures on the fake clock). The controls
// are found by their names in the window's design.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <filesystem>
#include <functional>

#include "app/frmdl.h"
#include "app/qt_clock.h"
#include "app/qt_window_ops.h"
#include "context/form_context.h"
#include "tests/fakes/fake_clock.h"
#include "tests/fakes/fake_serial_port.h"

namespace torvane::testing {

class WindowTest : public ::testing::Test {
 protected:
  template <typename W = QWidget>
  W* control(const char* name) const {
    return window.findChild<W*>(QString::fromUtf8(name));
  }
  QLabel* label(const char* name) const { return control<QLabel>(name); }
  QRadioButton* option(const char* name) const { return control<QRadioButton>(name); }
  QPushButton* button(const char* name) const { return control<QPushButton>(name); }
  QRadioButton* portOption(int number) const {  // optCom1 .. optCom4, OptCom5 .. OptCom9
    return window.findChild<QRadioButton*>(QString(number < 5 ? "optCom%1" : "OptCom%1").arg(number));
  }
  QTimer* delay() const { return control<QTimer>("delay"); }
  QProgressBar* progressBar() const { return control<QProgressBar>("prgTransfer"); }

  // Runs `body` as the update run, on the context the window gives its procedures.
  void duringRun(const std::function<void(FormContext&)>& body) {
    bool ran = false;
    window.controller().startProcedure = [&](FormContext& c) {
      ran = true;
      body(c);
    };
    window.onStartClicked();
    window.controller().startProcedure = nullptr;  // it refers to this call's locals
    EXPECT_TRUE(ran) << "the window ran no procedure";
  }

  // Answers the next modal box when it appears: `inspect` sees it, then OK is clicked.
  static void answerNextBox(std::function<void(QMessageBox*)> inspect) {
    auto* poll = new QTimer(qApp);
    poll->setInterval(5);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, inspect, tries = 0]() mutable {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box) {
        if (++tries > 400) poll->deleteLater();  // no box within 2 s: give up
        return;
      }
      poll->stop();
      poll->deleteLater();
      inspect(box);
      box->button(QMessageBox::Ok)->click();
    });
    poll->start();
  }

  FakeClock fakeClock;
  FakeSerialPort port{fakeClock};
  QtClock clock;
  Frmdl window{port, clock, std::filesystem::current_path()};
  QtWindowOps ops{window, &fakeClock};
};

}  // namespace torvane::testing
