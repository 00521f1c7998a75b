#include "serial/win32_serial_port.h"

#include <windows.h>

#include <algorithm>
#include <climits>

namespace torvane {

struct Win32SerialPort::Io {
  OVERLAPPED read{};
  bool readPending = false;
  unsigned char readByte = 0;
  OVERLAPPED write{};
  bool writePending = false;
  ByteString writing;  // the bytes of the write in flight
  OVERLAPPED queue{};  // reads of what the receive queue holds already
  DWORD armError = 0;  // why the last read could not be started; thrown by the next operation

  Io() {
    read.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    write.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    queue.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  }
  ~Io() {
    for (HANDLE event : {read.hEvent, write.hEvent, queue.hEvent}) {
      if (event != nullptr) ::CloseHandle(event);
    }
  }
  Io(const Io&) = delete;
  Io& operator=(const Io&) = delete;
};

namespace {

HANDLE handleOf(void* handle) { return static_cast<HANDLE>(handle); }

// "COM12" opens as \\.\COM12 (the only form for numbers above 9); a name
// given with that prefix is taken as it is.
std::wstring devicePath(const std::string& device) {
  const std::string path = device.rfind("\\\\.\\", 0) == 0 ? device : "\\\\.\\" + device;
  const int length = ::MultiByteToWideChar(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(std::max(length, 0)), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), wide.data(), length);
  return wide;
}

// The system's own words for an error code, on one line.
std::string systemText(DWORD code) {
  if (code == 0) return {};
  char* text = nullptr;
  const DWORD length =
      ::FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message = length > 0 && text != nullptr ? std::string(text, length) : std::string();
  if (text != nullptr) ::LocalFree(text);
  while (!message.empty() &&
         (message.back() == '\n' || message.back() == '\r' || message.back() == '.' || message.back() == ' ')) {
    message.pop_back();
  }
  if (message.empty()) message = "error " + std::to_string(code);
  return message;
}

PortError openError(DWORD code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH: return PortError::NoDevice;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY: return PortError::InUse;  // Windows refuses a port that another handle holds
    default: return PortError::Other;
  }
}

void requireNotNegative(int bytes, const char* what) {
  if (bytes < 0) {
    throw Fault(fault::kInvalidArgument,
                std::string("The ") + what + " must be 0 or more bytes, not " + std::to_string(bytes) + ".",
                kPortSource);
  }
}

BYTE parityOf(char parity) {
  switch (parity) {
    case 'E': return EVENPARITY;
    case 'O': return ODDPARITY;
    default: return NOPARITY;
  }
}

}  // namespace

bool isDeviceGoneError(unsigned long code) {
  switch (code) {
    case ERROR_BAD_COMMAND:
    case ERROR_ACCESS_DENIED:
    case ERROR_NOT_READY:
    case ERROR_BROKEN_PIPE:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEVICE_REMOVED:
    case ERROR_INVALID_HANDLE:
    case ERROR_GEN_FAILURE:
    case ERROR_FILE_NOT_FOUND: return true;
    default: return false;
  }
}

Win32SerialPort::Win32SerialPort(ComLookup lookup, const PortHost& host) : lookup_(std::move(lookup)), host_(host) {}

Win32SerialPort::~Win32SerialPort() { closeDevice(); }

ComDevice Win32SerialPort::target() const { return openedDevice_ ? *openedDevice_ : lookup_(commPort_); }

PortId Win32SerialPort::id() const {
  const ComDevice used = target();
  return PortId{commPort_, used.device, used.byPath};
}

PortDescription Win32SerialPort::openedPort() const { return describedPort(target().device, host_); }

void Win32SerialPort::fail(PortError error, PortStep step, unsigned long code) {
  if (isFatalPortError(error)) closeDevice();
  throw portFault(error, step, id(), systemText(code), host_);
}

void Win32SerialPort::failIo(PortStep step, unsigned long code) {
  if (isDeviceGoneError(code)) fail(PortError::DeviceGone, step, code);
  fail(step == PortStep::Send   ? PortError::WriteFailed
       : step == PortStep::Read ? PortError::ReadFailed
                                : PortError::Other,
       step, code);
}

void Win32SerialPort::requireOpen(PortStep step) {
  if (!portOpen()) fail(PortError::NotOpen, step);
  if (io_->armError != 0) {
    const DWORD code = io_->armError;
    io_->armError = 0;
    failIo(step, code);
  }
}

void Win32SerialPort::closeDevice() {
  if (handle_ != nullptr) {
    HANDLE h = handleOf(handle_);
    ::CancelIo(h);
    DWORD ignored = 0;
    if (io_->readPending) ::GetOverlappedResult(h, &io_->read, &ignored, TRUE);
    if (io_->writePending) ::GetOverlappedResult(h, &io_->write, &ignored, TRUE);
    ::CloseHandle(h);
    handle_ = nullptr;
  }
  delete io_;
  io_ = nullptr;
  received_.clear();
  outgoing_.clear();
}

