#include "station/console_window_ops.h"

#include <algorithm>

#include "eventloop/event_loop.h"

namespace torvane::station {

ConsoleWindowOps::ConsoleWindowOps(Source source, int com, EventWriter& events, Clock& clock)
    : source_(source), selectedCom_(com), events_(events), clock_(clock) {
  delay_.setTimerType(Qt::PreciseTimer);
  QObject::connect(&delay_, &QTimer::timeout, [this] {
    if (state_ != nullptr) delay_Timer(*state_);
  });
}

void ConsoleWindowOps::setStatus(const std::string& text) {
  if (text == status_) return;
  status_ = text;
  if (!muted_) tellLater(QStringLiteral("status"), {{QStringLiteral("text"), QString::fromStdString(text)}});
}

// A pass that does not sleep comes between a verdict and the next frame:
// what is held waits for the next sleep unless it has waited long already.
void ConsoleWindowOps::yield() {
  if (events_.holding() && clock_.seconds() - heldSince_ >= kHoldAtMostSeconds) events_.flush();
  handlePendingEvents();
}

// As the window's; the supervisor closing our input is one of the events.
void ConsoleWindowOps::yieldWait(double maxSeconds) {
  events_.flush();
  sleepInEventLoop(maxSeconds);
}

void ConsoleWindowOps::messageBox(const std::string& text) {
  events_.write(QStringLiteral("message"), {{QStringLiteral("text"), QString::fromStdString(text)}});
}

void ConsoleWindowOps::startDelay(int intervalMs) {
  delay_.setInterval(intervalMs);
  delay_.start();
}

void ConsoleWindowOps::progressStart(int64_t totalBytes) {
  total_ = std::max<int64_t>(totalBytes, 0);
  sent_ = 0;
  startedAt_ = clock_.seconds();
  tellProgress(startedAt_);
}

// Called on every accepted frame: a clock reading and a comparison when
// nothing is told.
void ConsoleWindowOps::progressAdvance(int64_t bytesSent) {
  sent_ = std::clamp<int64_t>(bytesSent, 0, total_);
  const double now = clock_.seconds();
  if (sent_ >= total_ || now - toldAt_ >= kProgressEverySeconds) tellProgress(now);
}

void ConsoleWindowOps::tellProgress(double now) {
  toldAt_ = now;
  tellLater(QStringLiteral("progress"), {{QStringLiteral("sent"), static_cast<qint64>(sent_)},
                                         {QStringLiteral("total"), static_cast<qint64>(total_)},
                                         {QStringLiteral("seconds"), now - startedAt_}});
}

void ConsoleWindowOps::tellLater(const QString& name, QJsonObject fields) {
  if (!events_.holding()) heldSince_ = clock_.seconds();
  events_.writeLater(name, std::move(fields));
}

}  // namespace torvane::station
