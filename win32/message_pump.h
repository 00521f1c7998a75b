// The window's event processing: the one place where messages are taken
// from the thread's queue, and the one sleep of the Windows front end.
//
// sleep() waits in a single MsgWaitForMultipleObjectsEx call (QS_ALLINPUT,
// MWMO_INPUTAVAILABLE) on the window's messages (clicks, keys, paint), its
// timers (WM_TIMER) and the port's overlapped read; it returns when one of
// them is there or the time is up, and never spins.
#pragma once

#include <windows.h>

#include "context/serial_port.h"

namespace torvane {

class MessagePump {
 public:
  // Keyboard navigation (Tab, the access keys) goes to `dialog`.
  void setDialog(HWND dialog) { dialog_ = dialog; }

  // Dispatches every pending message; true when there was one. WM_QUIT is
  // kept for run() and not dispatched.
  bool handlePending();

  // Dispatches what is pending; when there was nothing, sleeps until a
  // message, the port's input or maxSeconds, then dispatches what came.
  void sleep(double maxSeconds, InputWaitable input);

  // The main loop: until WM_QUIT. Returns its exit code.
  int run();

  bool quitting() const { return quit_; }

 private:
  void dispatch(MSG& message);

  HWND dialog_ = nullptr;
  bool quit_ = false;
  int exitCode_ = 0;
};

}  // namespace torvane
