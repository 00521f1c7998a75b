// The clock every wait measures on. seconds() is monotonic (it never jumps
// back, not at midnight and not when the system time is set), so a wait
// always ends after its length.
#pragma once

#include <string>

namespace torvane {

class Clock {
 public:
  virtual ~Clock() = default;
  // Seconds on a monotonic clock, with fractions.
  virtual double seconds() = 0;
  // The time of day as text for the time line (the locale's format, with seconds).
  virtual std::string timeOfDayText() = 0;
};

}  // namespace torvane
