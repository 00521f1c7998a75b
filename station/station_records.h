// The records the supervisor writes into the update log itself, for runs no
// worker recorded: a run whose worker died (what the supervisor knows of
// it: the entries begun, the frames known to have gone out), and each run
// the folder check refused before a port was touched. Records of runs that
// end normally are the workers' own.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "encoding/fault.h"
#include "record/update_recorder.h"
#include "station/machine.h"
#include "station/station_options.h"

namespace torvane::station {

// How the station's records name the tool, the folder and the port: a port
// named by its path is recorded by that device alone, with no COM number.
RecorderSetup stationRecorderSetup(const StationOptions& options, const PortTarget& port,
                                   const std::filesystem::path& log);

class StationRecords {
 public:
  // No log: nothing is written.
  StationRecords(const StationOptions& options, std::optional<std::filesystem::path> log)
      : options_(options), log_(std::move(log)) {}

  // The worker of `machine` ended without telling how its run ended.
  void workerDied(const Machine& machine, const std::string& why) const;
  // The folder check refused the run of `machine` before it began.
  void refused(const Machine& machine, const Fault& why) const;

 private:
  void store(const Machine& machine, RunOutcome outcome, const std::string& status, const Fault& fault) const;

  const StationOptions& options_;
  std::optional<std::filesystem::path> log_;
};

}  // namespace torvane::station
