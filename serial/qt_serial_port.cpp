#include "serial/qt_serial_port.h"

#include <QMetaObject>
#include <algorithm>
#include <climits>
#include <limits>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#endif
#ifdef Q_OS_LINUX
#include <linux/serial.h>
#endif

namespace torvane {
namespace {

// Qt's errors in this program's own terms: the one translation.
PortError portError(QSerialPort::SerialPortError error) {
  switch (error) {
    case QSerialPort::DeviceNotFoundError: return PortError::NoDevice;
    case QSerialPort::PermissionError: return PortError::AccessDenied;
    case QSerialPort::OpenError: return PortError::AlreadyOpen;
    case QSerialPort::NotOpenError: return PortError::NotOpen;
    case QSerialPort::ResourceError: return PortError::DeviceGone;
    case QSerialPort::UnsupportedOperationError: return PortError::Unsupported;
    case QSerialPort::ReadError: return PortError::ReadFailed;
    case QSerialPort::WriteError: return PortError::WriteFailed;
    case QSerialPort::TimeoutError:
    case QSerialPort::UnknownError:
    case QSerialPort::NoError: break;
  }
  return PortError::Other;
}

// Marks the span of one of our own operations: Qt errors raised inside it
// are handled by that operation and not kept for later.
class CallGuard {
 public:
  explicit CallGuard(int& depth) : depth_(depth) { ++depth_; }
  ~CallGuard() { --depth_; }
  CallGuard(const CallGuard&) = delete;
  CallGuard& operator=(const CallGuard&) = delete;

