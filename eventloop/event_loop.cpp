#include "eventloop/event_loop.h"

#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <cmath>

namespace torvane {

void handlePendingEvents() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

void sleepInEventLoop(double maxSeconds) {
  if (!(maxSeconds > 0)) {
    handlePendingEvents();
    return;
  }
  constexpr double kLongestMs = 24.0 * 3600 * 1000;
  const int ms = static_cast<int>(std::ceil(std::min(maxSeconds * 1000.0, kLongestMs)));
  QTimer wakeUp;  // ends the sleep at the latest after maxSeconds
  wakeUp.setSingleShot(true);
  wakeUp.setTimerType(Qt::PreciseTimer);
  wakeUp.start(ms);
  QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  wakeUp.stop();
}

}  // namespace torvane
