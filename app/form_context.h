// The window module's shared state and the three seams every procedure uses:
// the serial port component mscCom, the window operations and the clock.
// The window owns one FormContext; the procedures receive it by reference.
#pragma once

#include <cstdint>
#include <string>

#include "app/clock.h"
#include "app/window_ops.h"
#include "serial/serial_port.h"

namespace torvane {

struct FormState {
  int16_t packetCount = 0;   // frames handed to Transmit in this run, resends not counted
  std::string startTime;     // time of day the run started, as shown
  std::string endTime;       // time of day the run ended, as shown
  double deadline = 0;       // end of the wait in progress, on the clock
  int16_t timerFired = 0;    // set by the tick of the pause timer
  bool runInProgress = false;  // an update run is under way (a second Start is ignored)
  bool closing = false;        // the window is closing: procedures end at their next wait
};

struct FormContext {
  SerialPort& mscCom;
  WindowOps& window;
  Clock& clock;
  FormState state;
};

// Tick of the pause timer `delay`.
inline void delay_Timer(FormState& state) { state.timerFired = 1; }

}  // namespace torvane

#include "encoding/fault.h"

namespace torvane {

// Ends the procedure in progress when the window is closing. Called after
// every yield of a wait; the fault takes the procedure's own failure path.
inline void checkNotClosing(const FormContext& ctx) {
  if (ctx.state.closing) {
    throw Fault(fault::kWindowClosed, "The window was closed during the operation", "frmdl");
  }
}

// One pass of a wait that ends at `deadline`: handles pending events, or
// sleeps until input, a tick, the operator or the deadline. Input that has
// arrived and is not yet read wakes nothing any more, so with such input the
// pass only yields.
inline void waitPass(FormContext& ctx, double deadline) {
  const double left = deadline - ctx.clock.seconds();
  if (left > 0 && !(ctx.mscCom.portOpen() && ctx.mscCom.inBufferCount() > 0)) {
    ctx.window.yieldWait(left);
  } else {
    ctx.window.yield();
  }
  checkNotClosing(ctx);
}

}  // namespace torvane
