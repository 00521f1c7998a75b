#include "win32/message_pump.h"

#include <algorithm>
#include <cmath>

namespace torvane {

void MessagePump::dispatch(MSG& message) {
  if (message.message == WM_QUIT) {
    quit_ = true;
    exitCode_ = static_cast<int>(message.wParam);
    return;
  }
  if (dialog_ != nullptr && ::IsDialogMessageW(dialog_, &message)) return;
  ::TranslateMessage(&message);
  ::DispatchMessageW(&message);
}

bool MessagePump::handlePending() {
  bool handled = false;
  MSG message;
  while (!quit_ && ::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    dispatch(message);
    handled = true;
  }
  return handled;
}

void MessagePump::sleep(double maxSeconds, InputWaitable input) {
  if (handlePending() || quit_ || !(maxSeconds > 0)) return;
  constexpr double kLongestMs = 24.0 * 3600 * 1000;
  const auto ms = static_cast<DWORD>(std::ceil(std::min(maxSeconds * 1000.0, kLongestMs)));
  HANDLE handles[1];
  DWORD count = 0;
  if (input.kind == InputWaitable::Kind::EventHandle) handles[count++] = reinterpret_cast<HANDLE>(input.value);
  ::MsgWaitForMultipleObjectsEx(count, count ? handles : nullptr, ms, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  handlePending();
}

int MessagePump::run() {
  MSG message;
  while (!quit_) {
    const BOOL got = ::GetMessageW(&message, nullptr, 0, 0);
    if (got == -1) break;
    if (got == 0) {
      quit_ = true;
      exitCode_ = static_cast<int>(message.wParam);
      break;
    }
    dispatch(message);
  }
  return exitCode_;
}

}  // namespace torvane
