// Ctrl-C, SIGTERM and SIGHUP as an event of the Qt event loop: the handler
// only writes one byte to a pipe, and `stop` runs from the loop.
#pragma once

#include <functional>

namespace torvane::station {

// Installs the handlers once; later calls replace `stop`.
void onStopSignal(std::function<void()> stop);

}  // namespace torvane::station
