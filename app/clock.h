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

// The test of every wait: both readings are compared at single precision,
// and the wait is over once the clock has reached the deadline.
inline bool deadlineReached(double clockNow, double deadline) {
  return static_cast<float>(clockNow) >= static_cast<float>(deadline);
}

}  // namespace torvane
