// The one place where serial port errors become torvane::Fault.
//
// Every QSerialPort::SerialPortError, every failed open and every misuse of
// the port (wrong COM number, I/O on a closed port) is turned into a fault
// with a number from encoding/fault.h, a description the operator can act
// on, and the source "mscCom".
#pragma once

#include <QSerialPort>
#include <string>

#include "encoding/fault.h"

namespace torvane {

// What the port was doing when the error came up; it chooses the wording.
enum class PortStep {
  Select,     // choosing the COM number
  Open,       // opening and configuring the device
  Configure,  // changing the line settings of the open port
  Send,       // queueing or sending bytes
  Read,       // reading received bytes
  Queue,      // counting or clearing the transmit queue
};

struct PortId {
  int com = 1;
  std::string device;  // host device behind the COM number
};

inline constexpr const char* kPortSource = "mscCom";

// The fault for `error` raised while doing `step` on `port`. `systemText` is
// the platform's own explanation (QSerialPort::errorString()), quoted where
// it helps; it may be empty.
Fault portFault(QSerialPort::SerialPortError error, PortStep step, const PortId& port,
                const std::string& systemText = {});

// True for errors after which the device is gone and the port is unusable.
bool isFatalPortError(QSerialPort::SerialPortError error);

}  // namespace torvane
