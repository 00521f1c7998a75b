#include "station/stop_signals.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QtGlobal>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#endif

namespace torvane::station {

namespace {

std::function<void(const std::string&)>& stopAction() {
  static std::function<void(const std::string&)> action;
  return action;
}

#ifdef Q_OS_UNIX
int wakeFds[2] = {-1, -1};

void onSignal(int signal) {
  const auto byte = static_cast<char>(signal);
  [[maybe_unused]] const ssize_t written = ::write(wakeFds[1], &byte, 1);
}

std::string stopText(int signal) {
  switch (signal) {
    case SIGINT: return "stopped (Ctrl-C)";
    case SIGTERM: return "stopped (SIGTERM)";
    case SIGHUP: return "stopped (the terminal was closed)";
    default: return "stopped (signal " + std::to_string(signal) + ")";
  }
}
#endif

}  // namespace

void onStopSignal(std::function<void(const std::string&)> stop) {
  stopAction() = std::move(stop);
#ifdef Q_OS_UNIX
  if (wakeFds[0] >= 0) return;
  if (::pipe2(wakeFds, O_CLOEXEC | O_NONBLOCK) != 0) return;
  // Owned by the application object: it lives until the event loop is gone.
  auto* notifier = new QSocketNotifier(wakeFds[0], QSocketNotifier::Read, QCoreApplication::instance());
  QObject::connect(notifier, &QSocketNotifier::activated, [] {
    char bytes[16];
    int signal = 0;
    for (ssize_t n; (n = ::read(wakeFds[0], bytes, sizeof bytes)) > 0;) signal = bytes[n - 1];
    if (stopAction() && signal != 0) stopAction()(stopText(signal));
  });
  struct sigaction action {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
#endif
}

}  // namespace torvane::station
