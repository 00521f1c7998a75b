// FOR TESTS ONLY. A clock that runs `speedup` times faster than real time and
// the window-operations decorator that goes with it, so that the 5-s and
// 20-s waits of an end-to-end run pass in a fraction of the time while the
// real window, port and event loop do the work. Never used by the program.
#pragma once

#include <QElapsedTimer>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/qt_clock.h"
#include "context/clock.h"
#include "context/window_ops.h"

namespace torvane::e2e {

// seconds() = speedup × real elapsed seconds. The time of day is the real one.
class FastClock : public Clock {
 public:
  explicit FastClock(double speedup = 1.0);
  double seconds() override;
  std::string timeOfDayText() override { return wallClock_.timeOfDayText(); }
  double speedup() const { return speedup_; }

 private:
  double speedup_;
  QElapsedTimer started_;
  QtClock wallClock_;
};

// Delegates everything to the real window operations, records every status
// text, and shortens each wait pass by the clock's speed-up: yieldWait(s)
// becomes yieldWait(s / speedup), so a pass never sleeps past the deadline of
// the fast clock.
class RecordingWindowOps : public WindowOps {
 public:
  RecordingWindowOps(WindowOps& inner, double speedup) : inner_(inner), speedup_(speedup) {}

  // Every text set, in order; a text set again unchanged right after itself
  // is kept once (the live waits rewrite the line on every pass).
  const std::vector<std::string>& statuses() const { return statuses_; }
  void clearStatuses() { statuses_.clear(); }
  int yieldWaits() const { return yieldWaits_; }
  // Called with every status text as it is set: lets a test act at a chosen
  // moment of a run (delete a file while it is sent, for example).
  std::function<void(const std::string&)> onStatus;

  void setStatus(const std::string& text) override;
  std::string status() const override { return inner_.status(); }
  void setTimeLine(const std::string& text) override {
    timeLine_ = text;
    inner_.setTimeLine(text);
  }
  // The last time line set, as the procedures wrote it (CR LF kept).
  const std::string& timeLine() const { return timeLine_; }
  void repaint() override { inner_.repaint(); }
  void yield() override { inner_.yield(); }
  void yieldWait(double maxSeconds) override;
  void setBusyPointer(bool busy) override { inner_.setBusyPointer(busy); }
  void messageBox(const std::string& text) override { inner_.messageBox(text); }
  bool sourceSelected(Source source) const override { return inner_.sourceSelected(source); }
  bool portOptionSelected(int number) const override { return inner_.portOptionSelected(number); }
  void selectPortOption(int number) override { inner_.selectPortOption(number); }
  void startDelay(int intervalMs) override { inner_.startDelay(intervalMs); }
  void stopDelay() override { inner_.stopDelay(); }
  std::string dialogFileName() const override { return inner_.dialogFileName(); }
  void progressStart(int64_t totalBytes) override { inner_.progressStart(totalBytes); }
  void progressAdvance(int64_t bytesSent) override { inner_.progressAdvance(bytesSent); }
  void progressEnd() override { inner_.progressEnd(); }

 private:
  static constexpr std::size_t kMaxRecorded = 200000;
  WindowOps& inner_;
  double speedup_;
  std::vector<std::string> statuses_;
  std::string timeLine_;
  int yieldWaits_ = 0;
};

}  // namespace torvane::e2e
