// The serial port component on Qt SerialPort: one QSerialPort, raw 8-bit
// line, no flow control, every byte 0..255 passed unchanged both ways.
//
// Lives on the window's thread and needs its event loop for Qt's write
// notifier; input() and output() also talk to the device directly, so bytes
// move even when no event has been processed between two calls. Errors that
// Qt reports from the event loop are kept and thrown by the next operation;
// after the device went away the port reports closed and can be opened again.
//
// One writer per device: an open takes an exclusive lock on the device
// (POSIX flock, which the kernel keys on the device, not on the name it was
// opened by) before anything touches the line, so a second port, in this
// process or another, fails with "in use" and leaves the holder's line
// settings alone, under whichever name it asks for the device.
#pragma once

#include <QSerialPort>
#include <functional>
#include <optional>
#include <string>

#include "context/port_description.h"
#include "context/serial_port.h"
#include "encoding/fault.h"
#include "serial/com_names.h"
#include "serial/line_settings.h"
#include "serial/port_faults.h"

namespace torvane {

class QtSerialPort : public SerialPort {
 public:
  // `lookup` says where a COM number leads; `host` names the causes of
  // faults and describes the opened port. Both must outlive the port.
  explicit QtSerialPort(ComLookup lookup = comMapLookup(), const PortHost& host = systemPortHost());
  ~QtSerialPort() override;
  QtSerialPort(const QtSerialPort&) = delete;
  QtSerialPort& operator=(const QtSerialPort&) = delete;

  // SerialPort
  void setCommPort(int number) override;
  int commPort() const override { return commPort_; }
  void setSettings(const std::string& settings) override;
  std::string settings() const override { return settingsText_; }
  void setPortOpen(bool open) override;
  bool portOpen() const override;
  void setInBufferSize(int bytes) override;
  void setOutBufferSize(int bytes) override;
  void setInputLen(int bytes) override;
  void output(const ByteString& bytes) override;
  ByteString input() override;
  int inBufferCount() override;
  int outBufferCount() override;
  void clearOutBuffer() override;
  // POSIX: the open device's descriptor. Windows: None (Qt wakes its own
  // event loop).
  InputWaitable inputWaitable() override;

  // Stored sizes (the operating system and Qt size their own buffers).
  int inBufferSize() const { return inBufferSize_; }
  int outBufferSize() const { return outBufferSize_; }
  int inputLen() const { return inputLen_; }

  // Host device behind the current COM number, as the lookup gives it.
  std::string device() const;

  // The device this port opened last (or would open now) with what the host
  // tells of it; only the device when the host does not list it.
  PortDescription openedPort() const;

  // Called from the event loop whenever bytes arrive, bytes leave or the
  // device reports an error; a window can end a local wait with it.
  void setActivityHandler(std::function<void()> handler) { activity_ = std::move(handler); }

 private:
  PortId id() const;
  ComDevice target() const;
  [[noreturn]] void fail(QSerialPort::SerialPortError error, PortStep step);
  [[noreturn]] void fail(PortError error, PortStep step, const std::string& systemText = {});
  void failIfQtError(PortStep step);
  void requireOpen(PortStep step);
  bool deviceGone() const;
  void openAndConfigure();
  void lockDevice(const std::string& device);
  bool applySettings(const LineSettings& s);
  void pullPendingInput();
  void pushPendingOutput();
  int osOutputQueue() const;
  void onQtError(QSerialPort::SerialPortError error);
  void closeDevice();

  ComLookup lookup_;
  const PortHost& host_;
  QSerialPort port_;
  // The descriptor that holds the device's lock while the port is open (-1: none).
  int lockFd_ = -1;
  int commPort_ = 1;
  std::string settingsText_ = "4800,N,8,1";
  LineSettings settings_;
  int inBufferSize_ = 1024;
  int outBufferSize_ = 512;
  int inputLen_ = 0;
  // The device that the last open of this COM number used (see id()).
  std::optional<ComDevice> openedDevice_;
  // An error that Qt reported from the event loop, thrown by the next operation.
  std::optional<Fault> deferred_;
  // The device went away while open: the port counts as closed from now on.
  bool vanished_ = false;
  // Inside one of our own calls: Qt's errors are handled there, not deferred.
  int inCall_ = 0;
  std::function<void()> activity_;
};

}  // namespace torvane
