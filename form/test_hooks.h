// The program's test and demo hooks, read from the environment (operators
// never set them), the same for every front end of torvane-update:
//   TORVANE_AUTOSTART=1       presses "&Start Update" once, after the start-up
//                             port scan has returned.
//   TORVANE_EXIT_AFTER_RUN=1  quits when the first update run has ended and
//                             prints its final status line on one line of
//                             standard output, as "final status: <text>" with
//                             CR and LF written as \r and \n; exit code 0.
//                             Message boxes are then printed as
//                             "message box: <text>" instead of waiting for OK.
//   TORVANE_SCREENSHOT=<path> saves a picture of the window (PNG, or BMP on
//                             Windows) to <path> just before the program quits.
//   TORVANE_SOURCE=<source>   selects a source option before the start-up
//                             scan (and so before an autostart): "program",
//                             "all" or "erestore". Any other value is refused
//                             with exit code 2.
#pragma once

#include <functional>
#include <optional>
#include <ostream>
#include <string>

#include "context/window_ops.h"
#include "form/form_controller.h"

namespace torvane::form {

struct TestHooks {
  bool autostart = false;
  bool exitAfterRun = false;
  std::optional<Source> source;
  std::string screenshot;
  std::string error;  // why TORVANE_SOURCE is refused; empty when fine
};

// The hooks as `variable` (an environment look-up, "" for unset) gives them.
TestHooks readTestHooks(const std::function<std::string(const char*)>& variable);

// The text on one line: CR and LF written as the escapes \r and \n.
std::string escapedLine(const std::string& text);

// Wires TORVANE_EXIT_AFTER_RUN into the controller: message boxes are
// printed on `out`, and when the outermost update run has ended its final
// status is printed and `quit` is called.
void exitAfterFirstRun(FormController& controller, std::ostream& out, std::function<void()> quit);

}  // namespace torvane::form
