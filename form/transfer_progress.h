// The progress of the transfer phase as a window and the station show it:
// the share of the image bytes sent, and once the rate is known the time
// left, in one wording for every front end.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "context/clock.h"

namespace torvane::form {

// The time left is estimated once the transfer has run this long and this
// many frames have been accepted.
inline constexpr double kEstimateAfterSeconds = 5.0;
inline constexpr int kEstimateAfterFrames = 4;

// "42%": the share of `total` sent, never rounded up to 100% before the end;
// a total of 0 has nothing left to send: "100%".
std::string percentText(int64_t sent, int64_t total);

// "about 3 min 10 s left" once the rate is known, else empty.
std::string timeLeftEstimate(int64_t sent, int64_t total, double elapsedSeconds, int frames);

// The bar's text: "42%", or "42%  about 3 min 10 s left".
std::string progressBarText(int64_t sent, int64_t total, double elapsedSeconds, int frames);

// The time left in words, coarser the longer it is: "about 45 s left",
// "about 3 min 10 s left" (10-s steps below 10 min), "about 14 min left",
// "about 2 h 5 min left", "more than 99 h left". Empty when there is no
// usable estimate (negative, not a number).
std::string timeLeftText(double secondsLeft);

// One transfer's progress, measured on a clock: what to draw, and when. The
// procedure reports every accepted frame; a redraw is due at most every
// `redrawSeconds` (and at the start and at 100%), so that drawing never
// slows the transfer.
class TransferProgress {
 public:
  // A bar of `maximum` steps (an int's range, however large the total).
  struct Bar {
    int value = 0;
    int maximum = 1;
    std::string text;
  };

  TransferProgress(Clock& clock, double redrawSeconds) : clock_(clock), redrawSeconds_(redrawSeconds) {}

  // A new transfer of `totalBytes`; returns what to draw now.
  Bar start(int64_t totalBytes);
  // The bytes sent so far; returns what to draw when a redraw is due.
  std::optional<Bar> advance(int64_t bytesSent);

  int64_t sent() const { return sent_; }
  int64_t total() const { return total_; }
  int frames() const { return frames_; }
  double elapsedSeconds() const;

 private:
  Bar bar();

  Clock& clock_;
  double redrawSeconds_;
  int64_t total_ = 0;
  int64_t sent_ = 0;
  int frames_ = 0;        // reported since the start
  double startedAt_ = 0;  // on the clock
  double drawnAt_ = 0;
  int64_t divisor_ = 1;  // bytes per step of the bar
  int steps_ = 1;
};

}  // namespace torvane::form
