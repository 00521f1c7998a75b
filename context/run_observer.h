// What an update run tells an observer as it goes: the seam through which a
// front end keeps a record of every run (record/ holds the one that writes
// the update log) and follows its stages (the station). The procedures only
// report; hashing, times and storage are the observer's. Calls go through
// observe() (context/form_context.h), so an observer never changes a run's
// outcome, texts or timing. Every event does nothing unless an observer
// overrides it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "context/window_ops.h"
#include "encoding/bytes.h"
#include "encoding/fault.h"

namespace torvane {

// The machine's verdict on one send, or none within the time allowed.
enum class Verdict { Ack, Nak, Can, Etx, Stx, TimedOut };

// How a run ended: completion, the early end, the failure path, the failure
// path because the window was closed (fault::kWindowClosed), or the failure
// path before the port opened because an image did not match the folder's
// SHA256SUMS (fault::kUpdateRefused: nothing was sent).
enum class RunOutcome { Complete, EarlyEnd, Failed, Closed, Refused };

// The stages of a run, in the order a run goes through them. A run that ends
// early or fails skips the rest; a machine that does not answer the load
// command skips ReadyReply and StartCommand.
enum class RunStage {
  Opening,            // the port is chosen, configured and opened at 4800 baud
  LoadCommand,        // "s" CR goes out
  LoadReply,          // up to 5 s for the loader's answer
  ReadyReply,         // up to 5 s for the model's ready text
  StartCommand,       // "A" and the pause
  BaudChange,         // to 38400 baud
  WaitingForStx,      // up to 20 s for the machine's STX
  Transfer,           // the transfer list's entries (each told by entryStarted)
  EndOfTransmission,  // the end frame
  Closing,            // all sent; the port closes
};

// "waiting_for_stx": the stage's name in events and records.
const char* stageName(RunStage stage);

class RunObserver {
 public:
  virtual ~RunObserver() = default;

  // "Start Update" began a run on COM `com` with the source and transfer list
  // selected then (none: no source option selected). `at` is on the run's clock.
  virtual void runStarted(int com, std::optional<Source> source, const std::string& list, double at);
  // The run reached a stage: told once the stage's first status text is set
  // (Transfer: once the STX has come; its entries are told by entryStarted).
  virtual void stageReached(RunStage stage);
  // A list entry was reached. No size: its image file does not exist.
  virtual void entryStarted(const std::string& name, std::optional<int32_t> size, uint8_t memoryType, int32_t address);
  // The file bytes of the data frame about to be sent (without its padding).
  virtual void dataFrameSent(const ByteString& fileBytes);
  // A frame was handed to Transmit (resends not counted, as in packetCount).
  virtual void frameSent();
  // The frame just sent goes out again (NAK or STX).
  virtual void frameResent();
  virtual void verdict(Verdict verdict);
  // The entry's last data frame was accepted.
  virtual void entrySent();
  // The run ended with this final status; `fault` is the failure path's
  // fault (a refused frame: number 0, empty texts), null for the other ends.
  virtual void runEnded(RunOutcome outcome, const std::string& status, const Fault* fault, double at);
};

}  // namespace torvane
