// The recorder of the front ends: gathers each update run through the core's
// RunRecordBuilder, hashes every entry's bytes with SHA-256 as they are sent,
// and when the run has ended appends its record to the update log as one
// JSON line. A log that cannot be written costs one line on standard error
// and nothing else; the run never notices.
#pragma once

#include <filesystem>
#include <functional>
#include <string>

#include "context/run_record.h"
#include "record/record_json.h"

namespace torvane {

struct RecorderSetup {
  std::filesystem::path logPath;
  std::string toolName = "torvane-update";
  std::string toolVersion;       // "1.0.0"
  std::filesystem::path folder;  // the working folder, absolute
  // What to record of the port of a run on COM `com`; unset: {com}. A front
  // end whose port was named by a device path leaves the COM number out.
  std::function<PortDetails(int com)> portDetails;
};

// Appends the record of a run that has ended to the setup's log; a log that
// cannot be written costs one line on standard error. `start`: when the run
// began (localTimeNow()), empty for now. For runs that no recorder followed
// to their end (a worker that died, a run refused before it began).
void storeRecord(const RecorderSetup& setup, const RunRecord& record, const std::string& start);

class UpdateRecorder : public RunRecordBuilder {
 public:
  explicit UpdateRecorder(RecorderSetup setup);

  const std::filesystem::path& logPath() const { return setup_.logPath; }

  void runStarted(int com, std::optional<Source> source, const std::string& list, double at) override;
  void runEnded(RunOutcome outcome, const std::string& status, const Fault* fault, double at) override;

 private:
  RecorderSetup setup_;
  std::string start_;  // when the run under way started, as recorded
};

}  // namespace torvane
