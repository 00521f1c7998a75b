#include "app/qt_window_ops.h"

#include <QApplication>
#include <QCursor>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <limits>

#include "app/frmdl.h"
#include "eventloop/event_loop.h"

namespace torvane {

QtWindowOps::QtWindowOps(Frmdl& window, Clock* progressClock)
    : window_(window), progressClock_(progressClock ? progressClock : &ownClock_) {}

QtWindowOps::~QtWindowOps() {
  setBusyPointer(false);
  releaseStatus(false);
}

void QtWindowOps::setStatus(const std::string& text) {
  window_.setStatusLine(text);
  if (statusHeld_) statusChangedWhileHeld_ = true;
}

std::string QtWindowOps::status() const { return window_.statusLine(); }

void QtWindowOps::setTimeLine(const std::string& text) { window_.setTimeLine(text); }

// Paints now what has changed, except status-line changes under a hold.
// During a transfer the status line changes several times per frame, far
// faster than anyone can read it, and painting it each time would cost more
// than the frame exchange itself: so once it is painted, its changes are held
// for kStatusHoldSeconds, and the latest text is then painted from the event
// loop. While it keeps changing, it is painted from there every
// kStatusHoldSeconds, never in the middle of an exchange; the end of a run
// (default pointer) paints it at once.
void QtWindowOps::repaint() {
  QCoreApplication::sendPostedEvents(&window_, QEvent::UpdateRequest);
  if (!statusHeld_) holdStatus();
}

void QtWindowOps::holdStatus() {
  if (!statusHold_) {
    statusHold_ = std::make_unique<QTimer>();
    statusHold_->setSingleShot(true);
    statusHold_->setInterval(static_cast<int>(kStatusHoldSeconds * 1000));
    QObject::connect(statusHold_.get(), &QTimer::timeout, statusHold_.get(), [this] {
      const bool changed = statusChangedWhileHeld_;
      releaseStatus(true);
      if (changed) holdStatus();
    });
  }
  statusHeld_ = true;
  statusChangedWhileHeld_ = false;
  window_.holdStatusLine(true);
  statusHold_->start();
}

// Ends the hold: the label's latest text is painted at once with paintNow,
// else by the next pass of the event loop.
void QtWindowOps::releaseStatus(bool paintNow) {
  if (!statusHeld_) return;
  statusHeld_ = false;
  statusHold_->stop();
  window_.holdStatusLine(false);
  if (paintNow) QCoreApplication::sendPostedEvents(&window_, QEvent::UpdateRequest);
}

void QtWindowOps::yield() { handlePendingEvents(); }

void QtWindowOps::yieldWait(double maxSeconds) { sleepInEventLoop(maxSeconds); }

void QtWindowOps::setBusyPointer(bool busy) {
  if (busy == busy_) return;
  busy_ = busy;
  if (busy) {
    QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
  } else {
    QApplication::restoreOverrideCursor();
    releaseStatus(true);  // the run has ended: its last status is shown now
  }
}

void QtWindowOps::messageBox(const std::string& text) { window_.showMessageBox(QString::fromStdString(text)); }

bool QtWindowOps::sourceSelected(Source source) const { return window_.sourceChecked(source); }

bool QtWindowOps::portOptionSelected(int number) const { return window_.portOptionChecked(number); }

void QtWindowOps::selectPortOption(int number) { window_.checkPortOption(number); }

void QtWindowOps::startDelay(int intervalMs) { window_.startDelay(intervalMs); }

void QtWindowOps::stopDelay() { window_.stopDelay(); }

// ---------------------------------------------------------------------------
// Transfer progress

void QtWindowOps::progressStart(int64_t totalBytes) {
  const double now = progressClock_->seconds();
  progress_ = Progress{};
  progress_.total = std::max<int64_t>(totalBytes, 0);
  progress_.startedAt = now;
  constexpr int64_t kMaxSteps = std::numeric_limits<int>::max();
  progress_.divisor = progress_.total / kMaxSteps + 1;
  // A total of 0 is complete already; a range of 0..0 would be the busy bar.
  progress_.steps = std::max(1, static_cast<int>(progress_.total / progress_.divisor));
  redrawProgress(now);
  window_.showProgress(true);
}

// Cheap when nothing is redrawn: a clock reading and a comparison.
void QtWindowOps::progressAdvance(int64_t bytesSent) {
  progress_.sent = std::clamp<int64_t>(bytesSent, 0, progress_.total);
  ++progress_.advances;
  const double now = progressClock_->seconds();
  if (progress_.sent >= progress_.total || now - progress_.shownAt >= kProgressRedrawSeconds) redrawProgress(now);
}

void QtWindowOps::progressEnd() {
  window_.showProgress(false);
  progress_ = Progress{};
}

void QtWindowOps::redrawProgress(double now) {
  const bool nothingToSend = progress_.total == 0;
  const int value = nothingToSend ? progress_.steps : static_cast<int>(progress_.sent / progress_.divisor);
  const std::string text =
      progressBarText(progress_.sent, progress_.total, now - progress_.startedAt, progress_.advances);
  window_.setProgress(value, progress_.steps, QString::fromStdString(text));
  progress_.shownAt = now;
}

std::string progressBarText(int64_t sent, int64_t total, double elapsedSeconds, int frames) {
  if (total <= 0) return "100%";
  sent = std::clamp<int64_t>(sent, 0, total);
  const int64_t percent = sent <= std::numeric_limits<int64_t>::max() / 100
                              ? sent * 100 / total
                              : static_cast<int64_t>(static_cast<long double>(sent) * 100 / total);
  std::string text = std::to_string(percent) + "%";
  if (sent == 0 || sent >= total || !(elapsedSeconds >= kEstimateAfterSeconds) || frames < kEstimateAfterFrames) {
    return text;
  }
  const double secondsLeft = static_cast<double>(total - sent) * elapsedSeconds / static_cast<double>(sent);
  const std::string left = timeLeftText(secondsLeft);
  if (!left.empty()) text += "  " + left;
  return text;
}

std::string timeLeftText(double secondsLeft) {
  if (!std::isfinite(secondsLeft) || secondsLeft < 0) return {};
  if (secondsLeft >= 99.5 * 3600) return "more than 99 h left";
  const auto roundTo = [secondsLeft](long step) {
    return static_cast<long>(std::llround(secondsLeft / static_cast<double>(step))) * step;
  };
  if (secondsLeft <= 59) {
    return "about " + std::to_string(std::max(1L, static_cast<long>(std::ceil(secondsLeft)))) + " s left";
  }
  const auto words = [](long seconds) {
    const long hours = seconds / 3600;
    const long minutes = seconds / 60 % 60;
    const long rest = seconds % 60;
    std::string text = "about";
    if (hours > 0) text += " " + std::to_string(hours) + " h";
    if (minutes > 0) text += " " + std::to_string(minutes) + " min";
    if (rest > 0) text += " " + std::to_string(rest) + " s";
    return text + " left";
  };
  if (secondsLeft < 595) return words(roundTo(10));
  return words(roundTo(60));
}

}  // namespace torvane
