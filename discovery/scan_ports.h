// Finds the COM port on which the machine announces itself with "AA".
#pragma once

#include "app/form_context.h"

namespace torvane {

// Tries COM1..COM9; selects the port option and the component's port number
// of the first port that announces the machine. Never throws.
void ScanPorts(FormContext& ctx);

}  // namespace torvane
