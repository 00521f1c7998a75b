// Which host device stands behind COM1..COM9.
//
// TORVANE_COM<n> (n = 1..9), when set and not empty, names the device of
// COM n (for example TORVANE_COM1=/dev/ttyUSB0, or a pseudo-terminal for a
// simulator). Otherwise COM n is the platform's own name for it: "COMn" on
// Windows, "/dev/ttyS<n-1>" on Linux and other Unix systems.
#pragma once

#include <string>

#include "context/serial_port.h"

namespace torvane {

// The device path or name of COM n; empty when n is outside 1..9.
std::string deviceForCom(int n);

// "COM3 (/dev/ttyS2)": how faults and logs name a port for the operator.
std::string comLabel(int n, const std::string& device);

}  // namespace torvane
