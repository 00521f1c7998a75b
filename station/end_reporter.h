// The worker's observer of its update run: passes every event on to the
// recorder (when records are kept), counts frames and resends, and once the
// record is stored tells the supervisor how the run ended.
#pragma once

#include <optional>

#include "context/run_observer.h"
#include "station/event_writer.h"

namespace torvane::station {

class EndReporter : public RunObserver {
 public:
  EndReporter(RunObserver* recorder, EventWriter& events) : recorder_(recorder), events_(events) {}

  // How the run ended; none while it has not.
  std::optional<RunOutcome> outcome() const { return outcome_; }

  void runStarted(int com, std::optional<Source> source, const std::string& list, double at) override;
  void entryStarted(const std::string& name, std::optional<int32_t> size, uint8_t memoryType, int32_t address) override;
  void dataFrameSent(const ByteString& fileBytes) override;
  void frameSent() override;
  void frameResent() override;
  void verdict(Verdict verdict) override;
  void entrySent() override;
  void runEnded(RunOutcome outcome, const std::string& status, const Fault* fault, double at) override;

 private:
  template <typename... Params, typename... Args>
  void pass(void (RunObserver::*event)(Params...), Args&&... args) noexcept;

  RunObserver* recorder_;
  EventWriter& events_;
  std::optional<RunOutcome> outcome_;
  double startedAt_ = 0;
  int frames_ = 0;
  int resends_ = 0;
};

}  // namespace torvane::station
