// A clock that moves only when a test (or the fake window) moves it.
#pragma once

#include <cstdio>
#include <functional>
#include <optional>
#include <string>

#include "context/clock.h"

namespace torvane::testing {

class FakeClock : public Clock {
 public:
  double now = 1000.0;           // monotonic seconds
  double timeOfDayBase = 36000;  // 10:00:00 at now == 1000

  double seconds() override { return now; }
  std::string timeOfDayText() override {
    const long t = static_cast<long>(timeOfDayBase + (now - 1000.0));
    char text[16];
    std::snprintf(text, sizeof text, "%02ld:%02ld:%02ld", (t / 3600) % 24, (t / 60) % 60, t % 60);
    return text;
  }
  void advance(double dt) { now += dt; }

  // The first moment after `time` at which input arrives (the fake port sets
  // it): what ends a sleeping event loop's wait early.
  std::function<std::optional<double>(double time)> nextInputAfter;
};

}  // namespace torvane::testing
