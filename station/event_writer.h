// How a worker tells the supervisor what its machine does: one JSON object
// per line on standard output, written whole and flushed at once, so that
// the supervisor sees each event as it happens and a worker that dies leaves
// no half line behind the last whole one. Status and progress are told
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

namespace torvane::station {

class EventWriter {
 public:
  explicit EventWriter(std::FILE* out = stdout) : out_(out) {}

  EventWriter(const EventWriter&) = delete;
  EventWriter& operator=(const EventWriter&) = delete;
  ~EventWriter() { flush(); }

  void write(const QString& name, QJsonObject fields = {});
  // Keeps the event, in order, until flush() or the next write(); `now` is
  // when, on the run's clock.
  void writeLater(const QString& name, QJsonObject fields, double now);
  void flush();
  // How long the oldest kept event has waited at `now`; 0 with none kept.
  double heldFor(double now) const { return pending_.isEmpty() ? 0 : now - heldSince_; }

 private:
  std::FILE* out_;
  QByteArray pending_;
  double heldSince_ = 0;
};

}  // namespace torvane::station
