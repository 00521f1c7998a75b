// The window operations on the real window: status and time lines, repaint,
// the yields every wait makes, the busy pointer, message boxes, the option
// buttons, the pause timer and the transfer progress bar. When the status
// line and the bar are painted is the window's shared rule
// (form/status_hold.h, form/transfer_progress.h); this only draws.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "app/qt_clock.h"
#include "context/window_ops.h"
#include "form/status_hold.h"
#include "form/transfer_progress.h"

class QTimer;

namespace torvane {

class Frmdl;

class QtWindowOps : public WindowOps {
 public:
  // The status hold and the progress bar measure on `clock` (tests give a
  // fake one), else on a monotonic clock of their own.
  explicit QtWindowOps(Frmdl& window, Clock* clock = nullptr);
  ~QtWindowOps() override;

  void setStatus(const std::string& text) override;
  std::string status() const override;
  void setTimeLine(const std::string& text) override;
  // Paints now what has changed, without handling other events; the status
  // line as the hold allows (the default pointer at the end of a run paints
  // it at once).
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

  void progressStart(int64_t totalBytes) override;
  void progressAdvance(int64_t bytesSent) override;
  void progressEnd() override;

  static constexpr double kProgressRedrawSeconds = 0.25;
  static constexpr double kStatusHoldSeconds = form::StatusHold::kSeconds;

 private:
  void armHoldTimer();
  void paintStatusNow();
  void draw(const form::TransferProgress::Bar& bar);

  Frmdl& window_;
  bool busy_ = false;           // the busy pointer is set (one override level)
  std::string dialogFileName_;  // the file dialog is never opened: stays empty
  QtClock ownClock_;
  Clock& clock_;
  form::StatusHold hold_;
  std::unique_ptr<QTimer> holdTimer_;  // ends the hold
  form::TransferProgress progress_;
};

}  // namespace torvane
