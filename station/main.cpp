// torvane-station: updates one or many TorVane machines from a terminal,
// without a window. Its arguments are described in station/station_options.h
// and by --help; each machine is updated by a worker process of its own
// (station/worker.h) under the supervisor (station/supervisor.h).
#include <QCoreApplication>
#include <filesystem>
#include <iostream>
#include <memory>
#include <variant>

#include "check/folder_check.h"
#include "cli/command_line.h"
#include "context/sources.h"
#include "record/host.h"
#include "record/log_options.h"
#include "serial/com_names.h"
#include "serial/port_host.h"
#include "station/json_view.h"
#include "station/line_view.h"
#include "station/nonblocking_output.h"
#include "station/stop_signals.h"
#include "station/supervisor.h"
#include "station/terminal_view.h"
#include "station/worker.h"

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {

using namespace torvane::station;

bool onTerminal() {
#ifdef Q_OS_UNIX
  return ::isatty(STDOUT_FILENO) == 1;
#else
  return false;
#endif
}

std::unique_ptr<StationView> viewFor(const StationOptions& options, NonBlockingOutput& out,
                                     const std::vector<Machine>& machines) {
  if (options.json) return std::make_unique<JsonView>(out, options.quiet);
  if (onTerminal() && !options.quiet) return std::make_unique<TerminalView>(out, machines);
  return std::make_unique<LineView>(out, options.quiet);
}

// Standard output never stalls a run: a slow reader gets the latest of each
// machine, and one that goes away ends the output, not the station. Only
// after the last run has ended does the station wait for it.
int supervise(const StationOptions& options) {
  NonBlockingOutput out(1);
  Supervisor supervisor(options, QCoreApplication::applicationFilePath(),
                        torvane::chosenLog(options.log, torvane::processEnvironment));
  onStopSignal([&supervisor](const std::string& why) { supervisor.stop(why); });
  int code = -1;
  supervisor.start([&](const std::vector<Machine>& machines) { return viewFor(options, out, machines); },
                   [&code](int exitCode) {
                     code = exitCode;
                     QCoreApplication::exit(exitCode);
                   });
  if (code < 0) code = QCoreApplication::exec();
  onStopSignal({});
  out.drain();
  return code;
}

}  // namespace

int main(int argc, char* argv[]) {
  torvane::ignoreFileSizeSignal();  // a full log fails its write instead of killing the program
  std::error_code noFolder;
  const PortNames names{[](int com) { return torvane::deviceForCom(com); },
                        [](const std::string& device) { return torvane::systemPortHost().canonicalDevice(device); }};
  const auto parsed = parseStationOptions(torvane::cli::arguments(argc, argv), names,
                                          std::filesystem::current_path(noFolder), std::cout, std::cerr);
  if (const int* code = std::get_if<int>(&parsed)) return *code;
  const StationOptions& options = std::get<StationOptions>(parsed);
  if (options.check) {
    const torvane::check::FolderReport report =
        torvane::check::checkFolder(options.folder, torvane::sourceInfo(options.source).listFile);
    std::cout << (options.json ? torvane::check::reportJson(report) : torvane::check::reportText(report));
    return report.errors() > 0 ? kSomeNotCompleted : kAllCompleted;
  }
  const QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("torvane-station"));
  QCoreApplication::setApplicationVersion(QStringLiteral(TORVANE_VERSION));
  if (options.worker) return runWorker(options);
  return supervise(options);
}
