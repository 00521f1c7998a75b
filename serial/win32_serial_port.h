// The serial port component on the Win32 API: one handle on \\.\COMn opened
// for overlapped I/O, raw 8-bit line, no flow control, every byte 0..255
// passed unchanged both ways.
//
// Receiving: inputWaitable() arms an overlapped read of one byte (time-outs
// {0,0,0}: it completes when a byte arrives) and hands out its event, on
// which the window's one wait sleeps. input() and inBufferCount() collect
// that byte, cancelling the read with CancelIo when it is still pending
// (the wait has reached its deadline), and then take whatever the driver's
// receive queue holds. Sending: output() queues the bytes and starts an
// overlapped write; outBufferCount() reports what this port still holds plus
// the driver's transmit queue (ClearCommError). The clears use PurgeComm.
//
// A read or write that fails because the device went away (an adapter
// pulled out) closes the port and throws the port's fault; the port can be
// opened again later.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "context/port_description.h"
#include "context/serial_port.h"
#include "serial/com_names.h"
#include "serial/line_settings.h"
#include "serial/port_faults.h"

namespace torvane {

// Receive and transmit queue sizes asked of the driver when the window does
// not set them.
inline constexpr int kDefaultInBufferSize = 1024;
inline constexpr int kDefaultOutBufferSize = 512;

// The Win32 error codes after which the device is gone (unplugged adapter,
// closed pipe): the port then reads closed.
bool isDeviceGoneError(unsigned long win32Error);

class Win32SerialPort : public SerialPort {
 public:
  explicit Win32SerialPort(ComLookup lookup = comMapLookup(), const PortHost& host = systemPortHost());
  ~Win32SerialPort() override;
  Win32SerialPort(const Win32SerialPort&) = delete;
  Win32SerialPort& operator=(const Win32SerialPort&) = delete;

  void setCommPort(int number) override;
  int commPort() const override { return commPort_; }
  void setSettings(const std::string& settings) override;
  std::string settings() const override { return settingsText_; }
  void setPortOpen(bool open) override;
  bool portOpen() const override { return handle_ != nullptr; }
  void setInBufferSize(int bytes) override;
  void setOutBufferSize(int bytes) override;
  void setInputLen(int bytes) override;
  void output(const ByteString& bytes) override;
  ByteString input() override;
  int inBufferCount() override;
  int outBufferCount() override;
  void clearOutBuffer() override;
  InputWaitable inputWaitable() override;

  // The device the current COM number opens (or opened last).
  std::string device() const { return target().device; }
  // The device this port opened last (or would open now) with what the host tells of it.
  PortDescription openedPort() const;

 private:
  struct Io;  // the OVERLAPPED state, kept out of this header

  ComDevice target() const;
  PortId id() const;
  [[noreturn]] void fail(PortError error, PortStep step, unsigned long win32Error = 0);
  [[noreturn]] void failIo(PortStep step, unsigned long win32Error);
  void requireOpen(PortStep step);
  bool applySettings(const LineSettings& s);
  void collectRead(bool cancel);
  void pullQueue();
  void pushOutput();
  void closeDevice();

  ComLookup lookup_;
  const PortHost& host_;
  void* handle_ = nullptr;  // the open device's HANDLE; nullptr while closed
  Io* io_ = nullptr;
  int commPort_ = 1;
  std::string settingsText_ = "4800,N,8,1";
  LineSettings settings_;
  int inBufferSize_ = kDefaultInBufferSize;
  int outBufferSize_ = kDefaultOutBufferSize;
  int inputLen_ = 0;
  std::optional<ComDevice> openedDevice_;
  ByteString received_;  // collected from the device and not yet read
  ByteString outgoing_;  // queued and not yet handed to the driver
};

}  // namespace torvane
