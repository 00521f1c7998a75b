// The command line of torvane-station:
//
//   torvane-station [--source program|all|erestore] [--folder DIR]
//                   [--port P]... | [--scan]  [--json] [--quiet]
//                   [--log FILE | --no-log]
//
// P is COMn (through the COM map, see serial/com_names.h) or a device path.
// Without --port and --scan the station scans. The hidden --worker options
// start one worker for one port; the supervisor gives them.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "context/window_ops.h"

namespace torvane::station {

inline constexpr int kAllCompleted = 0;
inline constexpr int kSomeNotCompleted = 1;
inline constexpr int kWrongArguments = 2;
inline constexpr int kNoMachineFound = 3;

// One port the station works on.
struct PortTarget {
  QString label;  // "COM3" or the device path, as the operator named it
  QString device;
  int com = 1;          // the COM number the worker maps the device to (records show it)
  bool byPath = false;  // the operator named the device itself, not a COM number

  bool operator==(const PortTarget&) const = default;
};

struct StationOptions {
  Source source = Source::Program;
  QString sourceName = QStringLiteral("program");
  QString folder;  // absolute
  std::vector<PortTarget> ports;
  bool scan = false;  // --scan, or neither --port nor --scan
  bool json = false;
  bool quiet = false;
  QStringList recordArgs;  // --log FILE or --no-log, handed on to the workers
  bool worker = false;     // this process is a worker for ports[0]
};

struct ParsedArguments {
  std::optional<StationOptions> options;  // none: nothing to run
  int exitCode = 0;                       // when there is nothing to run
  QString output;                         // --help or --version text
  QString error;                          // one line for standard error
};

// args[0] is the program. comDevice gives the device of COM n ("" for none).
ParsedArguments parseArguments(const QStringList& args, const std::function<std::string(int)>& comDevice);

// The arguments that start a worker for one port (without the program).
QStringList workerArguments(const StationOptions& options, const PortTarget& port, bool scanFirst);

// The option name of a source ("program", "all", "erestore"); none for another word.
std::optional<Source> sourceNamed(const QString& name);

}  // namespace torvane::station
