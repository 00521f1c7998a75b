// The window operations on the Windows window: status and time lines,
// repaint, the yields every wait makes, the busy pointer, message boxes, the
// option buttons, the pause timer and the transfer progress bar. When the
// status line and the bar are painted is the window's shared rule
// (form/status_hold.h, form/transfer_progress.h); this only draws.
#pragma once

#include <cstdint>
#include <string>

#include "context/clock.h"
#include "context/serial_port.h"
#include "context/window_ops.h"
#include "form/status_hold.h"
#include "form/transfer_progress.h"

namespace torvane {

class Frmdl;

class Win32WindowOps final : public WindowOps {
 public:
  // While the port is open a sleep lasts at most this long, so that a
  // device that goes away without ending the pending read still ends the
  // run within a second.
  static constexpr double kLongestSleepWithPortOpen = 0.5;
  static constexpr double kProgressRedrawSeconds = 0.25;

  Win32WindowOps(Frmdl& window, SerialPort& port, Clock& clock);
  ~Win32WindowOps() override;

  void setStatus(const std::string& text) override;
  std::string status() const override;
  void setTimeLine(const std::string& text) override;
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
  std::string dialogFileName() const override { return {}; }  // the file dialog is never opened
  void progressStart(int64_t totalBytes) override;
  void progressAdvance(int64_t bytesSent) override;
  void progressEnd() override;

  // The status hold's timer has fired.
  void holdTimerFired();

 private:
  void armHoldTimer();
  void draw(const form::TransferProgress::Bar& bar);

  Frmdl& window_;
  SerialPort& port_;
  Clock& clock_;
  bool busy_ = false;
  form::StatusHold hold_;
  form::TransferProgress progress_;
};

}  // namespace torvane
