// frmdl: the tool's one window on the Win32 API. It draws the window's
// design (form/window_design.h) with the system's own controls, owns the
// pause timer `delay`, and forwards the operator's events to the window's
// controller (form/form_controller.h), which runs the procedures. It holds
// no protocol logic and no run rules.
//
// The status line and the transfer progress bar are painted here (the
// status line keeps whole lines, form/status_lines.h; the bar carries its
// text). The option buttons are not grouped by the system: the tab order is
// the design's, which mixes the two groups, so a click selects one and this
// window deselects the others of its group.
#pragma once

#include <windows.h>

#include <array>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "context/form_context.h"
#include "form/form_controller.h"
#include "win32/message_pump.h"
#include "win32/win32_window_ops.h"

namespace torvane {

class Frmdl final : private form::FormFrontEnd {
 public:
  Frmdl(SerialPort& port, Clock& clock, std::filesystem::path workingFolder, MessagePump& pump);
  ~Frmdl() override;
  Frmdl(const Frmdl&) = delete;
  Frmdl& operator=(const Frmdl&) = delete;

  // Posted by the program to run `startup`.
  static constexpr UINT kStartupMessage = WM_APP + 1;

  HWND handle() const { return hwnd_; }
  form::FormController& controller() { return controller_; }
  FormContext& context() { return context_; }
  MessagePump& pump() { return pump_; }

  void addRunObserver(RunObserver* observer) {
    if (observer != nullptr) context_.observers.push_back(observer);
  }
  void setImageCheck(decltype(FormContext::verifyImages) check) { context_.verifyImages = std::move(check); }

  // Run from the event loop once it runs (Form_Load, then an autostart).
  std::function<void()> startup;
  // After each click on "Start Update" has run its procedure.
  std::function<void()> afterStart;
  // Just before the window closes.
  std::function<void()> closing;

  // What each port option stands for, shown as its tooltip ("COM12").
  void describePortOption(int com, const std::string& text);

  // --- what the window operations ask ---
  void setStatusLine(const std::string& text);
  const std::string& statusLine() const { return statusText_; }
  void holdStatusLine(bool held);  // while held, its changes are not painted
  void setTimeLine(const std::string& text);
  void paintNow();  // paints what has changed, handling nothing else
  bool sourceChecked(Source source) const;
  void selectSource(Source source);
  bool portOptionChecked(int number) const;
  void checkPortOption(int number);
  void startDelay(int intervalMs);
  void stopDelay();
  void startHoldTimer(int ms);
  void setProgress(int value, int maximum, const std::string& text);
  void showProgress(bool shown);
  void setBusy(bool busy);

  // Saves a picture of the window as a BMP file; false when it cannot.
  bool saveScreenshot(const std::filesystem::path& path) const;

 private:
  static LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);

  // form::FormFrontEnd
  void showWindow() override;
  void showModalBox(const std::string& text) override;
  void closeWindowSoon() override;

  void buildControls();
  void onCommand(int id);
  void selectOption(HWND option);

  HWND hwnd_ = nullptr;
  MessagePump& pump_;
  HFONT font_ = nullptr;
  HFONT statusFont_ = nullptr;
  HFONT progressFont_ = nullptr;
  HICON icon_ = nullptr;
  HWND toolTips_ = nullptr;
  HWND lblStatus_ = nullptr;
  HWND lblTime_ = nullptr;
  HWND prgTransfer_ = nullptr;
  std::array<HWND, 4> sourceOptions_{};  // in the order of Source
  std::array<HWND, 9> portOptions_{};    // optCom1 .. OptCom9
  std::array<std::wstring, 9> portTips_;
  bool busy_ = false;
  bool changed_ = true;  // something was changed since the last paintNow()
  std::string statusText_;

  Win32WindowOps ownOps_;
  FormContext context_;
  form::FormController controller_;
};

}  // namespace torvane
