// The view when standard output is not a terminal (a CI log, a file) or
// with --quiet: one line per change of a machine, never redrawn, then the
// summary. The status texts of every frame exchange (sending data or an
// address, an ACK) are folded into progress lines at each quarter.
#pragma once

#include <QTextStream>
#include <map>

#include "station/station_view.h"

namespace torvane::station {

class LineView : public StationView {
 public:
  LineView(QTextStream& out, bool quiet) : out_(out), quiet_(quiet) {}

  void event(const Machine& machine, const QJsonObject& event) override;
  void finish(const std::vector<Machine>& machines) override;

  // True for the status texts that change on every frame.
  static bool routine(const QString& status);

 private:
  void progress(const Machine& machine);
  void line(const Machine& machine, const QString& text);

  QTextStream& out_;
  bool quiet_;
  std::map<QString, int> quarterShown_;  // by port label
};

}  // namespace torvane::station
