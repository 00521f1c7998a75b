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

std::function<void()>& stopAction() {
  static std::function<void()> action;
  return action;
}

#ifdef Q_OS_UNIX
int wakeFds[2] = {-1, -1};

void onSignal(int) {
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = ::write(wakeFds[1], &byte, 1);
}
#endif

}  // namespace

void onStopSignal(std::function<void()> stop) {
  stopAction() = std::move(stop);
#ifdef Q_OS_UNIX
  if (wakeFds[0] >= 0) return;
  if (::pipe2(wakeFds, O_CLOEXEC | O_NONBLOCK) != 0) return;
  // Owned by the application object: it lives until the event loop is gone.
  auto* notifier = new QSocketNotifier(wakeFds[0], QSocketNotifier::Read, QCoreApplication::instance());
  QObject::connect(notifier, &QSocketNotifier::activated, [] {
    char bytes[16];
    while (::read(wakeFds[0], bytes, sizeof bytes) > 0) {
    }
    if (stopAction()) stopAction()();
  });
  struct sigaction action {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
#endif
}

}  // namespace torvane::station
