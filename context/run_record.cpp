#include "context/run_record.h"

#include <utility>

#include "context/sources.h"

namespace torvane {

const char* verdictName(Verdict verdict) {
  static constexpr std::array<const char*, kVerdictKinds> kNames = {"ACK", "NAK", "CAN", "ETX", "STX", "timeout"};
  return kNames[static_cast<std::size_t>(verdict)];
}

const char* outcomeName(RunOutcome outcome) {
  switch (outcome) {
    case RunOutcome::Complete: return "complete";
    case RunOutcome::EarlyEnd: return "early_end";
    case RunOutcome::Failed: return "failed";
    case RunOutcome::Closed: return "closed";
    case RunOutcome::Refused: return "refused";
  }
  return "";
}

RunRecordBuilder::RunRecordBuilder(std::unique_ptr<EntryHash> hash) : hash_(std::move(hash)) {}

void RunRecordBuilder::runStarted(int com, std::optional<Source> source, const std::string& list, double at) {
  record_ = RunRecord{};
  record_.com = com;
  record_.source = source ? sourceInfo(*source).name : "";
  record_.list = list;
  startedAt_ = at;
  entryOpen_ = false;
}

void RunRecordBuilder::entryStarted(const std::string& name, std::optional<int32_t> size, uint8_t memoryType,
                                    int32_t address) {
  closeEntry();
  EntryRecord entry;
  entry.name = name;
  entry.size = size;
  entry.memoryType = memoryType;
  entry.address = address;
  record_.entries.push_back(std::move(entry));
  if (hash_) hash_->reset();
  entryOpen_ = true;
}

void RunRecordBuilder::frameSent() {
  ++record_.frames;
  if (entryOpen_) ++record_.entries.back().frames;
}

void RunRecordBuilder::dataFrameSent(const ByteString& fileBytes) {
  if (entryOpen_ && hash_) hash_->add(fileBytes);
}

void RunRecordBuilder::frameResent() {
  ++record_.resends;
  if (entryOpen_) ++record_.entries.back().resends;
}

void RunRecordBuilder::verdict(Verdict verdict) { ++record_.verdicts[static_cast<std::size_t>(verdict)]; }

void RunRecordBuilder::entrySent() {
  if (!entryOpen_) return;
  record_.entries.back().sent = true;
  closeEntry();
}

void RunRecordBuilder::runEnded(RunOutcome outcome, const std::string& status, const Fault* fault, double at) {
  closeEntry();
  record_.outcome = outcome;
  record_.status = status;
  if (fault != nullptr) record_.fault = RunFault{fault->number(), fault->description(), fault->source()};
  record_.seconds = at - startedAt_;
}

// The bytes of an entry end with it: its digest is taken now.
void RunRecordBuilder::closeEntry() {
  if (!entryOpen_) return;
  EntryRecord& entry = record_.entries.back();
  if (entry.size && hash_) entry.sha256 = hash_->hex();
  entryOpen_ = false;
}

}  // namespace torvane
