// --json: every event of every machine as one JSON object per line, with
// the machine's "port" (as named) and "device" added; nothing else on
// standard output. With --quiet only the found and end events. While the
// reader is slow, a machine's latest status and progress take the place of
// older ones that still wait.
#pragma once

#include "station/nonblocking_output.h"
#include "station/station_view.h"

namespace torvane::station {

class JsonView : public StationView {
 public:
  JsonView(NonBlockingOutput& out, bool quiet) : out_(out), quiet_(quiet) {}

  void event(const Machine& machine, const QJsonObject& event) override;
  // A scan that found no machine says so on standard error: standard output
  // holds JSON only.
  void finish(const std::vector<Machine>& machines) override;

 private:
  NonBlockingOutput& out_;
  bool quiet_;
};

}  // namespace torvane::station
