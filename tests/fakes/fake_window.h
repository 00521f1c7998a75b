// Scripted window operations: records every status text, repaint, box,
// pointer change, timer call and progress call; a sleeping pass moves the
// fake clock to the next event (input, a tick, a scheduled action) or the end
// of its sleep; runs scheduled actions (the operator's clicks) inside yields.
#pragma once

#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "context/window_ops.h"
#include "tests/fakes/fake_clock.h"

namespace torvane::testing {

class FakeWindow : public WindowOps {
 public:
  explicit FakeWindow(FakeClock& clock) : clock_(clock) {}

  // --- what the procedures did ---
  std::vector<std::string> statuses;   // every text set, in order
  std::vector<std::string> repaints;   // the status line at every repaint
  std::vector<std::string> timeLines;  // every time-line text, in order
  std::vector<std::string> boxes;      // every message box text
  std::vector<bool> pointers;          // every pointer change (true: busy)
  std::vector<std::string> timerLog;   // "start 3", "stop"
  std::vector<std::string> progress;   // "start 1536", "advance 512", "end"
  int yields = 0;
  int waitPasses = 0;
  bool busyPointer = false;

  // --- what the operator set ---
  std::set<Source> selectedSources{Source::Program};
  int selectedPort = 1;  // 0: no port option selected
  std::string fileName;

  // Tick of the pause timer; the harness points it at delay_Timer.
  std::function<void()> onDelayTick;
  // Runs once inside the first yield at or after `time` (a click, a close...).
  void at(double time, std::function<void()> action) { actions_.push_back({time, std::move(action), false}); }
  // Runs inside every message box (the operator reading it).
  std::function<void(const std::string&)> onMessageBox;
  // Guard against a wait that never ends: passes allowed before the test fails.
  long passLimit = 5'000'000;

  // WindowOps
  void setStatus(const std::string& text) override {
    status_ = text;
    statuses.push_back(text);
  }
  std::string status() const override { return status_; }
  void setTimeLine(const std::string& text) override {
    timeLine_ = text;
    timeLines.push_back(text);
  }
  std::string timeLine() const { return timeLine_; }
  void repaint() override { repaints.push_back(status_); }
  void yield() override;
  void yieldWait(double maxSeconds) override;
  void setBusyPointer(bool busy) override {
    busyPointer = busy;
    pointers.push_back(busy);
  }
  void messageBox(const std::string& text) override;
  bool sourceSelected(Source source) const override { return selectedSources.count(source) > 0; }
  bool portOptionSelected(int number) const override { return selectedPort == number; }
  void selectPortOption(int number) override { selectedPort = number; }
  void startDelay(int intervalMs) override;
  void stopDelay() override;
  std::string dialogFileName() const override { return fileName; }
  // Without a progress bar the progress calls are those every window has.
  bool hasProgressBar = true;
  void progressStart(int64_t totalBytes) override {
    if (hasProgressBar) progress.push_back("start " + std::to_string(totalBytes));
  }
  void progressAdvance(int64_t bytesSent) override {
    if (hasProgressBar) progress.push_back("advance " + std::to_string(bytesSent));
  }
  void progressEnd() override {
    if (hasProgressBar) progress.push_back("end");
  }

  bool delayRunning() const { return delayRunning_; }

 private:
  struct Action {
    double time;
    std::function<void()> run;
    bool done;
  };
  void runDue();
  std::optional<double> nextEvent() const;

  FakeClock& clock_;
  std::string status_ = "Status: ";
  std::string timeLine_;
  std::vector<Action> actions_;
  bool delayRunning_ = false;
  double delayInterval_ = 0;
  double nextTick_ = 0;
};

}  // namespace torvane::testing
