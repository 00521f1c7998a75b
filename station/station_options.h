// The command line of torvane-station:
//
//   torvane-station [--source program|all|erestore] [--folder DIR]
//                   [--port P]... | [--scan]  [--json] [--quiet]
//                   [--log FILE | --no-log]
//   torvane-station --check [--source ...] [--folder DIR] [--json]
//
// P is COMn (through the COM map, see serial/com_names.h) or a device path;
// two P that lead to one device are refused. Without --port and --scan the
// station scans. The hidden --worker options start one worker for one port;
// the supervisor gives them, with the update log it chose.
#pragma once

#include <QString>
#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <variant>
#include <vector>

#include "context/window_ops.h"
#include "record/log_options.h"

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
  std::filesystem::path folder;  // absolute
  std::vector<PortTarget> ports;
  bool scan = false;   // --scan, or neither --port nor --scan
  bool check = false;  // --check: the folder check only
  bool json = false;
  bool quiet = false;
  LogOptions log;                                  // --log FILE, --no-log
  bool worker = false;                             // this process is a worker for ports[0]
  std::optional<std::filesystem::path> workerLog;  // a worker's log, as the supervisor chose it
};

// How a COM number and a device path lead to a device.
struct PortNames {
  std::function<std::string(int)> comDevice;                 // the device of COM n, "" for none
  std::function<std::string(const std::string&)> canonical;  // the device a path finally stands for
};

// The options, or the exit code to end with now (after --help, --version
// or a wrong argument). `currentFolder`: where the station was started.
std::variant<StationOptions, int> parseStationOptions(const std::vector<std::string>& arguments, const PortNames& names,
                                                      const std::filesystem::path& currentFolder, std::ostream& out,
                                                      std::ostream& err);

// The arguments that start a worker for one port (without the program);
// `log` is the log the supervisor chose, none for no records.
std::vector<std::string> workerArguments(const StationOptions& options, const PortTarget& port, bool scanFirst,
                                         const std::optional<std::filesystem::path>& log);

}  // namespace torvane::station
