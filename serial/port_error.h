// What went wrong with a serial port, in this program's own terms. Each
// platform's port translates its errors into these kinds in one place; the
// fault texts (port_faults.h) are keyed on them.
#pragma once

namespace torvane {

enum class PortError {
  NoDevice,      // the device does not exist (or no device stands behind the COM number)
  AccessDenied,  // the host refused to open the device
  InUse,         // another port, here or in another program, holds the device
  AlreadyOpen,   // this port is open already
  NotOpen,       // the operation needs an open port
  DeviceGone,    // the device went away while open (unplugged, hung up)
  Unsupported,   // not a serial port, or it cannot do what was asked
  ReadFailed,
  WriteFailed,
  Other,  // any other failure, or one the platform does not explain
};

// What the port was doing when the error came up; it chooses the wording.
enum class PortStep {
  Select,     // choosing the COM number
  Open,       // opening and configuring the device
  Configure,  // changing the line settings of the open port
  Send,       // queueing or sending bytes
  Read,       // reading received bytes
  Queue,      // counting or clearing the transmit queue
};

// True for errors after which the device is gone and the port is unusable.
constexpr bool isFatalPortError(PortError error) { return error == PortError::DeviceGone; }

}  // namespace torvane
