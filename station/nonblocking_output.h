// Output that never makes its writer wait: lines go to a file descriptor (a
// pipe, a terminal, a file) as far as it takes them now, and the rest goes
// out from the event loop once it can take more. While a line waits, a newer
// one with the same key (a machine's status, its progress) takes its place:
// the latest wins, and what happened in between is not worth a stalled run.
// Lines without a key (found, message, end) are never dropped. A reader that
// goes away ends the output, not the program: SIGPIPE is ignored, the output
// reads closed and what waits is dropped.
#pragma once

#include <QByteArray>
#include <QString>
#include <deque>
#include <memory>

class QSocketNotifier;

namespace torvane::station {

class NonBlockingOutput {
 public:
  explicit NonBlockingOutput(int fd);
  ~NonBlockingOutput();
  NonBlockingOutput(const NonBlockingOutput&) = delete;
  NonBlockingOutput& operator=(const NonBlockingOutput&) = delete;

  // Queues `bytes` (whole lines) and writes what the descriptor takes now.
  void write(const QByteArray& bytes, const QString& key = {});
  // Writes what waits as far as the descriptor takes it now (the event
  // loop does so too, once it can take more).
  void flush() { pump(); }
  // True while something waits to be written.
  bool waiting() const { return !queue_.empty(); }
  // The reader has gone: nothing more is written.
  bool closed() const { return closed_; }
  // Blocks until everything waiting is written or the reader has gone; for
  // the very end, when no run needs the program any more.
  void drain();

 private:
  struct Line {
    QString key;
    QByteArray bytes;
  };
  void pump();
  void watch(bool on);

  int fd_;
  std::deque<Line> queue_;
  qsizetype sentOfFront_ = 0;  // bytes of the front line already written
  std::unique_ptr<QSocketNotifier> writable_;
  bool closed_ = false;
};

}  // namespace torvane::station
