#include "station/monotonic_clock.h"

#include <QTime>

namespace torvane::station {

double MonotonicClock::seconds() { return static_cast<double>(started_.nsecsElapsed()) / 1e9; }

std::string MonotonicClock::timeOfDayText() {
  return QTime::currentTime().toString(QStringLiteral("HH:mm:ss")).toStdString();
}

}  // namespace torvane::station
