// What the supervisor shows: the live lines on a terminal, one line per
// change elsewhere, or JSON lines; each view gets every event of every
// machine and the machines at the end.
#pragma once

#include <QJsonObject>
#include <vector>

#include "station/machine.h"

namespace torvane::station {

class StationView {
 public:
  virtual ~StationView() = default;
  // `machine` has taken the event in already.
  virtual void event(const Machine& machine, const QJsonObject& event) = 0;
  virtual void finish(const std::vector<Machine>& machines) = 0;
};

}  // namespace torvane::station
