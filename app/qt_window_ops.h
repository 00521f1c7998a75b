// The window operations on the real window: status and time lines, repaint,
// the yields every wait makes, the busy pointer, message boxes, the option
// buttons, the pause timer and the transfer progress bar.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "app/qt_clock.h"
#include "context/window_ops.h"

class QTimer;

namespace torvane {

class Frmdl;

class QtWindowOps : public WindowOps {
 public:
  // The progress bar measures on progressClock (its redraw limit and the
  // time left), else on a monotonic clock of its own.
  explicit QtWindowOps(Frmdl& window, Clock* progressClock = nullptr);
  ~QtWindowOps() override;

  void setStatus(const std::string& text) override;
  std::string status() const override;
  void setTimeLine(const std::string& text) override;
  // Paints now what has changed, without handling other events. Once the
  // status line has been painted, its later changes are held for
  // kStatusHoldSeconds and then painted from the event loop (every
  // kStatusHoldSeconds while it keeps changing), so that painting never
  // slows a frame exchange; the default pointer at the end of a run paints
  // it at once.
  void repaint() override;
  void yield() override;
  void yieldWait(double maxSeconds) override;
  void setBusyPointer(bool busy) override;
  void messageBox(const std::string& text) override;
  bool sourceSelected(Source source) const override;
  bool portOptionSelected(int number) const override;
  void selectPortOption(int number) override;
  void startDelay(int intervalMs) override;
  void stopDelay() override;
  std::string dialogFileName() const override { return dialogFileName_; }

  // The progress bar prgTransfer. The procedure reports every accepted
  // frame; the bar is redrawn at most every kProgressRedrawSeconds (and at
  // 100%), so it never slows the transfer.
  void progressStart(int64_t totalBytes) override;
  void progressAdvance(int64_t bytesSent) override;
  void progressEnd() override;

  static constexpr double kProgressRedrawSeconds = 0.25;
  // After the status line is painted, its changes wait this long to be
  // painted (repaint() paints it at most this often).
  static constexpr double kStatusHoldSeconds = 0.25;

 private:
  void redrawProgress(double now);
  void holdStatus();
  void releaseStatus(bool paintNow);

  Frmdl& window_;
  bool busy_ = false;           // the busy pointer is set (one override level)
  std::string dialogFileName_;  // the file dialog is never opened: stays empty
  bool statusHeld_ = false;     // changes of the status line are not painted yet
  bool statusChangedWhileHeld_ = false;
  std::unique_ptr<QTimer> statusHold_;  // ends the hold

  QtClock ownClock_;
  Clock* progressClock_;
  struct Progress {
    int64_t total = 0;
    int64_t sent = 0;
    int advances = 0;      // frames reported since the start
    double startedAt = 0;  // progress clock at the start
    double shownAt = 0;    // progress clock at the last redraw
    int64_t divisor = 1;   // bytes per step of the bar (its range is an int)
    int steps = 1;         // the bar's maximum
  } progress_;
};

// Text of the progress bar: the percentage of `total` sent, and once the
// rate is known (at least kEstimateAfterSeconds and kEstimateAfterFrames
// into the transfer) the time left, as "42%  about 3 min 10 s left". A total
// of 0 has nothing left to send: "100%".
inline constexpr double kEstimateAfterSeconds = 5.0;
inline constexpr int kEstimateAfterFrames = 4;
std::string progressBarText(int64_t sent, int64_t total, double elapsedSeconds, int frames);

// The time left in words, coarser the longer it is: "about 45 s left",
// "about 3 min 10 s left" (10-s steps below 10 min), "about 14 min left",
// "about 2 h 5 min left", "more than 99 h left". Empty when there is no
// usable estimate (negative, not a number).
std::string timeLeftText(double secondsLeft);

}  // namespace torvane
