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

}  // namespace torvane
