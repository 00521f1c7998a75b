// The station's clock: monotonic seconds since the process started and the
// time of day as hours, minutes and seconds.
#pragma once

#include <QElapsedTimer>

#include "context/clock.h"

namespace torvane::station {

class MonotonicClock : public Clock {
 public:
  MonotonicClock() { started_.start(); }

  double seconds() override;
  std::string timeOfDayText() override;

 private:
  QElapsedTimer started_;
};

}  // namespace torvane::station
