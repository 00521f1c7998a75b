// The window operations of a worker of torvane-station: no window, one
// machine, and JSON events on a pipe to the supervisor (event_writer.h)
// instead of drawing. The status line is only kept (the stage reporter tells
// the supervisor of each stage), a message box becomes a message event that
// needs no OK, the pointer nothing; the option buttons are fixed by the
// command line; the pause timer is a QTimer and every sleeping pass sleeps in
// the Qt event loop, as the window's do. Progress is told at most every
// kProgressEverySeconds, and at the start and at 100%.
#pragma once

#include <QTimer>
#include <cstdint>
#include <string>

#include "context/form_context.h"
#include "form/transfer_progress.h"
#include "station/event_writer.h"

namespace torvane::station {

class EventPipeWindowOps : public WindowOps {
 public:
  EventPipeWindowOps(Source source, int com, EventWriter& events, Clock& clock);

  // The state whose pause-timer flag the ticks set.
  void attach(FormState& state) { state_ = &state; }

  void setStatus(const std::string& text) override { status_ = text; }
  std::string status() const override { return status_; }
  void setTimeLine(const std::string& text) override { timeLine_ = text; }
  void repaint() override {}
  void yield() override;
  void yieldWait(double maxSeconds) override;
  void setBusyPointer(bool) override {}
  void messageBox(const std::string& text) override;
  bool sourceSelected(Source source) const override { return source == source_; }
  bool portOptionSelected(int number) const override { return number == selectedCom_; }
  void selectPortOption(int number) override { selectedCom_ = number; }
  void startDelay(int intervalMs) override;
  void stopDelay() override { delay_.stop(); }
  std::string dialogFileName() const override { return {}; }

  void progressStart(int64_t totalBytes) override;
  void progressAdvance(int64_t bytesSent) override;
  void progressEnd() override {}

  // Events wait for the run's next sleep, or this long at most: a pass
  // that does not sleep comes between a verdict and the next frame.
  static constexpr double kHoldAtMostSeconds = 0.1;
  static constexpr double kProgressEverySeconds = 0.1;

 private:
  void tellProgress();

  Source source_;
  int selectedCom_;
  EventWriter& events_;
  Clock& clock_;
  FormState* state_ = nullptr;
  std::string status_;
  std::string timeLine_;
  QTimer delay_;
  form::TransferProgress progress_;
};

}  // namespace torvane::station
