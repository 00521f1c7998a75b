// The record of one update run, and the observer that gathers it from the
// procedures' calls. The hash of each entry's bytes is the front end's (the
// core holds no hash code); so are the times of day, the host and the place
// where records are kept.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "context/run_observer.h"

namespace torvane {

inline constexpr std::size_t kVerdictKinds = 6;  // Verdict::Ack .. Verdict::TimedOut

struct RunFault {
  int32_t number = 0;
  std::string description;
  std::string source;

  bool operator==(const RunFault&) const = default;
};

// One list entry the run reached, in list order.
struct EntryRecord {
  std::string name;
  std::optional<int32_t> size;  // none: the image file does not exist
  uint8_t memoryType = 0;
  int32_t address = 0;
  std::string sha256;  // hex digest of the file bytes sent; empty without a size
  int frames = 0;      // address and data frames, resends not counted
  int resends = 0;
  bool sent = false;  // its last data frame was accepted

  bool operator==(const EntryRecord&) const = default;
};

struct RunRecord {
  int com = 0;
  std::string source;  // "lorebank", "program", "all", "erestore"; empty: none selected
  std::string list;    // the transfer list's name; empty: none selected
  std::vector<EntryRecord> entries;
  int frames = 0;  // as packetCount
  int resends = 0;
  std::array<int, kVerdictKinds> verdicts{};  // indexed by Verdict
  RunOutcome outcome = RunOutcome::Failed;
  std::string status;  // the final status line
  std::optional<RunFault> fault;
  double seconds = 0;  // the run's length on its clock
};

// The names the record uses (a source's is its name in context/sources.h).
const char* verdictName(Verdict verdict);     // "ACK", "NAK", "CAN", "ETX", "STX", "timeout"
const char* outcomeName(RunOutcome outcome);  // "complete", "early_end", "failed", "closed", "refused"

// A digest of bytes added since the last reset, as lower-case hex.
class EntryHash {
 public:
  virtual ~EntryHash() = default;
  virtual void reset() = 0;
  virtual void add(const ByteString& bytes) = 0;
  virtual std::string hex() = 0;
};

// Gathers the record of the run under way; record() holds it once the run
// has ended (and until the next one starts). A front end that keeps records
// derives from it and stores record() after runEnded.
class RunRecordBuilder : public RunObserver {
 public:
  // Without a hash the entries' sha256 stay empty.
  explicit RunRecordBuilder(std::unique_ptr<EntryHash> hash = nullptr);

  const RunRecord& record() const { return record_; }

  void runStarted(int com, std::optional<Source> source, const std::string& list, double at) override;
  void entryStarted(const std::string& name, std::optional<int32_t> size, uint8_t memoryType, int32_t address) override;
  void dataFrameSent(const ByteString& fileBytes) override;
  void frameSent() override;
  void frameResent() override;
  void verdict(Verdict verdict) override;
  void entrySent() override;
  void runEnded(RunOutcome outcome, const std::string& status, const Fault* fault, double at) override;

 private:
  void closeEntry();

  std::unique_ptr<EntryHash> hash_;
  RunRecord record_;
  double startedAt_ = 0;
  bool entryOpen_ = false;  // the last entry is still being sent
};

}  // namespace torvane