// ---- selection, settings, open and close ------------------------------------

void Win32SerialPort::setCommPort(int number) {
  if (portOpen()) fail(PortError::AlreadyOpen, PortStep::Select);
  if (number < kFirstCom || number > kLastCom) {
    throw portFault(PortError::NoDevice, PortStep::Select, PortId{number, {}}, {}, host_);
  }
  commPort_ = number;
  openedDevice_.reset();
}

void Win32SerialPort::setSettings(const std::string& settings) {
  const LineSettings parsed = parseLineSettings(settings);
  if (portOpen() && !applySettings(parsed)) {
    const DWORD code = ::GetLastError();
    applySettings(settings_);  // best effort: back to the settings in force
    throw portFault(PortError::Unsupported, PortStep::Configure, id(), "\"" + settings + "\": " + systemText(code),
                    host_);
  }
  settings_ = parsed;
  settingsText_ = settings;
}

// The settings through the open handle's DCB: a raw line with no flow
// control and no error abort, so every byte passes and an error never halts
// the I/O that follows.
bool Win32SerialPort::applySettings(const LineSettings& s) {
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!::GetCommState(handleOf(handle_), &dcb)) return false;
  dcb.BaudRate = static_cast<DWORD>(s.baudRate);
  dcb.ByteSize = static_cast<BYTE>(s.dataBits);
  dcb.Parity = parityOf(s.parity);
  dcb.StopBits = s.stopBits == 2 ? TWOSTOPBITS : ONESTOPBIT;
  dcb.fBinary = TRUE;
  dcb.fParity = s.parity != 'N';
  dcb.fOutxCtsFlow = FALSE;
  dcb.fOutxDsrFlow = FALSE;
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  dcb.fDsrSensitivity = FALSE;
  dcb.fOutX = FALSE;
  dcb.fInX = FALSE;
  dcb.fErrorChar = FALSE;
  dcb.fNull = FALSE;
  dcb.fRtsControl = RTS_CONTROL_ENABLE;
  dcb.fAbortOnError = FALSE;
  return ::SetCommState(handleOf(handle_), &dcb) != 0;
}

void Win32SerialPort::setPortOpen(bool open) {
  if (!open) {
    closeDevice();
    return;
  }
  if (portOpen()) fail(PortError::AlreadyOpen, PortStep::Open);
  openedDevice_ = lookup_(commPort_);
  if (openedDevice_->device.empty()) fail(PortError::NoDevice, PortStep::Open);
  const HANDLE h = ::CreateFileW(devicePath(openedDevice_->device).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD code = ::GetLastError();
    throw portFault(openError(code), PortStep::Open, id(), systemText(code), host_);
  }
  handle_ = h;
  io_ = new Io;
  ::SetupComm(h, static_cast<DWORD>(inBufferSize_), static_cast<DWORD>(outBufferSize_));  // a hint to the driver
  COMMTIMEOUTS timeouts{};  // {0,0,0}: a read completes when its bytes are there, a write when all is sent
  if (!applySettings(settings_) || !::SetCommTimeouts(h, &timeouts)) {
    const DWORD code = ::GetLastError();
    const std::string why = "\"" + settingsText_ + "\": " + systemText(code);
    closeDevice();
    throw portFault(PortError::Unsupported, PortStep::Open, id(), why, host_);
  }
}

void Win32SerialPort::setInBufferSize(int bytes) {
  requireNotNegative(bytes, "receive buffer size");
  inBufferSize_ = bytes;
}

void Win32SerialPort::setOutBufferSize(int bytes) {
  requireNotNegative(bytes, "transmit buffer size");
  outBufferSize_ = bytes;
}

void Win32SerialPort::setInputLen(int bytes) {
  requireNotNegative(bytes, "read length");
  inputLen_ = bytes;
}

// ---- receiving -------------------------------------------------------------

InputWaitable Win32SerialPort::inputWaitable() {
  if (!portOpen()) return {};
  if (!io_->readPending && io_->armError == 0) {
    ::ResetEvent(io_->read.hEvent);
    io_->read.Offset = io_->read.OffsetHigh = 0;
    if (::ReadFile(handleOf(handle_), &io_->readByte, 1, nullptr, &io_->read) || ::GetLastError() == ERROR_IO_PENDING) {
      io_->readPending = true;  // done at once or later: the event tells, collectRead() takes the byte
    } else {
      io_->armError = ::GetLastError();  // reported by the next operation
      return {};
    }
  }
  return {InputWaitable::Kind::EventHandle, reinterpret_cast<intptr_t>(io_->read.hEvent)};
}

