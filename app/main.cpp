// torvane-update: loads new firmware into a TorVane machine over RS-232.
// Its arguments are described in app/command_line.h and by --help.
//
// Test and demo hooks, read from the environment (operators never set them):
//   TORVANE_AUTOSTART=1       presses "&Start Update" once, after the start-up
//                             port scan has returned.
//   TORVANE_EXIT_AFTER_RUN=1  quits when the first update run has ended and
//                             prints its final status line on one line of
//                             standard output, as "final status: <text>" with
//                             CR and LF written as \r and \n; exit code 0.
//                             Message boxes are then printed as
//                             "message box: <text>" instead of waiting for OK.
//   TORVANE_SCREENSHOT=<path> saves a picture of the window (PNG) to <path>
//                             just before the program quits.
//   TORVANE_SOURCE=<source>   selects a source option before the start-up
//                             scan (and so before an autostart): "program"
//                             (Program only), "all" (Program and DSD) or
//                             "erestore" (Emergency Restore). Any other value
//                             is refused on standard error with exit code 2.
#include <CLI/CLI.hpp>
#include <QApplication>
#include <QPixmap>
#include <QTimer>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>

#include "app/app_icon.h"
#include "app/command_line.h"
#include "app/frmdl.h"
#include "app/qt_clock.h"
#include "app/test_hooks.h"
#include "context/form_context.h"
#include "record/history.h"
#include "record/host.h"
#include "record/log_options.h"
#include "serial/com_names.h"
#include "serial/qt_serial_port.h"

namespace {

bool hookSet(const char* name) { return qEnvironmentVariable(name) == QStringLiteral("1"); }

// The source that TORVANE_SOURCE names, or none for an unknown name.
std::optional<torvane::Source> sourceNamed(const QString& name) {
  if (name == QStringLiteral("program")) return torvane::Source::Program;
  if (name == QStringLiteral("all")) return torvane::Source::ProgramAndDsd;
  if (name == QStringLiteral("erestore")) return torvane::Source::EmergencyRestore;
  return std::nullopt;
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

  torvane::QtSerialPort port;  // COM1, "4800,N,8,1", closed
  torvane::QtClock clock;
  torvane::Frmdl window(port, clock);
  torvane::RecorderSetup recording;
  recording.toolVersion = TORVANE_VERSION;
  std::error_code noFolder;
  recording.folder = std::filesystem::current_path(noFolder);  // the working folder, chosen above
  recording.portDetails = [](int com) { return torvane::PortDetails{com, torvane::deviceForCom(com)}; };
  const std::unique_ptr<torvane::UpdateRecorder> recorder =
      torvane::updateRecorder(torvane::chosenLog(logOptions, torvane::processEnvironment), std::move(recording));
  window.setRunObserver(recorder.get());  // none with --no-log or TORVANE_LOG=off

  if (const QString source = qEnvironmentVariable("TORVANE_SOURCE"); !source.isEmpty()) {
    const std::optional<torvane::Source> named = sourceNamed(source);
    if (!named) {
      std::cerr << "torvane-update: TORVANE_SOURCE=" << source.toStdString()
                << " is not a source; use program, all or erestore\n";
      return 2;
    }
    window.selectSource(*named);
  }
  if (start->source) window.selectSource(*start->source);

  const bool autostart = hookSet("TORVANE_AUTOSTART");
  const bool exitAfterRun = hookSet("TORVANE_EXIT_AFTER_RUN");
  const QString screenshot = qEnvironmentVariable("TORVANE_SCREENSHOT");

  if (!screenshot.isEmpty()) {
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &window, [&window, screenshot] {
      if (!window.grab().save(screenshot, "PNG")) {
        std::cerr << "torvane-update: cannot save the screenshot to " << screenshot.toStdString() << '\n';
      }
    });
  }
  if (exitAfterRun) {
    window.messageBoxHook = [](const QString& text) {
      std::cout << "message box: " << torvane::oneLine(text.toStdString()) << std::endl;
    };
    auto run = window.startProcedure;
    auto finish = [&window] {
      std::cout << "final status: " << torvane::oneLine(window.statusLine()) << std::endl;
      QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
    };
    window.startProcedure = [run, finish, depth = 0](torvane::FormContext& c) mutable {
      ++depth;
      try {
        run(c);
      } catch (...) {
        if (--depth == 0) finish();
        throw;
      }
      if (--depth == 0) finish();
    };
  }

  // Start-up once the event loop runs: show the window and scan the ports.
  QTimer::singleShot(0, &window, [&window, autostart] {
    window.onLoad();
    if (autostart) window.onStartClicked();
  });
  return app.exec();
}
