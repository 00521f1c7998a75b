// The run and close rules of the window, the same for every front end:
//   - a click runs its procedure to its end, nested inside whatever runs
//     already (the buttons are never disabled);
//   - an exception that gets out of a procedure is shown in a box, never
//     let through the event loop;
//   - closing during a procedure ends it at its next wait, and the window
//     closes once the outermost procedure has returned; while it closes no
//     new procedure starts and no message box waits for OK.
// A front end draws the window and forwards the operator's events here; the
// procedures reach the window through the front end's WindowOps, which ask
// this controller for message boxes.
#pragma once

#include <functional>
#include <string>

#include "context/form_context.h"

namespace torvane::form {

// What the controller asks of the front end that draws the window.
class FormFrontEnd {
 public:
  virtual ~FormFrontEnd() = default;
  // Shows the window (not modal), with its initial state.
  virtual void showWindow() = 0;
  // A modal box with the text, an OK button only and the window's caption.
  virtual void showModalBox(const std::string& text) = 0;
  // Closes the window from the event loop, once the current event is done.
  virtual void closeWindowSoon() = 0;
};

class FormController {
 public:
  using Procedure = std::function<void(FormContext&)>;

  FormController(FormContext& ctx, FormFrontEnd& frontEnd);

  // The procedures behind the buttons: the update run and the port scan,
  // unless a test or a hook puts another here.
  Procedure startProcedure;
  Procedure scanProcedure;
  // Replaces the modal box when set (unattended runs).
  std::function<void(const std::string&)> messageBoxHook;

  // --- the operator's events ---
  void load();              // Form_Load: shows the window, then scans the ports
  void startClicked();      // "&Start Update"
  void configureClicked();  // "&Configure Port"
  // The operator asks to close: true when the window may close now; false
  // while a procedure runs (it ends at its next wait, and the window closes
  // once the outermost one has returned).
  bool closeRequested();

  // --- what the window operations ask ---
  void messageBox(const std::string& text);  // nothing while the window closes

  bool running() const { return depth_ > 0; }
  FormContext& context() { return ctx_; }

 private:
  void run(const Procedure& procedure);

  FormContext& ctx_;
  FormFrontEnd& frontEnd_;
  int depth_ = 0;                // procedures running, nested
  bool closeRequested_ = false;  // a close arrived while one ran
};

}  // namespace torvane::form
