// The window module's shared state and the three seams every procedure uses:
// the serial port component mscCom, the window operations and the clock;
// the working folder the front end chose; plus the observer of update runs,
// when a front end keeps records.
// The window owns one FormContext; the procedures receive it by reference.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "context/clock.h"
#include "context/run_observer.h"
#include "context/serial_port.h"
#include "context/window_ops.h"
#include "encoding/fault.h"

namespace torvane {

struct FormState {
  int16_t packetCount = 0;     // frames handed to Transmit in this run, resends not counted
  std::string startTime;       // time of day the run started, as shown
  std::string endTime;         // time of day the run ended, as shown
  double deadline = 0;         // end of the wait in progress, on the clock
  int16_t timerFired = 0;      // set by the tick of the pause timer
  bool runInProgress = false;  // an update run is under way (a second Start is ignored)
  bool closing = false;        // the window is closing: procedures end at their next wait
  // What the fault that ends them says (a front end without a window says why it stops).
  std::string closingText = "The window was closed during the operation";
};

struct FormContext {
  FormContext(SerialPort& port, WindowOps& ops, Clock& runClock, std::filesystem::path folder)
      : mscCom(port), window(ops), clock(runClock), workingFolder(std::move(folder)) {}

  SerialPort& mscCom;
  WindowOps& window;
  Clock& clock;
  // Where the transfer lists and the image files they name are looked up;
  // a name with folders of its own is taken from here, an absolute one as it is.
  std::filesystem::path workingFolder;
  FormState state;
  // Told of every update run, in this order (a record builder before those
  // that read its record); none: nothing is recorded.
  std::vector<RunObserver*> observers;
  // A check of the images of the transfer list that the front end adds
  // before the port opens (their digests against the folder's SHA256SUMS):
  // the fault that refuses the run, or none. Unset: no check.
  std::function<std::optional<Fault>(const std::filesystem::path& folder, const std::string& list)> verifyImages;
};

// Tells every observer of an event of the run. Whatever one throws is
// dropped here and never reaches the others: a record never changes the run.
template <typename... Params, typename... Args>
void observe(FormContext& ctx, void (RunObserver::*event)(Params...), const Args&... args) noexcept {
  for (RunObserver* observer : ctx.observers) {
    try {
      (observer->*event)(args...);
    } catch (...) {
    }
  }
}

// Tick of the pause timer `delay`.
inline void delay_Timer(FormState& state) { state.timerFired = 1; }

}  // namespace torvane
