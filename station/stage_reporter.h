// The worker's observer of its update run: tells the supervisor of each
// stage the run reaches and each list entry it begins, with the status line
// at that moment, and, once the record is complete, how the run ended and
// why. It
// counts nothing itself: frames and resends come from the run's record,
// which the record builder (the update log's recorder, or a plain builder
// without a log) gathers before this observer hears of the end.
#pragma once

#include <QJsonObject>

#include "context/clock.h"
#include "context/run_record.h"
#include "context/window_ops.h"
#include "station/event_writer.h"

namespace torvane::station {

class StageReporter : public RunObserver {
 public:
  StageReporter(const RunRecordBuilder& record, const WindowOps& window, EventWriter& events, Clock& clock)
      : record_(record), window_(window), events_(events), clock_(clock) {}

  // How the run ended; none while it has not.
  std::optional<RunOutcome> outcome() const { return outcome_; }

  void runStarted(int com, std::optional<Source> source, const std::string& list, double at) override;
  void stageReached(RunStage stage) override;
  void entryStarted(const std::string& name, std::optional<int32_t> size, uint8_t memoryType, int32_t address) override;
  void verdict(Verdict verdict) override { lastVerdict_ = verdict; }
  void runEnded(RunOutcome outcome, const std::string& status, const Fault* fault, double at) override;

 private:
  void tellStatus(RunStage stage, const QJsonObject& entry = {});

  const RunRecordBuilder& record_;
  const WindowOps& window_;
  EventWriter& events_;
  Clock& clock_;
  std::optional<RunOutcome> outcome_;
  std::optional<Verdict> lastVerdict_;
};

// Why a run that took the failure path without a fault of its own ended, in
// words a person can act on: "the machine refused frame 3 (CAN)", "no
// verdict for frame 12 within 20 s"; empty for every other end.
std::string endReason(RunOutcome outcome, const Fault* fault, int frames, std::optional<Verdict> lastVerdict);

}  // namespace torvane::station
