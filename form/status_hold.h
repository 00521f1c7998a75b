// When the status line is painted. During a transfer the status line
// changes several times per frame, far faster than anyone can read it, and
// painting it each time would cost more than the frame exchange itself. So
// once it has been painted, its changes are held for kSeconds and the latest
// text is then painted from the event loop; while it keeps changing it is
// painted from there every kSeconds, never in the middle of an exchange. The
// end of a run paints it at once. Measured on the clock the front end gives.
#pragma once

#include <optional>

#include "context/clock.h"

namespace torvane::form {

class StatusHold {
 public:
  static constexpr double kSeconds = 0.25;

  explicit StatusHold(Clock& clock) : clock_(clock) {}

  // The status line's text changed.
  void changed() {
    if (held_) changedWhileHeld_ = true;
  }

  // A repaint was asked for: true when it paints the status line (which
  // then holds its later changes), false while they are held.
  bool repaint() {
    if (held_) return false;
    hold();
    return true;
  }

  bool held() const { return held_; }
  // When the hold ends, on the clock; none while nothing is held. The front
  // end's timer calls due() then.
  std::optional<double> endsAt() const { return held_ ? std::optional<double>(until_) : std::nullopt; }

  // The front end's timer: true when the held text is to be painted now
  // (a new hold then begins). A timer that fires early changes nothing.
  bool due() {
    if (!held_ || clock_.seconds() < until_) return false;
    held_ = false;
    if (!changedWhileHeld_) return false;
    hold();
    return true;
  }

  // The run has ended: true when a held text is to be painted now.
  bool release() {
    const bool paint = held_;
    held_ = false;
    return paint;
  }

 private:
  void hold() {
    held_ = true;
    changedWhileHeld_ = false;
    until_ = clock_.seconds() + kSeconds;
  }

  Clock& clock_;
  bool held_ = false;
  bool changedWhileHeld_ = false;
  double until_ = 0;
};

}  // namespace torvane::form
