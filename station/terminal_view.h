// The view on a terminal: one live line per machine (port, progress bar,
// percent, bytes per second, time left, status), redrawn in place at most
// every kRedrawSeconds, and only once the terminal has taken the last
// drawing (it may be stopped with Ctrl-S); messages appear above the lines;
// at the end the lines are drawn once more and the summary follows.
#pragma once

#include <QElapsedTimer>
#include <QStringList>
#include <QTimer>

#include "station/nonblocking_output.h"
#include "station/station_view.h"

namespace torvane::station {

class TerminalView : public StationView {
 public:
  TerminalView(NonBlockingOutput& out, const std::vector<Machine>& machines);

  void event(const Machine& machine, const QJsonObject& event) override;
  void finish(const std::vector<Machine>& machines) override;

  static constexpr int kRedrawMs = 250;

 private:
  void redraw();

  NonBlockingOutput& out_;
  const std::vector<Machine>& machines_;
  QStringList messages_;  // waiting to be printed above the lines
  int drawn_ = 0;         // lines drawn last time
  bool dirty_ = false;
  QTimer timer_;
};

// The terminal's width in characters; 0 when unknown.
int terminalWidth();

}  // namespace torvane::station
