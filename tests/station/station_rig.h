// torvane-station as a child process against simulated machines: a
// temporary folder with program.txt and code.bin, COM1..COM9 mapped to
// absent paths inside it (a test maps one to a simulator), the update log in
// that folder; the environment is restored at the end.
#pragma once

#include <QJsonObject>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/e2e/sim_process.h"

namespace torvane::station {

struct StationRun {
  int exitCode = -1;
  std::string out;
  std::string err;
  double seconds = 0;
};

class StationRig {
 public:
  StationRig();
  ~StationRig();

  const std::string& image() const { return image_; }
  std::string dir() const { return dir_.path().toStdString(); }
  // Starts one simulator per argument list; false (see error) when one did not start.
  bool startSims(const std::vector<std::vector<std::string>>& argsEach);
  e2e::SimProcess& sim(std::size_t i) { return *sims_[i]; }
  void mapCom(int com, const std::string& device);
  // Runs the station with args and --folder of the rig; waits for its end.
  // With interruptAfterMs, Ctrl-C (SIGINT) reaches it after that long.
  StationRun run(const QStringList& args, int interruptAfterMs = -1);
  std::vector<QJsonObject> records() const;
  const std::string& error() const { return error_; }

 private:
  QTemporaryDir dir_;
  std::string image_;
  std::string error_;
  std::vector<std::unique_ptr<e2e::SimProcess>> sims_;
  std::vector<std::pair<QByteArray, std::optional<QByteArray>>> saved_;
};

}  // namespace torvane::station
