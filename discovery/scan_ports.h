// Finds the COM port on which the machine announces itself with "AA".
#pragma once

#include "context/form_context.h"

namespace torvane {

enum class ScanEnd {
  Found,         // the machine's port is selected
  NotFound,      // no port announced the machine: "Can not locate TorVane®."
  WindowClosed,  // the window is closing: the scan stopped at its next yield
};

// Tries COM1..COM9; selects the port option and the component's port number
// of the first port that announces the machine. Never throws.
ScanEnd ScanPorts(FormContext& ctx);

}  // namespace torvane
