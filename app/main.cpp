// torvane-update: loads new firmware into a TorVane machine over RS-232.
// Its arguments are described in form/update_command.h and by --help; its test
// and demo hooks (TORVANE_AUTOSTART, TORVANE_EXIT_AFTER_RUN,
// TORVANE_SCREENSHOT, TORVANE_SOURCE) in form/test_hooks.h.
#include <QApplication>
#include <QPixmap>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <variant>

#include "app/app_icon.h"
#include "app/frmdl.h"
#include "app/qt_clock.h"
#include "check/folder_check.h"
#include "cli/command_line.h"
#include "context/form_context.h"
#include "form/test_hooks.h"
#include "form/update_command.h"
#include "record/host.h"
#include "record/log_options.h"
#include "serial/qt_serial_port.h"

namespace {

std::string environmentVariable(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

}  // namespace

int main(int argc, char* argv[]) {
  torvane::ignoreFileSizeSignal();  // a full log fails its write instead of killing the program
  std::error_code noFolder;
  const auto parsed = torvane::form::parseUpdateCommand(torvane::cli::arguments(argc, argv),
                                                        std::filesystem::current_path(noFolder), std::cout, std::cerr);
  if (const int* code = std::get_if<int>(&parsed)) return *code;
  const torvane::form::UpdateCommand& command = std::get<torvane::form::UpdateCommand>(parsed);
  if (command.mode != torvane::form::UpdateCommand::Mode::Window) {
    return torvane::form::runWithoutWindow(command, std::cout, std::cerr);  // no display needed
  }
  const torvane::form::TestHooks hooks = torvane::form::readTestHooks(environmentVariable);
  if (!hooks.error.empty()) {
    std::cerr << "torvane-update: " << hooks.error << '\n';
    return torvane::cli::kWrongArguments;
  }

  QCoreApplication::setApplicationName(QStringLiteral("torvane-update"));
  QCoreApplication::setApplicationVersion(QStringLiteral(TORVANE_VERSION));
  QApplication app(argc, argv);
  QApplication::setWindowIcon(torvane::appIcon());

  torvane::QtSerialPort port;  // COM1, "4800,N,8,1", closed
  torvane::QtClock clock;
  torvane::Frmdl window(port, clock, command.workingFolder);
  torvane::RecorderSetup recording;
  recording.toolVersion = TORVANE_VERSION;
  recording.folder = command.workingFolder;
  recording.portDetails = [&port](int com) {
    const torvane::PortDescription opened = port.openedPort();
    return torvane::PortDetails{com, opened.device};
  };
  const std::unique_ptr<torvane::UpdateRecorder> recorder =
      torvane::updateRecorder(torvane::chosenLog(command.log, torvane::processEnvironment), std::move(recording));
  window.addRunObserver(recorder.get());
  window.setImageCheck(torvane::check::verifyAgainstSums);  // only with SHA256SUMS in the folder  // none with --no-log
                                                            // or TORVANE_LOG=off

  if (hooks.source) window.selectSource(*hooks.source);
  if (command.source) window.selectSource(*command.source);

  if (!hooks.screenshot.empty()) {
    const QString screenshot = QString::fromStdString(hooks.screenshot);
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &window, [&window, screenshot] {
      if (!window.grab().save(screenshot, "PNG")) {
        std::cerr << "torvane-update: cannot save the screenshot to " << screenshot.toStdString() << '\n';
      }
    });
  }
  if (hooks.exitAfterRun) {
    torvane::form::exitAfterFirstRun(window.controller(), std::cout,
                                     [] { QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); }); });
  }

  // Start-up once the event loop runs: show the window and scan the ports.
  QTimer::singleShot(0, &window, [&window, autostart = hooks.autostart] {
    window.onLoad();
    if (autostart) window.onStartClicked();
  });
  return app.exec();
}
