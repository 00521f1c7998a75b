#include "tests/fakes/fake_window.h"

#include <algorithm>
#include <stdexcept>

namespace torvane::testing {

void FakeWindow::runDue() {
  if (delayRunning_ && clock_.now >= nextTick_) {
    nextTick_ = clock_.now + delayInterval_;
    if (onDelayTick) onDelayTick();
  }
  for (std::size_t i = 0; i < actions_.size(); ++i) {
    if (!actions_[i].done && clock_.now >= actions_[i].time) {
      actions_[i].done = true;
      auto run = actions_[i].run;  // the action may schedule more actions
      run();
    }
  }
}

std::optional<double> FakeWindow::nextEvent() const {
  std::optional<double> next;
  if (clock_.nextInputAfter) next = clock_.nextInputAfter(clock_.now);
  auto consider = [&](double t) {
    if (!next || t < *next) next = t;
  };
  if (delayRunning_) consider(nextTick_);
  for (const auto& a : actions_) {
    if (!a.done) consider(a.time);
  }
  return next;
}

void FakeWindow::yield() {
  if (++yields > passLimit) throw std::logic_error("FakeWindow: pass limit reached (a wait that never ends?)");
  runDue();
}

void FakeWindow::yieldWait(double maxSeconds) {
  ++waitPasses;
  if (++yields > passLimit) throw std::logic_error("FakeWindow: pass limit reached (a wait that never ends?)");
  double target = clock_.now + std::max(0.0, maxSeconds);
  if (auto next = nextEvent(); next && *next < target) target = std::max(*next, clock_.now);
  clock_.now = target;
  runDue();
}

void FakeWindow::messageBox(const std::string& text) {
  boxes.push_back(text);
  if (onMessageBox) onMessageBox(text);
}

void FakeWindow::startDelay(int intervalMs) {
  timerLog.push_back("start " + std::to_string(intervalMs));
  delayRunning_ = true;
  delayInterval_ = intervalMs / 1000.0;
  nextTick_ = clock_.now + delayInterval_;
}

void FakeWindow::stopDelay() {
  timerLog.push_back("stop");
  delayRunning_ = false;
}

}  // namespace torvane::testing
