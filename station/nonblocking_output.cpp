#include "station/nonblocking_output.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <algorithm>
#include <csignal>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace torvane::station {

NonBlockingOutput::NonBlockingOutput(int fd) : fd_(fd) {
#ifdef Q_OS_UNIX
  std::signal(SIGPIPE, SIG_IGN);  // a reader that went away is an error of write(), not a signal
  const int flags = ::fcntl(fd_, F_GETFL);
  if (flags >= 0) ::fcntl(fd_, F_SETFL, flags | O_NONBLOCK);
#endif
}

NonBlockingOutput::~NonBlockingOutput() = default;

void NonBlockingOutput::write(const QByteArray& bytes, const QString& key) {
  if (closed_ || bytes.isEmpty()) return;
  if (!key.isEmpty()) {
    // The waiting line of that key gives way, unless it is half written.
    const auto older = std::find_if(queue_.begin() + (sentOfFront_ > 0 ? 1 : 0), queue_.end(),
                                    [&key](const Line& line) { return line.key == key; });
    if (older != queue_.end()) queue_.erase(older);
  }
  queue_.push_back({key, bytes});
  pump();
}

// Writes what the descriptor takes without waiting.
void NonBlockingOutput::pump() {
  while (!queue_.empty() && !closed_) {
    const QByteArray& bytes = queue_.front().bytes;
#ifdef Q_OS_UNIX
    const ssize_t n = ::write(fd_, bytes.constData() + sentOfFront_, static_cast<size_t>(bytes.size() - sentOfFront_));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
    if (n < 0) {  // EPIPE and every other error: the output has ended
      closed_ = true;
      queue_.clear();
      break;
    }
#else
    const auto n = static_cast<qsizetype>(::fwrite(bytes.constData(), 1, bytes.size(), stdout));
    std::fflush(stdout);
#endif
    sentOfFront_ += n;
    if (sentOfFront_ < bytes.size()) continue;
    queue_.pop_front();
    sentOfFront_ = 0;
  }
  watch(!queue_.empty() && !closed_);
}

void NonBlockingOutput::watch(bool on) {
#ifdef Q_OS_UNIX
  if (on && !writable_ && QCoreApplication::instance() != nullptr) {
    writable_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Write);
    QObject::connect(writable_.get(), &QSocketNotifier::activated, [this] { pump(); });
  }
  if (writable_) writable_->setEnabled(on);
#else
  (void)on;
#endif
}

void NonBlockingOutput::drain() {
#ifdef Q_OS_UNIX
  while (waiting() && !closed_) {
    pollfd p{fd_, POLLOUT, 0};
    if (::poll(&p, 1, -1) < 0 && errno != EINTR) break;
    pump();
  }
#endif
}

}  // namespace torvane::station