// Takes the byte of the armed read when it has come. A read still pending
// is cancelled when `cancel` (it is armed again by the next wait); a read
// that Wine ends with ERROR_TIMEOUT or that was cancelled brought nothing.
void Win32SerialPort::collectRead(bool cancel) {
  if (!io_->readPending) return;
  HANDLE h = handleOf(handle_);
  DWORD got = 0;
  BOOL done = ::GetOverlappedResult(h, &io_->read, &got, FALSE);
  if (!done && ::GetLastError() == ERROR_IO_INCOMPLETE) {
    if (!cancel) return;
    ::CancelIo(h);
    done = ::GetOverlappedResult(h, &io_->read, &got, TRUE);
  }
  const DWORD code = done ? 0 : ::GetLastError();
  io_->readPending = false;
  if (done && got == 1) received_.push_back(static_cast<char>(io_->readByte));
  if (!done && code != ERROR_OPERATION_ABORTED && code != ERROR_TIMEOUT) failIo(PortStep::Read, code);
}

// Reads what the driver's receive queue holds; never waits for more.
void Win32SerialPort::pullQueue() {
  collectRead(true);
  HANDLE h = handleOf(handle_);
  DWORD errors = 0;
  COMSTAT status{};
  if (!::ClearCommError(h, &errors, &status)) failIo(PortStep::Read, ::GetLastError());
  if (status.cbInQue == 0) return;
  ByteString chunk(status.cbInQue, '\0');
  ::ResetEvent(io_->queue.hEvent);
  DWORD got = 0;
  if (!::ReadFile(h, chunk.data(), status.cbInQue, &got, &io_->queue)) {
    if (::GetLastError() != ERROR_IO_PENDING) failIo(PortStep::Read, ::GetLastError());
    // The bytes are there: the read completes without waiting for the line.
    if (!::GetOverlappedResult(h, &io_->queue, &got, TRUE)) {
      const DWORD code = ::GetLastError();
      if (code != ERROR_TIMEOUT) failIo(PortStep::Read, code);
    }
  }
  received_.append(chunk, 0, got);
}

ByteString Win32SerialPort::input() {
  requireOpen(PortStep::Read);
  pullQueue();
  std::size_t count = received_.size();
  if (inputLen_ > 0) count = std::min<std::size_t>(count, static_cast<std::size_t>(inputLen_));
  ByteString taken = received_.substr(0, count);
  received_.erase(0, count);
  return taken;
}

int Win32SerialPort::inBufferCount() {
  requireOpen(PortStep::Read);
  pullQueue();
  return static_cast<int>(std::min<std::size_t>(received_.size(), INT_MAX));
}

// ---- sending ---------------------------------------------------------------

void Win32SerialPort::output(const ByteString& bytes) {
  requireOpen(PortStep::Send);
  outgoing_ += bytes;
  pushOutput();
}

// Ends the write in flight when it is done and starts the next one with
// everything queued since; never waits.
void Win32SerialPort::pushOutput() {
  HANDLE h = handleOf(handle_);
  if (io_->writePending) {
    DWORD sent = 0;
    const BOOL done = ::GetOverlappedResult(h, &io_->write, &sent, FALSE);
    const DWORD code = done ? 0 : ::GetLastError();
    if (!done && code == ERROR_IO_INCOMPLETE) return;
    io_->writePending = false;
    if (!done && code != ERROR_OPERATION_ABORTED) failIo(PortStep::Send, code);
    if (done && sent < io_->writing.size()) outgoing_.insert(0, io_->writing, sent);  // cut short: the rest again
  }
  if (outgoing_.empty()) return;
  io_->writing.swap(outgoing_);
  outgoing_.clear();
  ::ResetEvent(io_->write.hEvent);
  io_->write.Offset = io_->write.OffsetHigh = 0;
  if (::WriteFile(h, io_->writing.data(), static_cast<DWORD>(io_->writing.size()), nullptr, &io_->write) ||
      ::GetLastError() == ERROR_IO_PENDING) {
    io_->writePending = true;
    return;
  }
  failIo(PortStep::Send, ::GetLastError());
}

int Win32SerialPort::outBufferCount() {
  requireOpen(PortStep::Queue);
  pushOutput();
  DWORD errors = 0;
  COMSTAT status{};
  if (!::ClearCommError(handleOf(handle_), &errors, &status)) failIo(PortStep::Queue, ::GetLastError());
  std::size_t queued = status.cbOutQue;
  if (io_->writePending) queued = std::max<std::size_t>(queued, io_->writing.size());
  return static_cast<int>(std::min<std::size_t>(queued + outgoing_.size(), INT_MAX));
}

void Win32SerialPort::clearOutBuffer() {
  requireOpen(PortStep::Queue);
  pushOutput();
  DWORD errors = 0;
  COMSTAT status{};
  ::ClearCommError(handleOf(handle_), &errors, &status);
  outgoing_.clear();
  // With nothing queued there is nothing to discard.
  if (!io_->writePending && status.cbOutQue == 0) return;
  if (!::PurgeComm(handleOf(handle_), PURGE_TXABORT | PURGE_TXCLEAR)) failIo(PortStep::Queue, ::GetLastError());
  if (io_->writePending) {
    DWORD sent = 0;
    ::GetOverlappedResult(handleOf(handle_), &io_->write, &sent, TRUE);  // aborted: ends at once
    io_->writePending = false;
  }
}

}  // namespace torvane
