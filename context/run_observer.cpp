#include "context/run_observer.h"

namespace torvane {

const char* stageName(RunStage stage) {
  switch (stage) {
    case RunStage::Opening: return "opening";
    case RunStage::LoadCommand: return "load_command";
    case RunStage::LoadReply: return "load_reply";
    case RunStage::ReadyReply: return "ready_reply";
    case RunStage::StartCommand: return "start_command";
    case RunStage::BaudChange: return "baud_change";
    case RunStage::WaitingForStx: return "waiting_for_stx";
    case RunStage::Transfer: return "transfer";
    case RunStage::EndOfTransmission: return "end_of_transmission";
    case RunStage::Closing: return "closing";
  }
  return "";
}

void RunObserver::runStarted(int, std::optional<Source>, const std::string&, double) {}
void RunObserver::stageReached(RunStage) {}
void RunObserver::entryStarted(const std::string&, std::optional<int32_t>, uint8_t, int32_t) {}
void RunObserver::dataFrameSent(const ByteString&) {}
void RunObserver::frameSent() {}
void RunObserver::frameResent() {}
void RunObserver::verdict(Verdict) {}
void RunObserver::entrySent() {}
void RunObserver::runEnded(RunOutcome, const std::string&, const Fault*, double) {}

template <typename... Params, typename... Args>
void ObserverFanOut::each(void (RunObserver::*event)(Params...), const Args&... args) noexcept {
  for (RunObserver* observer : observers_) {
    try {
      (observer->*event)(args...);
    } catch (...) {
    }
  }
}

void ObserverFanOut::runStarted(int com, std::optional<Source> source, const std::string& list, double at) {
  each(&RunObserver::runStarted, com, source, list, at);
}
void ObserverFanOut::stageReached(RunStage stage) { each(&RunObserver::stageReached, stage); }
void ObserverFanOut::entryStarted(const std::string& name, std::optional<int32_t> size, uint8_t memoryType,
                                  int32_t address) {
  each(&RunObserver::entryStarted, name, size, memoryType, address);
}
void ObserverFanOut::dataFrameSent(const ByteString& fileBytes) { each(&RunObserver::dataFrameSent, fileBytes); }
void ObserverFanOut::frameSent() { each(&RunObserver::frameSent); }
void ObserverFanOut::frameResent() { each(&RunObserver::frameResent); }
void ObserverFanOut::verdict(Verdict verdict) { each(&RunObserver::verdict, verdict); }
void ObserverFanOut::entrySent() { each(&RunObserver::entrySent); }
void ObserverFanOut::runEnded(RunOutcome outcome, const std::string& status, const Fault* fault, double at) {
  each(&RunObserver::runEnded, outcome, status, fault, at);
}

}  // namespace torvane
