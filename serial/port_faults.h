// The one place where serial port errors become torvane::Fault.
//
// Every QSerialPort::SerialPortError, every failed open and every misuse of
// the port (wrong COM number, I/O on a closed port) is turned into a fault
// with a number from encoding/fault.h, a description the operator can act
// on, and the source "mscCom".
#pragma once

#include <QSerialPort>
#include <functional>
#include <string>
#include <vector>

#include "encoding/fault.h"
#include "serial/host_lookups.h"

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

// What a fault asks of the host to name the cause: the ports that are
// there, the device's group and the user's, the programs that hold the
// device. system() asks the real host (see host_lookups.h); a test gives
// its own answers. A look-up left as it is answers "nothing known".
struct PortHost {
  std::function<std::vector<ComAssignment>()> presentPorts = [] { return std::vector<ComAssignment>(); };
  std::function<bool(const std::string&)> mayReadWrite = [](const std::string&) { return false; };
  std::function<std::optional<DeviceAccess>(const std::string&)> deviceAccess = [](const std::string&) {
    return std::optional<DeviceAccess>();
  };
  std::function<std::vector<uint32_t>()> databaseGroups = [] { return std::vector<uint32_t>(); };
  std::function<std::vector<uint32_t>()> processGroups = [] { return std::vector<uint32_t>(); };
  std::function<std::vector<PortHolder>(const std::string&)> holders = [](const std::string&) {
    return std::vector<PortHolder>();
  };

  static const PortHost& system();
};

// The fault for `error` raised while doing `step` on `port`. `systemText` is
// the platform's own explanation (QSerialPort::errorString()), quoted where
// it helps; it may be empty.
Fault portFault(QSerialPort::SerialPortError error, PortStep step, const PortId& port,
                const std::string& systemText = {}, const PortHost& host = PortHost::system());

// True for errors after which the device is gone and the port is unusable.
bool isFatalPortError(QSerialPort::SerialPortError error);

}  // namespace torvane
