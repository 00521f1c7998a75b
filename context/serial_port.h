// The serial port component: exactly what the tool asks of the platform's
// serial line. The protocol code talks only to this interface; serial/
// holds the Qt implementation and the tests hold a scripted fake.
//
// Every fault is thrown as torvane::Fault (see encoding/fault.h):
//   - setCommPort() while the port is open            -> kPortAlreadyOpen
//   - setPortOpen(true) on an absent or busy device   -> kPortInvalid / kPortAlreadyOpen / kPortPermission
//   - output(), input(), in/outBufferCount(), clearOutBuffer() on a closed port -> kPortNotOpen
#pragma once

#include <cstdint>
#include <string>

#include "encoding/bytes.h"

namespace torvane {

// The ports the window offers: COM1 .. COM9.
inline constexpr int kFirstCom = 1;
inline constexpr int kLastCom = 9;

// What an event loop can sleep on until input arrives on the open port: a
// file descriptor that polls readable (POSIX), or an event handle that is
// signalled when a read completes (Windows). None: there is nothing to wait
// on (the port is closed, or it wakes the event loop it lives in itself).
struct InputWaitable {
  enum class Kind { None, FileDescriptor, EventHandle };
  Kind kind = Kind::None;
  intptr_t value = -1;  // the descriptor or the HANDLE; -1 with None

  bool operator==(const InputWaitable&) const = default;
};

class SerialPort {
 public:
  virtual ~SerialPort() = default;

  // COM number kFirstCom..kLastCom. Selecting is allowed only while the port is closed.
  virtual void setCommPort(int number) = 0;
  virtual int commPort() const = 0;

  // "4800,N,8,1" or "38400,N,8,1". While open, applies to the bytes that
  // follow and keeps the port open.
  virtual void setSettings(const std::string& settings) = 0;
  virtual std::string settings() const = 0;

  // Open (true) or close (false). Closing a closed port does nothing.
  virtual void setPortOpen(bool open) = 0;
  virtual bool portOpen() const = 0;

  // Buffer sizes in bytes and the read length; set while the port is closed.
  // A read length of 0 means every read returns all pending input.
  virtual void setInBufferSize(int bytes) = 0;
  virtual void setOutBufferSize(int bytes) = 0;
  virtual void setInputLen(int bytes) = 0;

  // Queues the bytes for sending and returns at once.
  virtual void output(const ByteString& bytes) = 0;

  // Everything received and not yet read, possibly nothing. Never waits.
  virtual ByteString input() = 0;

  // Bytes received and not yet read.
  virtual int inBufferCount() = 0;

  // Bytes queued and not yet on the line (the operating system's queue
  // included where the platform tells it).
  virtual int outBufferCount() = 0;

  // Discards whatever is still queued for sending (pending count <- 0).
  virtual void clearOutBuffer() = 0;

  // Arms it where the platform needs that (an overlapped read on Windows) and
  // returns it; None while closed or where the port wakes the event loop
  // itself. An event loop that sleeps on it wakes when input may be there,
  // then reads with input() as always; it never reads the descriptor itself.
  // Valid until the port is closed or the next call.
  virtual InputWaitable inputWaitable() { return {}; }
};

}  // namespace torvane
