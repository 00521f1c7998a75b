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
  const std::string why = appendLine(setup_.logPath, recordLine(record(), setting(record().com)));
  if (why.empty()) return;
  std::cerr << setup_.toolName << ": the update log " << pathText(setup_.logPath) << " cannot be written (" << why
            << "); this run is not recorded" << std::endl;
}

RunSetting UpdateRecorder::setting(int com) const {
  RunSetting s;
  s.end = localTimeNow();
  s.start = start_.empty() ? s.end : start_;
  s.toolName = setup_.toolName;
  s.toolVersion = setup_.toolVersion;
  s.host = hostName();
  s.user = userName(processEnvironment);
  s.folder = pathText(setup_.folder);
  s.port = setup_.portDetails ? setup_.portDetails(com) : PortDetails{com};
  return s;
}

}  // namespace torvane
