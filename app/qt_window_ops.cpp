#include "app/qt_window_ops.h"

#include <QApplication>
#include <QCursor>
#include <QTimer>
#include <algorithm>
#include <cmath>

#include "app/frmdl.h"
#include "eventloop/event_loop.h"

namespace torvane {

QtWindowOps::QtWindowOps(Frmdl& window, Clock* clock)
    : window_(window), clock_(clock ? *clock : ownClock_), hold_(clock_), progress_(clock_, kProgressRedrawSeconds) {}

QtWindowOps::~QtWindowOps() {
  setBusyPointer(false);
  if (hold_.release()) window_.holdStatusLine(false);
}

void QtWindowOps::setStatus(const std::string& text) {
  window_.setStatusLine(text);
  hold_.changed();
}

std::string QtWindowOps::status() const { return window_.statusLine(); }

void QtWindowOps::setTimeLine(const std::string& text) { window_.setTimeLine(text); }

void QtWindowOps::repaint() {
  const bool paintsStatus = hold_.repaint();
  QCoreApplication::sendPostedEvents(&window_, QEvent::UpdateRequest);
  if (!paintsStatus) return;
  window_.holdStatusLine(true);  // painted: its next changes wait for the hold to end
  armHoldTimer();
}

void QtWindowOps::armHoldTimer() {
  if (!holdTimer_) {
    holdTimer_ = std::make_unique<QTimer>();
    holdTimer_->setSingleShot(true);
    QObject::connect(holdTimer_.get(), &QTimer::timeout, holdTimer_.get(), [this] {
      if (hold_.due()) {
        paintStatusNow();
        window_.holdStatusLine(true);
      } else if (!hold_.held()) {
        window_.holdStatusLine(false);
      }
      if (hold_.held()) armHoldTimer();
    });
  }
  const double left = hold_.endsAt().value_or(clock_.seconds()) - clock_.seconds();
  holdTimer_->start(static_cast<int>(std::ceil(std::max(left, 0.0) * 1000)));
}

void QtWindowOps::paintStatusNow() {
  window_.holdStatusLine(false);
  QCoreApplication::sendPostedEvents(&window_, QEvent::UpdateRequest);
}

void QtWindowOps::yield() { handlePendingEvents(); }

void QtWindowOps::yieldWait(double maxSeconds) { sleepInEventLoop(maxSeconds); }

void QtWindowOps::setBusyPointer(bool busy) {
  if (busy == busy_) return;
  busy_ = busy;
  if (busy) {
    QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    return;
  }
  QApplication::restoreOverrideCursor();
  if (hold_.release()) {  // the run has ended: its last status is shown now
    if (holdTimer_) holdTimer_->stop();
    paintStatusNow();
  }
}

void QtWindowOps::messageBox(const std::string& text) { window_.controller().messageBox(text); }

bool QtWindowOps::sourceSelected(Source source) const { return window_.sourceChecked(source); }

bool QtWindowOps::portOptionSelected(int number) const { return window_.portOptionChecked(number); }

void QtWindowOps::selectPortOption(int number) { window_.checkPortOption(number); }

void QtWindowOps::startDelay(int intervalMs) { window_.startDelay(intervalMs); }

void QtWindowOps::stopDelay() { window_.stopDelay(); }

void QtWindowOps::progressStart(int64_t totalBytes) {
  draw(progress_.start(totalBytes));
  window_.showProgress(true);
}

void QtWindowOps::progressAdvance(int64_t bytesSent) {
  if (const auto bar = progress_.advance(bytesSent)) draw(*bar);
}

void QtWindowOps::progressEnd() { window_.showProgress(false); }

void QtWindowOps::draw(const form::TransferProgress::Bar& bar) {
  window_.setProgress(bar.value, bar.maximum, QString::fromStdString(bar.text));
}

}  // namespace torvane
