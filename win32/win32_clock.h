// The clock of the Windows window: the performance counter for the waits,
// the user's time format (with seconds) for the time line.
#pragma once

#include <cstdint>

#include "context/clock.h"

namespace torvane {

class Win32Clock final : public Clock {
 public:
  Win32Clock();
  double seconds() override;
  std::string timeOfDayText() override;

 private:
  int64_t frequency_ = 1;
  int64_t started_ = 0;
};

}  // namespace torvane
