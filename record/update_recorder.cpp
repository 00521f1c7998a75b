#include "record/update_recorder.h"

#include <iostream>
#include <memory>
#include <utility>

#include "record/host.h"
#include "record/sha256.h"
#include "record/update_log.h"

namespace torvane {

namespace {

class EntrySha256 : public EntryHash {
 public:
  void reset() override { hash_.reset(); }
  void add(const ByteString& bytes) override { hash_.update(bytes.data(), bytes.size()); }
  std::string hex() override { return hexText(hash_.finish()); }

 private:
  Sha256 hash_;
};

}  // namespace

UpdateRecorder::UpdateRecorder(RecorderSetup setup)
    : RunRecordBuilder(std::make_unique<EntrySha256>()), setup_(std::move(setup)) {}

void UpdateRecorder::runStarted(int com, std::optional<Source> source, const std::string& list, double at) {
  RunRecordBuilder::runStarted(com, source, list, at);
  start_ = localTimeNow();
}

void UpdateRecorder::runEnded(RunOutcome outcome, const std::string& status, const Fault* fault, double at) {
  RunRecordBuilder::runEnded(outcome, status, fault, at);
  storeRecord(setup_, record(), start_);
}

void storeRecord(const RecorderSetup& setup, const RunRecord& record, const std::string& start) {
  RunSetting s;
  s.end = localTimeNow();
  s.start = start.empty() ? s.end : start;
  s.toolName = setup.toolName;
  s.toolVersion = setup.toolVersion;
  s.host = hostName();
  s.user = userName(processEnvironment);
  s.folder = pathText(setup.folder);
  s.port = setup.portDetails ? setup.portDetails(record.com) : PortDetails{record.com};
  const std::string why = appendLine(setup.logPath, recordLine(record, s));
  if (why.empty()) return;
  std::cerr << setup.toolName << ": the update log " << pathText(setup.logPath) << " cannot be written (" << why
            << "); this run is not recorded" << std::endl;
}

}  // namespace torvane
