// The second half of an update run: the transfer list of the chosen source,
// every image file it names as an address frame and data frames, then the
// end frame.
#pragma once

#include <string>

#include "context/form_context.h"

namespace torvane {

struct TransferOutcome {
  enum class Kind {
    Completed,      // the end frame came back with frame result 0
    EarlyEnd,       // an image file is missing: the run ends with `text`
    FrameRejected,  // a frame result other than 0: the failure path without a fault
  };
  Kind kind = Kind::Completed;
  std::string text;  // status text of an early end
};

// Runs the phase. Faults (list or file access, parse errors, port faults)
// are thrown; the transfer list and the image file are closed before any
// return or throw. When the front end checks images (ctx.verifyImages) and
// the list chosen now is not `verifiedList` (the operator chose another
// source meanwhile), it is checked before its first frame.
TransferOutcome transferPhase(FormContext& ctx, const std::string& verifiedList = {});

}  // namespace torvane
