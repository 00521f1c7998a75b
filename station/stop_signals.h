// Ctrl-C, SIGTERM and SIGHUP as an event of the Qt event loop: the handler
// only writes the signal's number to a pipe, and `stop` runs from the loop
// with why the station stops ("stopped (Ctrl-C)").
#pragma once

#include <functional>
#include <string>

namespace torvane::station {

// Installs the handlers once; later calls replace `stop`.
void onStopSignal(std::function<void(const std::string& why)> stop);

}  // namespace torvane::station