 private:
  int& depth_;
};

QSerialPort::Parity qtParity(char parity) {
  switch (parity) {
    case 'E': return QSerialPort::EvenParity;
    case 'O': return QSerialPort::OddParity;
    default: return QSerialPort::NoParity;
  }
}

void requireNotNegative(int bytes, const char* what) {
  if (bytes < 0) {
    throw Fault(fault::kInvalidArgument,
                std::string("The ") + what + " must be 0 or more bytes, not " + std::to_string(bytes) + ".",
                kPortSource);
  }
}

// The cause of a device that hung up. Its reads give end of file, which Qt
// explains with whatever errno held before ("Unknown error", "Resource
// temporarily unavailable").
constexpr const char* kHungUpText = "the device hung up";

// Reading a little more than this from the device in one input() call is
// never needed; it bounds the loop if a device floods the line.
constexpr int kMaxPullsPerRead = 64;

// Asks the driver to hand over received bytes at once. USB adapters buffer
// them otherwise: an FTDI adapter answers after 16 ms, with low latency
// within 1 ms, and the transfer waits for an answer to every frame. Devices
// that do not know the request (pseudo-terminals, some UARTs) or refuse it
// work as they are.
void requestLowLatency([[maybe_unused]] qintptr handle) {
#ifdef Q_OS_LINUX
  const int fd = static_cast<int>(handle);
  serial_struct serial{};
  if (fd < 0 || ::ioctl(fd, TIOCGSERIAL, &serial) != 0 || (serial.flags & ASYNC_LOW_LATENCY) != 0) return;
  serial.flags |= ASYNC_LOW_LATENCY;
  [[maybe_unused]] const int refused = ::ioctl(fd, TIOCSSERIAL, &serial);
#endif
}

}  // namespace

QtSerialPort::QtSerialPort(ComLookup lookup, const PortHost& host) : lookup_(std::move(lookup)), host_(host) {
  // Qt's read buffer stays unlimited (0). The receive buffer size is only
  // stored: a Qt read buffer bounded to, say, 512 bytes stops reading from
  // the device once full and drops or stalls whatever arrives meanwhile.
  port_.setReadBufferSize(0);
  QObject::connect(&port_, &QSerialPort::errorOccurred, &port_,
                   [this](QSerialPort::SerialPortError error) { onQtError(error); });
  QObject::connect(&port_, &QSerialPort::readyRead, &port_, [this] {
    if (inCall_ == 0 && activity_) activity_();
  });
  QObject::connect(&port_, &QSerialPort::bytesWritten, &port_, [this](qint64) {
    if (inCall_ == 0 && activity_) activity_();
  });
}

QtSerialPort::~QtSerialPort() {
  QObject::disconnect(&port_, nullptr, nullptr, nullptr);
  closeDevice();
}

std::string QtSerialPort::device() const { return target().device; }

// The device of the last open while the COM number stays selected: the host's
// list may change meanwhile, and a fault names the device that was used.
ComDevice QtSerialPort::target() const { return openedDevice_ ? *openedDevice_ : lookup_(commPort_); }

PortId QtSerialPort::id() const {
  const ComDevice used = target();
  return PortId{commPort_, used.device, used.byPath};
}

PortDescription QtSerialPort::openedPort() const { return describedPort(target().device, host_); }

// ---- faults ---------------------------------------------------------------

void QtSerialPort::fail(QSerialPort::SerialPortError error, PortStep step) {
  std::string systemText = port_.error() == error ? port_.errorString().toStdString() : std::string();
  if (error == QSerialPort::ResourceError && deviceGone()) systemText = kHungUpText;
  fail(portError(error), step, systemText);
}

void QtSerialPort::fail(PortError error, PortStep step, const std::string& systemText) {
  if (isFatalPortError(error)) {
    // The device is gone: release it so that the port reads closed and can
    // be opened again later.
    closeDevice();
    vanished_ = false;
    deferred_.reset();
  }
  throw portFault(error, step, id(), systemText, host_);
}

// Throws the fault for whatever Qt reported during the last call, if any.
void QtSerialPort::failIfQtError(PortStep step) {
  const QSerialPort::SerialPortError error = port_.error();
  if (error == QSerialPort::NoError || error == QSerialPort::TimeoutError) return;
  fail(deviceGone() ? QSerialPort::ResourceError : error, step);
}

void QtSerialPort::requireOpen(PortStep step) {
  if (vanished_) {
    // Reported once, by the first operation after the device went away.
    const Fault gone = deferred_ ? *deferred_ : portFault(PortError::DeviceGone, step, id(), {}, host_);
    closeDevice();
    vanished_ = false;
    deferred_.reset();
    throw gone;
  }
  if (!port_.isOpen()) fail(QSerialPort::NotOpenError, step);
  if (deferred_) {
    const Fault kept = *deferred_;
    deferred_.reset();
    throw kept;
  }
  if (deviceGone()) fail(QSerialPort::ResourceError, step);
}

// True when the open device has hung up (adapter unplugged, the other end of
// a pseudo-terminal closed).
bool QtSerialPort::deviceGone() const {
#ifdef Q_OS_UNIX
  if (!port_.isOpen()) return false;
  pollfd p{static_cast<int>(port_.handle()), 0, 0};
  if (::poll(&p, 1, 0) <= 0) return false;
  return (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
#else
  return false;
#endif
}

// Errors that Qt reports from the event loop (its read and write notifiers).
// They must not throw here: they are kept for the next operation.
void QtSerialPort::onQtError(QSerialPort::SerialPortError error) {
  if (inCall_ > 0 || error == QSerialPort::NoError || error == QSerialPort::TimeoutError) return;
  if (!port_.isOpen() || vanished_) return;
  const bool hungUp = deviceGone();
  const bool gone = isFatalPortError(portError(error)) || hungUp;
  const PortStep step = error == QSerialPort::WriteError ? PortStep::Send : PortStep::Read;
  const std::string systemText = hungUp ? kHungUpText : port_.errorString().toStdString();
  if (gone) {
    deferred_ = portFault(PortError::DeviceGone, step, id(), systemText, host_);
    vanished_ = true;
    // Release the device from the event loop rather than inside Qt's own
    // notifier handler; this also keeps a hung-up device from waking the
    // loop again and again.
    QMetaObject::invokeMethod(
        &port_,
        [this] {
          if (vanished_) closeDevice();
        },
        Qt::QueuedConnection);
  } else if (!deferred_) {
    deferred_ = portFault(portError(error), step, id(), systemText, host_);
  }
  port_.clearError();
  if (activity_) activity_();
}

void QtSerialPort::closeDevice() {
  CallGuard guard(inCall_);
  if (port_.isOpen()) port_.close();
  port_.clearError();
#ifdef Q_OS_UNIX
  if (lockFd_ >= 0) ::close(lockFd_);  // releases the lock
#endif
  lockFd_ = -1;
}

// ---- selection, settings, open and close ------------------------------------

void QtSerialPort::setCommPort(int number) {
  CallGuard guard(inCall_);
  if (portOpen()) fail(QSerialPort::OpenError, PortStep::Select);
  if (number < kFirstCom || number > kLastCom) {
    throw portFault(PortError::NoDevice, PortStep::Select, PortId{number, {}}, {}, host_);
  }
  if (vanished_) setPortOpen(false);
  commPort_ = number;
  openedDevice_.reset();
}

void QtSerialPort::setSettings(const std::string& settings) {
  CallGuard guard(inCall_);
  const LineSettings parsed = parseLineSettings(settings);
  if (portOpen()) {
    port_.clearError();
    if (!applySettings(parsed)) {
      const QSerialPort::SerialPortError error = port_.error();
      const std::string systemText = "\"" + settings + "\": " + port_.errorString().toStdString();
      applySettings(settings_);  // best effort: back to the settings in force
      port_.clearError();
      throw portFault(portError(error), PortStep::Configure, id(), systemText, host_);
    }
  }
  settings_ = parsed;
  settingsText_ = settings;
}

// Each setter reconfigures the open device at once (TCSANOW on Unix), so a
// change applies to the bytes that follow and the port stays open.
bool QtSerialPort::applySettings(const LineSettings& s) {
  return port_.setBaudRate(s.baudRate) &&
         port_.setDataBits(s.dataBits == 7 ? QSerialPort::Data7 : QSerialPort::Data8) &&
         port_.setParity(qtParity(s.parity)) &&
         port_.setStopBits(s.stopBits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop) &&
         port_.setFlowControl(QSerialPort::NoFlowControl);
}

void QtSerialPort::setPortOpen(bool open) {
  CallGuard guard(inCall_);
  if (!open) {
    closeDevice();
    vanished_ = false;
    deferred_.reset();
    return;
  }
  if (portOpen()) fail(QSerialPort::OpenError, PortStep::Open);
  setPortOpen(false);  // whatever a vanished device left behind
  openAndConfigure();
}

// Lock, open, then configure; a failing step leaves the port closed.
void QtSerialPort::openAndConfigure() {
  openedDevice_ = lookup_(commPort_);
  if (openedDevice_->device.empty()) throw portFault(PortError::NoDevice, PortStep::Open, id(), {}, host_);
  lockDevice(openedDevice_->device);
  port_.setPortName(QString::fromStdString(openedDevice_->device));
  // The closed QSerialPort keeps the settings of its last use (38400 after a
  // run) and applies them on open: give it this open's settings first, so the
  // line never runs at the old speed, not even between open and configure.
  applySettings(settings_);
  port_.clearError();
  // QSerialPort puts the line in raw mode on open: no echo, no CR/LF or
  // other character translation, no software flow control, so every byte
  // value 0..255 passes unchanged.
  if (!port_.open(QIODevice::ReadWrite)) {
    const QSerialPort::SerialPortError error = port_.error();
    const std::string systemText = port_.errorString().toStdString();  // before closeDevice() clears it
    closeDevice();
    throw portFault(portError(error), PortStep::Open, id(), systemText, host_);
  }
  requestLowLatency(port_.handle());
  if (!applySettings(settings_)) {
    const QSerialPort::SerialPortError error = port_.error();
    const std::string systemText = "\"" + settingsText_ + "\": " + port_.errorString().toStdString();
    closeDevice();
    throw portFault(portError(error), PortStep::Configure, id(), systemText, host_);
  }
}

// Takes the device's lock on a descriptor of its own, before Qt opens the
// device and sets its line: a refused open must not change the line settings
// under the program that holds the device. The lock is on the device, so it
// holds whatever name (a link, a /dev/serial/by-id/ alias) either side used.
// When the device cannot be opened here, Qt's own open reports why.
void QtSerialPort::lockDevice([[maybe_unused]] const std::string& device) {
#ifdef Q_OS_UNIX
  const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return;
  if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
    lockFd_ = fd;
    return;
  }
  const int error = errno;
  ::close(fd);
  // A device that cannot be locked at all (no lock support) opens unlocked.
  if (error == EWOULDBLOCK) throw portFault(PortError::InUse, PortStep::Open, id(), {}, host_);
#endif
}

bool QtSerialPort::portOpen() const { return port_.isOpen() && !vanished_; }

InputWaitable QtSerialPort::inputWaitable() {
#ifdef Q_OS_UNIX
  if (portOpen()) return {InputWaitable::Kind::FileDescriptor, static_cast<intptr_t>(port_.handle())};
#endif
  return {};
}

void QtSerialPort::setInBufferSize(int bytes) {
  requireNotNegative(bytes, "receive buffer size");
  inBufferSize_ = bytes;
}

void QtSerialPort::setOutBufferSize(int bytes) {
  requireNotNegative(bytes, "transmit buffer size");
  outBufferSize_ = bytes;
}

void QtSerialPort::setInputLen(int bytes) {
  requireNotNegative(bytes, "read length");
  inputLen_ = bytes;
}

// ---- sending ---------------------------------------------------------------

void QtSerialPort::output(const ByteString& bytes) {
  CallGuard guard(inCall_);
  requireOpen(PortStep::Send);
  if (bytes.empty()) return;
  port_.clearError();
  const qint64 queued = port_.write(bytes.data(), static_cast<qint64>(bytes.size()));
  if (queued != static_cast<qint64>(bytes.size())) {
    failIfQtError(PortStep::Send);
    fail(QSerialPort::WriteError, PortStep::Send);
  }
  pushPendingOutput();
}

// Hands as much of Qt's write buffer to the device as it takes now, without
// blocking; the event loop sends the rest as the device drains.
void QtSerialPort::pushPendingOutput() {
  if (port_.bytesToWrite() == 0) return;
#ifdef Q_OS_UNIX
  // Only when the device can take bytes: a write that would block is not an
  // error, but Qt would report it as one.
  pollfd p{static_cast<int>(port_.handle()), POLLOUT, 0};
  if (::poll(&p, 1, 0) <= 0 || (p.revents & (POLLOUT | POLLERR | POLLHUP)) == 0) return;
#endif
  port_.clearError();
  if (!port_.flush()) failIfQtError(PortStep::Send);
}

int QtSerialPort::osOutputQueue() const {
#ifdef Q_OS_LINUX
  int queued = 0;
  if (::ioctl(static_cast<int>(port_.handle()), TIOCOUTQ, &queued) == 0 && queued > 0) return queued;
#endif
  return 0;  // the platform does not tell
}

int QtSerialPort::outBufferCount() {
  CallGuard guard(inCall_);
  requireOpen(PortStep::Queue);
  pushPendingOutput();
  const qint64 total = port_.bytesToWrite() + osOutputQueue();
  return static_cast<int>(std::min<qint64>(total, INT_MAX));
}

void QtSerialPort::clearOutBuffer() {
  CallGuard guard(inCall_);
  requireOpen(PortStep::Queue);
  // With nothing queued there is nothing to discard. Flushing anyway would,
  // on a pseudo-terminal, throw away bytes already sent that the far end has
  // not read yet (they do not show in the output queue count).
  if (port_.bytesToWrite() == 0 && osOutputQueue() == 0) return;
  port_.clearError();
  // Drops Qt's write buffer and discards the operating system's output queue.
  if (!port_.clear(QSerialPort::Output)) failIfQtError(PortStep::Queue);
}

// ---- receiving -------------------------------------------------------------

ByteString QtSerialPort::input() {
  CallGuard guard(inCall_);
  requireOpen(PortStep::Read);
  pullPendingInput();
  qint64 count = port_.bytesAvailable();
  if (inputLen_ > 0) count = std::min<qint64>(count, inputLen_);
  if (count <= 0) return {};
  const QByteArray data = port_.read(count);
  return ByteString(data.constData(), static_cast<std::size_t>(data.size()));
}

int QtSerialPort::inBufferCount() {
  CallGuard guard(inCall_);
  requireOpen(PortStep::Read);
  pullPendingInput();
  return static_cast<int>(std::min<qint64>(port_.bytesAvailable(), std::numeric_limits<int>::max()));
}

// Qt reads the device only from its read notifier in the event loop. Bytes
// that the operating system holds already are fetched here too, so a read
// right after they arrived returns them. Never waits.
void QtSerialPort::pullPendingInput() {
  for (int pull = 0; pull < kMaxPullsPerRead; ++pull) {
#ifdef Q_OS_UNIX
    pollfd p{static_cast<int>(port_.handle()), POLLIN, 0};
    if (::poll(&p, 1, 0) <= 0 || (p.revents & POLLIN) == 0) break;
#endif
    port_.clearError();
    if (!port_.waitForReadyRead(0)) {  // zero time-out: only what is there
      failIfQtError(PortStep::Read);
      break;
    }
  }
  if (deviceGone()) fail(QSerialPort::ResourceError, PortStep::Read);
}

}  // namespace torvane
