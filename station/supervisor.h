// The station's supervisor: one worker process per port (this program with
// the hidden --worker options), each machine's run with its own process,
// port, state, time-outs and event loop, so that none can delay another.
// It reads each worker's event lines from a pipe, keeps the machines' state
// for the view, and when every worker has ended gives the exit code.
// stop() (Ctrl-C, SIGTERM, the end of the supervisor) tells every worker
// why and closes its input: each run ends at its next wait with that reason
// ("stopped (Ctrl-C)") and its record written; a worker still running a few
// seconds later is killed.
#pragma once

#include <QProcess>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "encoding/fault.h"
#include "station/machine.h"
#include "station/station_records.h"
#include "station/station_view.h"

namespace torvane::station {

class Supervisor {
 public:
  // The view is made once the machines are known.
  using ViewMaker = std::function<std::unique_ptr<StationView>(const std::vector<Machine>&)>;

  // `log`: the update log the workers and the supervisor write; none for no records.
  Supervisor(StationOptions options, QString program, std::optional<std::filesystem::path> log);
  ~Supervisor();
  Supervisor(const Supervisor&) = delete;
  Supervisor& operator=(const Supervisor&) = delete;

  // Checks the folder, then starts the workers; done(exit code) is called
  // once every one has ended. A folder the check refuses starts none: every
  // machine's run is refused with the reason (and recorded), exit code 1.
  void start(const ViewMaker& makeView, std::function<void(int)> done);
  void stop(const std::string& why = "stopped: the station ended");

  const std::vector<Machine>& machines() const { return machines_; }
  int exitCode() const;

  static constexpr int kStopWaitMs = 5000;

 private:
  void readEvents(std::size_t index);
  void handle(std::size_t index, const QJsonObject& event);
  void workerEnded(std::size_t index);
  // The first error of the folder check of the chosen list; none when it passes.
  std::optional<Fault> folderRefusal() const;
  void refuseAll(const Fault& why);

  StationOptions options_;
  QString program_;
  std::optional<std::filesystem::path> log_;
  StationRecords records_;
  std::vector<Machine> machines_;
  std::vector<std::unique_ptr<QProcess>> workers_;
  std::unique_ptr<StationView> view_;
  std::function<void(int)> done_;
  std::size_t running_ = 0;
};

// The ports the scan listens on: every COM number with a device behind it.
std::vector<PortTarget> scanTargets();

}  // namespace torvane::station
