// torvane-update.exe: the tool's window on Windows. The same command line
// as on every platform (form/update_command.h), the same test and demo hooks
// (form/test_hooks.h; TORVANE_SCREENSHOT writes a BMP file here), the same
// update log. The window has no console of its own: what it prints (--help,
// --history, --check, the hooks' lines) goes to the console or the pipe of
// the program that started it.
#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "check/folder_check.h"
#include "cli/command_line.h"
#include "form/test_hooks.h"
#include "form/update_command.h"
#include "record/host.h"
#include "record/log_options.h"
#include "serial/com_names.h"
#include "serial/port_faults.h"
#include "serial/win32_serial_port.h"
#include "win32/frmdl.h"
#include "win32/wide_text.h"
#include "win32/win32_clock.h"

namespace {

// Standard output and error lead where the starting program's do: a pipe or
// file given to us is used as it is; else the console of the program that
// started us, when it has one.
void useParentConsole() {
  const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
  if (out != nullptr && out != INVALID_HANDLE_VALUE && ::GetFileType(out) != FILE_TYPE_UNKNOWN) return;
  if (!::AttachConsole(ATTACH_PARENT_PROCESS)) return;
  ::SetConsoleOutputCP(CP_UTF8);
  FILE* ignored = nullptr;
  freopen_s(&ignored, "CONOUT$", "w", stdout);
  freopen_s(&ignored, "CONOUT$", "w", stderr);
  std::cout.clear();
  std::cerr.clear();
}

std::vector<std::string> commandArguments() {
  int count = 0;
  LPWSTR* words = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  std::vector<std::string> arguments;
  for (int i = 1; i < count; ++i) arguments.push_back(torvane::utf8(words[i]));
  ::LocalFree(words);
  return arguments;
}

std::string environmentVariable(const char* name) { return torvane::processEnvironment(name); }

// "COM12", "COM3  USB Serial Port": what a port option stands for.
std::string optionTip(const torvane::ComAssignment& entry) {
  return entry.device.empty() ? "(no port)" : torvane::comListLine(entry).substr(6);
}

}  // namespace

int main() {
  useParentConsole();
  std::error_code noFolder;
  const auto parsed = torvane::form::parseUpdateCommand(commandArguments(), std::filesystem::current_path(noFolder),
                                                        std::cout, std::cerr);
  if (const int* code = std::get_if<int>(&parsed)) return *code;
  const torvane::form::UpdateCommand& command = std::get<torvane::form::UpdateCommand>(parsed);
  if (command.mode != torvane::form::UpdateCommand::Mode::Window) {
    return torvane::form::runWithoutWindow(command, std::cout, std::cerr);
  }
  const torvane::form::TestHooks hooks = torvane::form::readTestHooks(environmentVariable);
  if (!hooks.error.empty()) {
    std::cerr << "torvane-update: " << hooks.error << '\n';
    return torvane::cli::kWrongArguments;
  }

  torvane::Win32SerialPort port;  // COM1, "4800,N,8,1", closed
  torvane::Win32Clock clock;
  torvane::MessagePump pump;
  torvane::Frmdl window(port, clock, command.workingFolder, pump);

  torvane::RecorderSetup recording;
  recording.toolVersion = TORVANE_VERSION;
  recording.folder = command.workingFolder;
  recording.portDetails = [&port](int com) { return torvane::PortDetails{com, port.openedPort().device}; };
  const std::unique_ptr<torvane::UpdateRecorder> recorder =
      torvane::updateRecorder(torvane::chosenLog(command.log, torvane::processEnvironment), std::move(recording));
  window.addRunObserver(recorder.get());
  window.setImageCheck(torvane::check::verifyAgainstSums);  // only with SHA256SUMS in the folder

  for (const torvane::ComAssignment& entry : torvane::comMap()) window.describePortOption(entry.com, optionTip(entry));
  if (hooks.source) window.selectSource(*hooks.source);
  if (command.source) window.selectSource(*command.source);

  // The adapter's latency timer, said once: after the first run on a port
  // that holds the machine's answers too long.
  bool latencyTold = false;
  window.afterStart = [&] {
    if (latencyTold) return;
    const std::string device = port.device();
    const std::optional<int> latency = torvane::systemPortHost().latencyTimerMs(device);
    const std::string advice =
        latency ? torvane::latencyAdvice(torvane::PortId{port.commPort(), device}, *latency) : std::string();
    if (advice.empty()) return;
    latencyTold = true;
    window.controller().messageBox(advice);
  };

  const auto screenshot = [&window, path = hooks.screenshot] {
    if (path.empty()) return;
    window.paintNow();
    if (!window.saveScreenshot(torvane::pathFromText(path))) {
      std::cerr << "torvane-update: cannot save the screenshot to " << path << '\n';
    }
  };
  window.closing = screenshot;
  if (hooks.exitAfterRun) {
    torvane::form::exitAfterFirstRun(window.controller(), std::cout, [screenshot] {
      screenshot();
      ::PostQuitMessage(0);
    });
  }

  window.startup = [&window, autostart = hooks.autostart] {
    window.controller().load();
    if (autostart) {
      window.controller().startClicked();
      if (window.afterStart) window.afterStart();
    }
  };
  ::PostMessageW(window.handle(), torvane::Frmdl::kStartupMessage, 0, 0);
  const int code = pump.run();
  std::cout.flush();
  return code;
}
