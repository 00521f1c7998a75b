#include "tests/e2e/fast_clock.h"

namespace torvane::e2e {

FastClock::FastClock(double speedup) : speedup_(speedup > 0 ? speedup : 1.0) { started_.start(); }

double FastClock::seconds() { return speedup_ * static_cast<double>(started_.nsecsElapsed()) / 1e9; }

void RecordingWindowOps::setStatus(const std::string& text) {
  if ((statuses_.empty() || statuses_.back() != text) && statuses_.size() < kMaxRecorded) {
    statuses_.push_back(text);
  }
  inner_.setStatus(text);
  if (onStatus) onStatus(text);
}

void RecordingWindowOps::yieldWait(double maxSeconds) {
  ++yieldWaits_;
  inner_.yieldWait(maxSeconds > 0 ? maxSeconds / speedup_ : maxSeconds);
}

}  // namespace torvane::e2e
