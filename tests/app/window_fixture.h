// One window with its Qt window operations, the real clock and a fake port.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <functional>

#include "context/form_context.h"
#include "app/frmdl.h"
#include "app/qt_clock.h"
#include "app/qt_window_ops.h"
#include "tests/fakes/fake_clock.h"
#include "tests/fakes/fake_serial_port.h"

namespace torvane::testing {

class WindowTest : public ::testing::Test {
 protected:
  WindowTest() { window.attach(ctx); }

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
  Frmdl window;
  QtWindowOps ops{window};
  QtClock clock;
  FormContext ctx{port, ops, clock, {}};
};

}  // namespace torvane::testing
