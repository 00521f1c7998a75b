#include "sim/pty_line.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace torvane::sim {

int baudOf(unsigned speedCode) {
  switch (speedCode) {
    case B1200: return 1200;
    case B2400: return 2400;
    case B4800: return 4800;
    case B9600: return 9600;
    case B19200: return 19200;
    case B38400: return 38400;
    case B57600: return 57600;
    case B115200: return 115200;
    default: return 0;
  }
}

PtyLine::~PtyLine() { hangUp(); }

bool PtyLine::open(std::string& error) {
  char name[256] = {};
  if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
    error = std::string("openpty failed: ") + std::strerror(errno);
    return false;
  }
  slavePath_ = name;
  bool ok = configureSlave();
  int on = 1;
  ok = ok && ioctl(master_, TIOCPKT, &on) == 0;
  const int flags = fcntl(master_, F_GETFL);
  ok = ok && flags >= 0 && fcntl(master_, F_SETFL, flags | O_NONBLOCK) == 0;
  ok = ok && fcntl(master_, F_SETFD, FD_CLOEXEC) == 0 && fcntl(slave_, F_SETFD, FD_CLOEXEC) == 0;
  if (!ok) {
    error = std::string("setting up the pseudo-terminal failed: ") + std::strerror(errno);
    hangUp();
    return false;
  }
  knownSpeed_ = speedNow();
  return true;
}

// Raw at 4800 with EXTPROC, as a machine just switched on expects the line.
bool PtyLine::configureSlave() {
  termios tio{};
  if (tcgetattr(slave_, &tio) != 0) return false;
  cfmakeraw(&tio);
  tio.c_cflag |= CLOCAL | CREAD;
  tio.c_lflag |= EXTPROC;
  cfsetispeed(&tio, B4800);
  cfsetospeed(&tio, B4800);
  return tcsetattr(slave_, TCSANOW, &tio) == 0;
}

bool PtyLine::unplug(std::string& error) {
  if (master_ < 0) {
    error = "cannot unplug: the line is closed";
    return false;
  }
  const auto failed = [&](const std::string& what) {
    error = "cannot unplug " + slavePath_ + ": " + what + ": " + std::strerror(errno);
    return false;
  };
  // Through our own descriptor of the slave: opening the path anew would be
  // refused while the host holds it exclusively (TIOCEXCL).
  if (ioctl(slave_, TIOCVHANGUP) != 0) {
    const bool denied = errno == EPERM;
    failed("TIOCVHANGUP");
    if (denied) error += " (needs root or CAP_SYS_ADMIN)";
    return false;
  }
  // The new slave is opened before the hung-up one closes: were the slave's
  // last descriptor closed, the master would read the line as gone for good.
  const int fresh = ::open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fresh < 0) return failed("reopening the slave");
  ::close(slave_);
  slave_ = fresh;
  // The hang-up reset the slave's settings (38400, cooked) and discarded what
  // the host had not read; nothing is flushed here, as a host quick to open
  // the path again may have sent its first bytes already. The host's
  // exclusive open (TIOCEXCL) outlives the hang-up, as the host cannot undo
  // it on a dead descriptor; a new adapter would not carry it over.
  if (!configureSlave()) return failed("setting up the slave again");
  if (ioctl(slave_, TIOCNXCL) != 0) return failed("TIOCNXCL");
  oldSpeedBytes_.clear();
  knownSpeed_ = speedNow();
  return true;
}

int PtyLine::speedNow() const {
  termios tio{};
  if (master_ < 0 || tcgetattr(master_, &tio) != 0) return 0;
  return baudOf(cfgetospeed(&tio));
}

bool PtyLine::notifiesSpeedChanges() const {
  termios tio{};
  return master_ >= 0 && tcgetattr(master_, &tio) == 0 && (tio.c_lflag & EXTPROC) != 0;
}

bool PtyLine::readAvailable(std::vector<Chunk>& out) {
  if (master_ < 0) return false;
  unsigned char buffer[4097];
  for (;;) {
    const int sampled = speedNow();
    const ssize_t n = ::read(master_, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
    if (n <= 0) return false;
    if (buffer[0] != TIOCPKT_DATA) {
      // A status byte. On a speed change, what is still unread may have
      // been sent before or after it.
      if (buffer[0] & TIOCPKT_IOCTL) {
        int pending = 0;
        if (ioctl(master_, FIONREAD, &pending) != 0) pending = 0;
        int counted = 0;
        for (const Segment& s : oldSpeedBytes_) counted += s.count;
        const int before = knownSpeed_;
        knownSpeed_ = speedNow();
        if (pending > counted && before != knownSpeed_) {
          oldSpeedBytes_.push_back({pending - counted, before, knownSpeed_});
        }
      }
      continue;
    }
    std::size_t at = 1;
    const auto length = static_cast<std::size_t>(n);
    while (at < length) {
      int speed = sampled;
      int oldSpeed = 0;
      std::size_t take = length - at;
      if (!oldSpeedBytes_.empty()) {
        Segment& s = oldSpeedBytes_.front();
        speed = s.newSpeed;
        oldSpeed = s.oldSpeed;
        take = std::min(take, static_cast<std::size_t>(s.count));
        s.count -= static_cast<int>(take);
        if (s.count == 0) oldSpeedBytes_.pop_front();
      }
      if (!out.empty() && out.back().speed == speed && out.back().oldSpeed == oldSpeed) {
        out.back().bytes.append(reinterpret_cast<const char*>(buffer + at), take);
      } else {
        out.push_back({ByteString(reinterpret_cast<const char*>(buffer + at), take), speed, oldSpeed});
      }
      at += take;
    }
    if (oldSpeedBytes_.empty()) knownSpeed_ = sampled;
  }
}

bool PtyLine::write(const ByteString& bytes) {
  std::size_t done = 0;
  int stalls = 0;
  while (master_ >= 0 && done < bytes.size()) {
    const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && ++stalls <= 10) {
      // The host is not reading; give it a moment, then give up.
      pollfd p{master_, POLLOUT, 0};
      ::poll(&p, 1, 10);
      continue;
    }
    return false;
  }
  return master_ >= 0;
}

void PtyLine::waitHostRead(int ms) {
  // The first pause lets bytes still on their way reach the host's queue.
  int waited = 0;
  do {
    ::poll(nullptr, 0, 5);
    waited += 5;
  } while (waited < ms && hostUnread() > 0);
}

int PtyLine::hostUnread() const {
  int pending = 0;
  if (slave_ < 0 || ioctl(slave_, FIONREAD, &pending) != 0) return 0;
  return pending;
}

void PtyLine::hangUp() {
  if (master_ >= 0) ::close(master_);
  if (slave_ >= 0) ::close(slave_);
  master_ = -1;
  slave_ = -1;
}

}  // namespace torvane::sim
