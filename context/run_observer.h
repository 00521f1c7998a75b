// What an update run tells an observer as it goes: the seam through which a
// front end keeps a record of every run (record/ holds the one that writes
// the update log). The procedures only report; hashing, times and storage
// are the observer's. Calls go through observe() (context/form_context.h),
// so an observer never changes a run's outcome, texts or timing.
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

// How a run ended: completion, the early end, the failure path, or the
// failure path because the window was closed (fault::kWindowClosed).
enum class RunOutcome { Complete, EarlyEnd, Failed, Closed };

class RunObserver {
 public:
  virtual ~RunObserver() = default;

  // "Start Update" began a run on COM `com` with the source and transfer list
  // selected then (none: no source option selected). `at` is on the run's clock.
  virtual void runStarted(int com, std::optional<Source> source, const std::string& list, double at) = 0;
  // A list entry was reached. No size: its image file does not exist.
  virtual void entryStarted(const std::string& name, std::optional<int32_t> size, uint8_t memoryType,
                            int32_t address) = 0;
  // The file bytes of the data frame about to be sent (without its padding).
  virtual void dataFrameSent(const ByteString& fileBytes) = 0;
  // A frame was handed to Transmit (resends not counted, as in packetCount).
  virtual void frameSent() = 0;
  // The frame just sent goes out again (NAK or STX).
  virtual void frameResent() = 0;
  virtual void verdict(Verdict verdict) = 0;
  // The entry's last data frame was accepted.
  virtual void entrySent() = 0;
  // The run ended with this final status; `fault` is the failure path's
  // fault (a refused frame: number 0, empty texts), null for the other ends.
  virtual void runEnded(RunOutcome outcome, const std::string& status, const Fault* fault, double at) = 0;
};

}  // namespace torvane
