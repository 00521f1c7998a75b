// The one wait. Every procedure that waits (for a reply, the transmit queue,
// the pause timer's tick, a verdict, an announcement) and every yield of a
// procedure goes through here; callers only say what ends the wait.
//
// A pass yields to the window's event processing: it handles what is
// pending, or, with nothing pending, sleeps in the event loop until input,
// a timer tick, the operator or the deadline. Input that has arrived and is
// not read yet wakes nothing any more, so a wait that reads input only
// yields while such input is pending. After every pass the window's closing
// ends the procedure (a Fault of number fault::kWindowClosed).
#pragma once

#include <functional>
#include <limits>

#include "context/form_context.h"

namespace torvane {

inline constexpr double kNoDeadline = std::numeric_limits<double>::infinity();

struct WaitFor {
  double deadline = kNoDeadline;  // on the clock; reached at single precision
  // The wait reads the port in `done`: unread input is then its own event
  // and no pass sleeps while some is pending.
  bool readsInput = true;
  // Longest sleep of one pass, for what wakes no event loop (the transmit
  // queue draining); 0 for none.
  double longestPass = 0;
};

enum class WaitEnd { Done, DeadlineReached };

// Passes until `done` (tested after each pass) returns true, or until the
// clock has reached the deadline (tested before each pass). With the
// deadline reached at the start, no pass is made.
WaitEnd waitUntil(FormContext& ctx, const WaitFor& wait, const std::function<bool()>& done);

// One pass that does not sleep: lets the window paint and take the
// operator's clicks between two steps.
void yieldOnce(FormContext& ctx);

// The test of every wait: both readings are compared at single precision,
// and the wait is over once the clock has reached the deadline.
inline bool deadlineReached(double clockNow, double deadline) {
  return static_cast<float>(clockNow) >= static_cast<float>(deadline);
}

}  // namespace torvane
