#include "station/event_pipe_window_ops.h"

#include "eventloop/event_loop.h"

namespace torvane::station {

EventPipeWindowOps::EventPipeWindowOps(Source source, int com, EventWriter& events, Clock& clock)
    : source_(source), selectedCom_(com), events_(events), clock_(clock), progress_(clock, kProgressEverySeconds) {
  delay_.setTimerType(Qt::PreciseTimer);
  QObject::connect(&delay_, &QTimer::timeout, [this] {
    if (state_ != nullptr) delay_Timer(*state_);
  });
}

void EventPipeWindowOps::yield() {
  if (events_.heldFor(clock_.seconds()) >= kHoldAtMostSeconds) events_.flush();
  handlePendingEvents();
}

// As the window's; the supervisor closing our input is one of the events.
void EventPipeWindowOps::yieldWait(double maxSeconds) {
  events_.flush();
  sleepInEventLoop(maxSeconds);
}

void EventPipeWindowOps::messageBox(const std::string& text) {
  events_.write(QStringLiteral("message"), {{QStringLiteral("text"), QString::fromStdString(text)}});
}

void EventPipeWindowOps::startDelay(int intervalMs) {
  delay_.setInterval(intervalMs);
  delay_.start();
}

void EventPipeWindowOps::progressStart(int64_t totalBytes) {
  progress_.start(totalBytes);
  tellProgress();
}

// Called on every accepted frame: a clock reading and a comparison when
// nothing is told.
void EventPipeWindowOps::progressAdvance(int64_t bytesSent) {
  if (progress_.advance(bytesSent)) tellProgress();
}

void EventPipeWindowOps::tellProgress() {
  events_.writeLater(QStringLiteral("progress"),
                     {{QStringLiteral("sent"), static_cast<qint64>(progress_.sent())},
                      {QStringLiteral("total"), static_cast<qint64>(progress_.total())},
                      {QStringLiteral("frames"), progress_.frames()},
                      {QStringLiteral("seconds"), progress_.elapsedSeconds()}},
                     clock_.seconds());
}

}  // namespace torvane::station
