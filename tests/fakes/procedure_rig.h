// The procedures' world in a test: fake clock, fake port, fake window and the
// context, wired as the window wires the real ones (the pause timer's tick
// runs delay_Timer). The working folder is the current folder when the rig
// is made; a fixture whose scratch folder comes later sets ctx.workingFolder. A test that needs a port or a window with
// hooks of its own names their types.
#pragma once

#include "context/form_context.h"
#include "tests/fakes/fake_clock.h"
#include "tests/fakes/fake_serial_port.h"
#include "tests/fakes/fake_window.h"

namespace torvane::testing {

template <typename Port = FakeSerialPort, typename Window = FakeWindow>
struct ProcedureRig {
  FakeClock clock;
  Port port{clock};
  Window window{clock};
  FormContext ctx{port, window, clock, std::filesystem::current_path()};

  ProcedureRig() {
    window.onDelayTick = [this] { delay_Timer(ctx.state); };
  }
  ProcedureRig(const ProcedureRig&) = delete;
  ProcedureRig& operator=(const ProcedureRig&) = delete;
};

}  // namespace torvane::testing
