#include "form/form_controller.h"

#include <exception>

#include "discovery/scan_ports.h"
#include "encoding/fault.h"
#include "run/update_driver.h"

namespace torvane::form {

FormController::FormController(FormContext& ctx, FormFrontEnd& frontEnd)
    : startProcedure(&cmdStart_Click),
      scanProcedure([](FormContext& c) { ScanPorts(c); }),
      ctx_(ctx),
      frontEnd_(frontEnd) {}

void FormController::load() {
  frontEnd_.showWindow();
  run(scanProcedure);
}

void FormController::startClicked() { run(startProcedure); }

void FormController::configureClicked() { run(scanProcedure); }

bool FormController::closeRequested() {
  if (depth_ == 0) {
    closeRequested_ = false;
    return true;
  }
  ctx_.state.closing = true;
  closeRequested_ = true;
  return false;
}

void FormController::messageBox(const std::string& text) {
  if (ctx_.state.closing) return;  // the operator has asked the window to go
  if (messageBoxHook) {
    messageBoxHook(text);
  } else {
    frontEnd_.showModalBox(text);
  }
}

// The procedures handle their own faults; whatever still gets here is shown.
void FormController::run(const Procedure& procedure) {
  if (!procedure || ctx_.state.closing) return;
  ++depth_;
  std::string failure;
  try {
    procedure(ctx_);
  } catch (const Fault& f) {
    failure = "Unexpected error " + std::to_string(f.number()) + ": " + f.description() + " (" + f.source() + ")";
  } catch (const std::exception& e) {
    failure = std::string("Unexpected error: ") + e.what();
  } catch (...) {
    failure = "Unexpected error of unknown kind";
  }
  --depth_;
  if (!failure.empty()) messageBox(failure);
  if (depth_ == 0 && closeRequested_) frontEnd_.closeWindowSoon();
}

}  // namespace torvane::form
