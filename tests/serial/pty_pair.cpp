#include "tests/serial/pty_pair.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <cerrno>

namespace torvane::testing {

PtyPair::PtyPair() {
  char name[256] = {};
  if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
    master_ = slave_ = -1;
    return;
  }
  path_ = name;
  ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
}

PtyPair::~PtyPair() {
  closeMaster();
  closeSlave();
}

HoldingProcess::HoldingProcess(const std::string& device, const char* name, bool lock) {
  int ready[2], release[2];
  if (::pipe(ready) != 0) return;
  if (::pipe(release) != 0) {
    ::close(ready[0]);
    ::close(ready[1]);
    return;
  }
  pid_ = ::fork();
  if (pid_ == 0) {
    ::close(ready[0]);
    ::close(release[1]);
    ::prctl(PR_SET_NAME, name);
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY);
    const bool held = fd >= 0 && (!lock || ::flock(fd, LOCK_EX | LOCK_NB) == 0);
    [[maybe_unused]] const ssize_t w = ::write(ready[1], held ? "y" : "n", 1);
    char c;
    [[maybe_unused]] const ssize_t r = ::read(release[0], &c, 1);  // until the test closes its end
    ::_exit(0);
  }
  ::close(ready[1]);
  ::close(release[0]);
  release_ = release[1];
  char held = 0;
  holding_ = pid_ > 0 && ::read(ready[0], &held, 1) == 1 && held == 'y';
  ::close(ready[0]);
}

HoldingProcess::~HoldingProcess() { release(); }

void HoldingProcess::release() {
  if (release_ >= 0) ::close(release_);
  release_ = -1;
  if (pid_ > 0) ::waitpid(pid_, nullptr, 0);
  pid_ = -1;
  holding_ = false;
}

void PtyPair::closeSlave() {
  if (slave_ >= 0) ::close(slave_);
  slave_ = -1;
}

void PtyPair::closeMaster() {
  if (master_ >= 0) ::close(master_);
  master_ = -1;
}

void PtyPair::writeMaster(const ByteString& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
      return;
    } else {
      pollfd p{master_, POLLOUT, 0};
      ::poll(&p, 1, 10);
    }
  }
}

ByteString PtyPair::readMaster(std::size_t count, int ms) {
  ByteString got;
  QElapsedTimer clock;
  clock.start();
  char buffer[4096];
  while (got.size() < count && clock.elapsed() < ms) {
    const ssize_t n = ::read(master_, buffer, sizeof buffer);
    if (n > 0) {
      got.append(buffer, static_cast<std::size_t>(n));
      continue;
    }
    runEventLoop(2);  // lets Qt's write notifier hand over what it still holds
  }
  return got;
}

bool PtyPair::waitSlaveHolds(std::size_t count, int ms) {
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < ms) {
    int held = 0;
    if (::ioctl(slave_, FIONREAD, &held) == 0 && static_cast<std::size_t>(held) >= count) return true;
    pollfd p{slave_, POLLIN, 0};
    ::poll(&p, 1, 2);
    if (p.revents & POLLIN) ::usleep(500);  // the rest of a write may still be on its way
  }
  return false;
}

void runEventLoop(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

ByteString allByteValues() {
  ByteString all;
  for (int b = 0; b < 256; ++b) appendByte(all, static_cast<uint8_t>(b));
  return all;
}

Fault faultOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const Fault& f) {
    return f;
  }
  ADD_FAILURE() << "no fault thrown";
  return Fault(0, "", "");
}

}  // namespace torvane::testing
