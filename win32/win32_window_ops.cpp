#include "win32/win32_window_ops.h"

#include <algorithm>
#include <cmath>

#include "win32/frmdl.h"

namespace torvane {

Win32WindowOps::Win32WindowOps(Frmdl& window, SerialPort& port, Clock& clock)
    : window_(window), port_(port), clock_(clock), hold_(clock), progress_(clock, kProgressRedrawSeconds) {}

Win32WindowOps::~Win32WindowOps() = default;

void Win32WindowOps::setStatus(const std::string& text) {
  window_.setStatusLine(text);
  hold_.changed();
}

std::string Win32WindowOps::status() const { return window_.statusLine(); }

void Win32WindowOps::setTimeLine(const std::string& text) { window_.setTimeLine(text); }

void Win32WindowOps::repaint() {
  const bool paintsStatus = hold_.repaint();
  window_.paintNow();
  if (!paintsStatus) return;
  window_.holdStatusLine(true);  // painted: its next changes wait for the hold to end
  armHoldTimer();
}

void Win32WindowOps::armHoldTimer() {
  const double left = hold_.endsAt().value_or(clock_.seconds()) - clock_.seconds();
  window_.startHoldTimer(static_cast<int>(std::ceil(std::max(left, 0.0) * 1000)));
}

void Win32WindowOps::holdTimerFired() {
  if (hold_.due()) {
    window_.holdStatusLine(false);
    window_.paintNow();
    window_.holdStatusLine(true);
  } else if (!hold_.held()) {
    window_.holdStatusLine(false);
  }
  if (hold_.held()) armHoldTimer();
}

void Win32WindowOps::yield() { window_.pump().handlePending(); }

void Win32WindowOps::yieldWait(double maxSeconds) {
  const InputWaitable input = port_.portOpen() ? port_.inputWaitable() : InputWaitable{};
  if (port_.portOpen()) maxSeconds = std::min(maxSeconds, kLongestSleepWithPortOpen);
  window_.pump().sleep(maxSeconds, input);
}

void Win32WindowOps::setBusyPointer(bool busy) {
  if (busy == busy_) return;
  busy_ = busy;
  window_.setBusy(busy);
  if (!busy && hold_.release()) {  // the run has ended: its last status is shown now
    window_.holdStatusLine(false);
    window_.paintNow();
  }
}

void Win32WindowOps::messageBox(const std::string& text) { window_.controller().messageBox(text); }

bool Win32WindowOps::sourceSelected(Source source) const { return window_.sourceChecked(source); }

bool Win32WindowOps::portOptionSelected(int number) const { return window_.portOptionChecked(number); }

void Win32WindowOps::selectPortOption(int number) { window_.checkPortOption(number); }

void Win32WindowOps::startDelay(int intervalMs) { window_.startDelay(intervalMs); }

void Win32WindowOps::stopDelay() { window_.stopDelay(); }

void Win32WindowOps::progressStart(int64_t totalBytes) {
  draw(progress_.start(totalBytes));
  window_.showProgress(true);
}

void Win32WindowOps::progressAdvance(int64_t bytesSent) {
  if (const auto bar = progress_.advance(bytesSent)) draw(*bar);
}

void Win32WindowOps::progressEnd() { window_.showProgress(false); }

void Win32WindowOps::draw(const form::TransferProgress::Bar& bar) {
  window_.setProgress(bar.value, bar.maximum, bar.text);
}

}  // namespace torvane
