#include "app/qt_window_ops.h"

#include <QApplication>
#include <QCursor>
#include <QRadioButton>
#include <QTimer>
#include <cmath>

#include "app/frmdl.h"

namespace torvane {

QtWindowOps::~QtWindowOps() { setBusyPointer(false); }

void QtWindowOps::setStatus(const std::string& text) { window_.setStatusLine(text); }

std::string QtWindowOps::status() const { return window_.statusLine(); }

void QtWindowOps::setTimeLine(const std::string& text) { window_.setTimeLine(text); }

void QtWindowOps::repaint() { window_.repaint(); }

void QtWindowOps::yield() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

// Handles what is pending; with nothing pending, the event loop sleeps until
// the next event (port input, a tick, the operator) or the wake-up timer.
void QtWindowOps::yieldWait(double maxSeconds) {
  if (!(maxSeconds > 0)) {
    yield();
    return;
  }
  constexpr double kLongestMs = 24.0 * 3600 * 1000;
  const int ms = static_cast<int>(std::ceil(std::min(maxSeconds * 1000.0, kLongestMs)));
  QTimer wakeUp;
  wakeUp.setSingleShot(true);
  wakeUp.setTimerType(Qt::PreciseTimer);
  wakeUp.start(ms);
  QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  wakeUp.stop();
}

void QtWindowOps::setBusyPointer(bool busy) {
  if (busy == busy_) return;
  busy_ = busy;
  if (busy) {
    QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
  } else {
    QApplication::restoreOverrideCursor();
  }
}

void QtWindowOps::messageBox(const std::string& text) { window_.showMessageBox(QString::fromStdString(text)); }

bool QtWindowOps::sourceSelected(Source source) const {
  switch (source) {
    case Source::Lorebank: return window_.optCS->isChecked();
    case Source::Program: return window_.optPrgm->isChecked();
    case Source::ProgramAndDsd: return window_.optAll->isChecked();
    case Source::EmergencyRestore: return window_.OptER->isChecked();
  }
  return false;
}

bool QtWindowOps::portOptionSelected(int number) const {
  if (number < 1 || number > 9) return false;
  return window_.optCom[number - 1]->isChecked();
}

void QtWindowOps::selectPortOption(int number) {
  if (number < 1 || number > 9) return;
  window_.optCom[number - 1]->setChecked(true);  // the group deselects the others
}

void QtWindowOps::startDelay(int intervalMs) {
  window_.delay->setInterval(intervalMs);
  window_.delay->start();
}

void QtWindowOps::stopDelay() { window_.delay->stop(); }

}  // namespace torvane
