// Which host device stands behind COM1..COM9.
//
// TORVANE_COM<n> (n = 1..9), when set and not empty, names the device of
// COM n (for example TORVANE_COM1=/dev/ttyUSB0, or a pseudo-terminal for a
// simulator). The other COM numbers are:
//   - on Windows, the system's own "COMn";
//   - on Linux and other Unix systems, the serial ports the host has, in this
//     order: the on-board UARTs (ttyS*) by number, then USB adapters
//     (ttyUSB*), then ACM devices (ttyACM*), then any other; within each of
//     the last three groups by physical location (on Linux the sysfs path of
//     the device, which names the USB bus and socket), then by name. Numbers
//     inside names and locations compare as numbers (ttyS2 before ttyS10).
//     The ports fill the COM numbers that no variable claims, from COM1 up;
//     a device that a variable names is not given a second COM number, and
//     ports beyond COM9 are not reachable.
// The order stays the same while the same adapters stay in the same sockets.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "context/serial_port.h"

namespace torvane {

// One serial port as the host describes it; empty text or no id: unknown.
struct PortDescription {
  std::string device;        // "/dev/ttyUSB0"; "COM3" on Windows
  std::string description;   // "FT232R USB UART"
  std::string manufacturer;  // "FTDI"
  std::optional<uint16_t> vendorId;
  std::optional<uint16_t> productId;
  std::string serialNumber;
  std::string location;  // where it is plugged in (Linux: resolved /sys/class/tty/<name>/device)
};

// What stands behind one COM number.
struct ComAssignment {
  int com = 0;
  std::string device;                   // empty: no device
  std::optional<PortDescription> port;  // what the host tells of that device
  bool fromVariable = false;            // named by TORVANE_COM<n>
};

enum class ComNaming {
  HostPorts,   // the host's ports in the documented order (Linux, Unix)
  FixedNames,  // COM n is the system's "COMn" (Windows)
};

struct ComSources {
  // The value of TORVANE_COM<n>, "" when not set.
  std::function<std::string(int)> variable = [](int) { return std::string(); };
  // The device a name finally stands for (symbolic links resolved).
  std::function<std::string(const std::string&)> canonical = [](const std::string& d) { return d; };
  ComNaming naming = ComNaming::HostPorts;
};

// COM1..COM9 (entry n-1 is COM n) from the host's ports and the variables.
std::vector<ComAssignment> assignComs(std::vector<PortDescription> hostPorts, const ComSources& sources);

// The map as it stands now: the host's ports and the TORVANE_COM<n> variables.
std::vector<ComAssignment> comMap();

// The device path or name of COM n; empty when n is outside 1..9 or no
// device stands behind it.
std::string deviceForCom(int n);

// "COM3 (/dev/ttyS2)": how faults and logs name a port for the operator.
std::string comLabel(int n, const std::string& device);

// `text` from the host (a USB descriptor, a path, a program's name) with
// its control characters shown as '?', so it cannot steer a terminal.
std::string printableText(std::string text);

// One line of a port listing, fields the host does not tell left out:
// "COM1  /dev/ttyUSB0  FT232R USB UART (FTDI, 0403:6001, serial A1B2C3D4)",
// "COM4  (no device)".
std::string comListLine(const ComAssignment& entry);

}  // namespace torvane
