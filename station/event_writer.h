// How a worker tells the supervisor what its machine does: one JSON object
// per line on standard output, each with the time it was made, written
// whole, so that the supervisor sees each event as it happens and a worker
// that dies leaves no half line behind the last whole one. Status and progress are told
// between a verdict and the next frame, so they are kept until the run next
// sleeps (or another event comes) and then written in one go: neither the
// write nor the supervisor it wakes stands between a verdict and the next
// frame.
//
//   {"event":"found"}                                   the scan heard "AA"
//   {"event":"absent"}                                  it did not; the worker ends
//   {"event":"status","stage":G,"text":T}               a stage began (or an entry, stage "transfer"); T the status
//   line
//   {"event":"message","text":T}                        a message box
//   {"event":"progress","sent":N,"total":N,"frames":F,"seconds":S}  F frames accepted, S since the transfer began
//   {"event":"end","outcome":O,"status":T,"fault":F,"seconds":S,"frames":N,"resends":N}
#pragma once

#include <QJsonObject>
#include <QString>
#include <cstdio>
#include <vector>

#include "station/nonblocking_output.h"

namespace torvane::station {

class EventWriter {
 public:
  explicit EventWriter(int fd = 1) : out_(fd) {}

  EventWriter(const EventWriter&) = delete;
  EventWriter& operator=(const EventWriter&) = delete;
  ~EventWriter() { flush(); }

  // Writes the kept events, then this one, which is never dropped.
  void write(const QString& name, QJsonObject fields = {});
  // Keeps the event, in order, until flush() or the next write(); `now` is
  // when, on the run's clock.
  void writeLater(const QString& name, QJsonObject fields, double now);
  // Hands the kept events to the pipe, which never makes the run wait: while
  // the supervisor does not read, the latest status and the latest progress
  // take the place of older ones.
  void flush();
  // How long the oldest kept event has waited at `now`; 0 with none kept.
  double heldFor(double now) const { return kept_.empty() ? 0 : now - heldSince_; }
  // Waits until every event is out, or the supervisor has gone: at the
  // worker's end only.
  void drain() {
    flush();
    out_.drain();
  }

 private:
  struct Kept {
    QString name;
    QByteArray line;
  };
  NonBlockingOutput out_;
  std::vector<Kept> kept_;
  double heldSince_ = 0;
};

// An event as one line of JSON, with its name and the time it was made
// ("time": UTC, ISO 8601 with milliseconds).
QByteArray eventLine(const QString& name, QJsonObject fields);

}  // namespace torvane::station
