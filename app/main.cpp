// torvane-update: loads new firmware into a TorVane machine over RS-232.
// Its arguments are described in app/command_line.h and by --help; its test
// and demo hooks (TORVANE_AUTOSTART, TORVANE_EXIT_AFTER_RUN,
// TORVANE_SCREENSHOT, TORVANE_SOURCE) in form/test_hooks.h.
#include <QApplication>
#include <QPixmap>
#include <CLI/CLI.hpp>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>

#include "app/app_icon.h"
#include "app/command_line.h"
#include "app/frmdl.h"
#include "app/qt_clock.h"
#include "context/form_context.h"
#include "form/test_hooks.h"
#include "record/history.h"
#include "record/host.h"
#include "record/log_options.h"
#include "serial/com_names.h"
#include "serial/qt_serial_port.h"

namespace {

std::string environmentVariable(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

// The update log's options, taken from the command line before anything
// else (command_line.cpp lists them for --help). Carries out --history, or
// refuses the options; nothing when the program goes on as usual.
std::optional<int> runLogOptions(int argc, char* argv[], torvane::LogOptions& options) {
  CLI::App parser;
  parser.set_help_flag();  // --help is the window's own
  parser.allow_extras();   // the other arguments are read below
  torvane::addLogOptions(parser, options);
  std::string why;
  try {
    parser.parse(argc, argv);
    why = torvane::checkLogOptions(options);
  } catch (const CLI::ParseError& e) {
    why = e.what();
  }
  if (!why.empty()) {
    std::cerr << "torvane-update: " << why << '\n';
    return 2;
  }
  if (!options.history) return std::nullopt;
  return torvane::printHistory(torvane::historyLog(options, torvane::processEnvironment), *options.history,
                               options.json, std::cout, std::cerr);
}

}  // namespace

int main(int argc, char* argv[]) {
  torvane::ignoreFileSizeSignal();  // a full log fails its write instead of killing the program
  QCoreApplication::setApplicationName(QStringLiteral("torvane-update"));
  QCoreApplication::setApplicationVersion(QStringLiteral(TORVANE_VERSION));
  torvane::LogOptions logOptions;
  if (const std::optional<int> code = runLogOptions(argc, argv, logOptions)) return *code;  // --history
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  if (torvane::handledWithoutWindow(arguments)) {
    const QCoreApplication console(argc, argv);  // no display needed
    return torvane::runWithoutWindow(QCoreApplication::arguments());
  }
  QApplication app(argc, argv);
  QApplication::setWindowIcon(torvane::appIcon());
  int exitCode = 0;
  const std::optional<torvane::WindowStart> start =
      torvane::applyWindowArguments(QCoreApplication::arguments(), exitCode);
  if (!start) return exitCode;

  const torvane::form::TestHooks hooks = torvane::form::readTestHooks(environmentVariable);
  if (!hooks.error.empty()) {
    std::cerr << "torvane-update: " << hooks.error << '\n';
    return 2;
  }

  torvane::QtSerialPort port;  // COM1, "4800,N,8,1", closed
  torvane::QtClock clock;
  torvane::Frmdl window(port, clock, start->workingFolder);
  torvane::RecorderSetup recording;
  recording.toolVersion = TORVANE_VERSION;
  recording.folder = start->workingFolder;
  recording.portDetails = [&port](int com) {
    const torvane::PortDescription opened = port.openedPort();
    return torvane::PortDetails{com, opened.device};
  };
  const std::unique_ptr<torvane::UpdateRecorder> recorder =
      torvane::updateRecorder(torvane::chosenLog(logOptions, torvane::processEnvironment), std::move(recording));
  window.addRunObserver(recorder.get());  // none with --no-log or TORVANE_LOG=off

  if (hooks.source) window.selectSource(*hooks.source);
  if (start->source) window.selectSource(*start->source);

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
