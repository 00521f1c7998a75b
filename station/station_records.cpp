#include "station/station_records.h"

#include "context/sources.h"

namespace torvane::station {

RecorderSetup stationRecorderSetup(const StationOptions& options, const PortTarget& port,
                                   const std::filesystem::path& log) {
  RecorderSetup setup;
  setup.logPath = log;
  setup.toolName = "torvane-station";
  setup.toolVersion = TORVANE_VERSION;
  setup.folder = options.folder;
  setup.portDetails = [port](int com) {
    return PortDetails{port.byPath ? std::nullopt : std::optional<int>(com), port.device.toStdString()};
  };
  return setup;
}

void StationRecords::workerDied(const Machine& machine, const std::string& why) const {
  store(machine, RunOutcome::Failed, why, Fault(fault::kInternal, why, "torvane-station"));
}

void StationRecords::refused(const Machine& machine, const Fault& why) const {
  store(machine, RunOutcome::Refused, " Error: " + why.description(), why);
}

void StationRecords::store(const Machine& machine, RunOutcome outcome, const std::string& status,
                           const Fault& fault) const {
  if (!log_) return;
  RunRecord record;
  record.com = machine.port.com;
  record.source = sourceInfo(options_.source).name;
  record.list = sourceInfo(options_.source).listFile;
  record.entries = machine.entries;
  // The frames known to have gone out: each entry's address frame and the
  // data frames its worker told as accepted.
  record.frames = static_cast<int>(machine.entries.size()) + machine.progressFrames;
  record.outcome = outcome;
  record.status = status;
  record.fault = RunFault{fault.number(), fault.description(), fault.source()};
  record.seconds = machine.progressSeconds;
  storeRecord(stationRecorderSetup(options_, machine.port, *log_), record, {});
}

}  // namespace torvane::station
