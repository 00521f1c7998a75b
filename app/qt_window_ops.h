// The window operations on the real window: status and time lines, repaint,
// the yields every wait makes, the busy pointer, message boxes, the option
// buttons and the pause timer.
#pragma once

#include "app/window_ops.h"

namespace torvane {

class Frmdl;

class QtWindowOps : public WindowOps {
 public:
  explicit QtWindowOps(Frmdl& window) : window_(window) {}
  ~QtWindowOps() override;

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
  std::string dialogFileName() const override { return dialogFileName_; }

 private:
  Frmdl& window_;
  bool busy_ = false;           // the busy pointer is set (one override level)
  std::string dialogFileName_;  // the file dialog is never opened: stays empty
};

}  // namespace torvane
