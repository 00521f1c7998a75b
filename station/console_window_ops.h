// The window operations of a worker of torvane-station: no window, one
// machine. The status line becomes a status event (one per change), a
// message box a message event that needs no OK, the pointer nothing; the
// option buttons are fixed by the command line; the pause timer is a QTimer
// and every sleeping pass sleeps in the Qt event loop, as the window's do.
#pragma once

#include <QTimer>
#include <cstdint>
#include <string>

#include "context/form_context.h"
#include "station/event_writer.h"

namespace torvane::station {

class ConsoleWindowOps : public WindowOps {
 public:
  ConsoleWindowOps(Source source, int com, EventWriter& events, Clock& clock);

  // The state whose pause-timer flag the ticks set.
  void attach(FormState& state) { state_ = &state; }
  // While muted, status changes are kept but not told (the port scan's
  // texts name COM numbers the worker never uses).
  void setMuted(bool muted) { muted_ = muted; }

  void setStatus(const std::string& text) override;
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

  // Progress is told at most this often (and at the start and at 100%).
  static constexpr double kProgressEverySeconds = 0.1;
  // Status and progress wait for the run's next sleep, or this long at most.
  static constexpr double kHoldAtMostSeconds = 0.1;

 private:
  void tellProgress(double now);
  void tellLater(const QString& name, QJsonObject fields);

  Source source_;
  int selectedCom_;
  EventWriter& events_;
  Clock& clock_;
  FormState* state_ = nullptr;
  bool muted_ = false;
  std::string status_;
  std::string timeLine_;
  QTimer delay_;
  int64_t total_ = 0;
  int64_t sent_ = 0;
  double startedAt_ = 0;
  double toldAt_ = 0;
  double heldSince_ = 0;
};

}  // namespace torvane::station
