// The view when standard output is not a terminal (a CI log, a file) or
// with --quiet: one line per stage of a machine, never redrawn, a progress
// line at each quarter of its transfer, then the summary.
#pragma once

#include <map>

#include "station/nonblocking_output.h"
#include "station/station_view.h"

namespace torvane::station {

class LineView : public StationView {
 public:
  LineView(NonBlockingOutput& out, bool quiet) : out_(out), quiet_(quiet) {}

  void event(const Machine& machine, const QJsonObject& event) override;
  void finish(const std::vector<Machine>& machines) override;

 private:
  void progress(const Machine& machine);
  void line(const Machine& machine, const QString& text, const QString& key = {});

  NonBlockingOutput& out_;
  bool quiet_;
  std::map<QString, int> quarterShown_;  // by port label
};

}  // namespace torvane::station
