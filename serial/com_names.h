// Which host device stands behind COM1..COM9.
//
// TORVANE_COM<n> (n = 1..9), when set and not empty, names the device of
// COM n (for example TORVANE_COM1=/dev/ttyUSB0, or a pseudo-terminal for a
// simulator). The other COM numbers are:
//   - on Windows, the system's own "COMn" where the registry
//     (HARDWARE\DEVICEMAP\SERIALCOMM) lists it; the ports it lists above
//     COM9 (USB adapters usually get such numbers) take the numbers below 10
//     that it does not list, lowest first (COM12 on COM4 when the PC has
//     COM1 to COM3), so that they can be chosen without renumbering; a
//     number that nothing takes is still tried as "COMn";
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

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "context/port_description.h"
#include "context/serial_port.h"
#include "serial/port_host.h"

namespace torvane {

// What stands behind one COM number.
struct ComAssignment {
  int com = 0;
  std::string device;                   // empty: no device
  std::optional<PortDescription> port;  // what the host tells of that device
  bool fromVariable = false;            // named by TORVANE_COM<n>
};

enum class ComNaming {
  HostPorts,   // the host's ports in the documented order (Linux, Unix)
  FixedNames,  // COM n is the system's "COMn", higher ports in the gaps (Windows)
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

// The value of TORVANE_COM<n> in this process's environment, "" when not set.
std::string environmentComVariable(int n);

// The map as it stands now: the host's ports and the TORVANE_COM<n> values
// that `variable` gives.
std::vector<ComAssignment> comMap(const PortHost& host = systemPortHost(),
                                  const std::function<std::string(int)>& variable = environmentComVariable);

// The device path or name of COM n; empty when n is outside 1..9 or no
// device stands behind it.
std::string deviceForCom(int n, const PortHost& host = systemPortHost(),
                         const std::function<std::string(int)>& variable = environmentComVariable);

// What COM n opens: a device, and whether the operator named that device
// itself (a path given instead of a COM number) rather than a COM number.
struct ComDevice {
  std::string device;  // empty: no device
  bool byPath = false;

  bool operator==(const ComDevice&) const = default;
};
using ComLookup = std::function<ComDevice(int com)>;

// TORVANE_COM<n> when set, else the host's map, asked at every call (so an
// adapter plugged in meanwhile counts). `host` must outlive the lookup.
ComLookup comMapLookup(const PortHost& host = systemPortHost());

// `device` with what the host tells of it (matched by its canonical name),
// under the name it was given; only the device when the host does not list it.
PortDescription describedPort(const std::string& device, const PortHost& host);

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
