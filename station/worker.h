// A worker of torvane-station: one process per port, one machine. It maps
// its port to its COM number (every other COM number to a device that does
// not exist, so that a worker never touches another port), optionally
// listens for the machine's announcement with the port scan, and runs
// "Start Update" with the core's own procedures on a QtSerialPort and a
// monotonic clock. What happens is told as event lines (event_writer.h);
// each run leaves its record in the update log. The supervisor ends a
// worker by closing its standard input: the run ends at its next wait, as
// when the window is closed, and its record is written.
#pragma once

#include "station/station_options.h"

namespace torvane::station {

// Runs the worker for options.ports[0] (a QCoreApplication exists) and
// returns its exit code: 0 completed, 1 not, 3 no machine announced itself.
int runWorker(const StationOptions& options);

}  // namespace torvane::station
