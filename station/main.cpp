// torvane-station: updates one or many TorVane machines from a terminal,
// without a window. Its arguments are described in station/station_options.h
// and by --help; each machine is updated by a worker process of its own
// (station/worker.h) under the supervisor (station/supervisor.h).
#include <QCoreApplication>
#include <iostream>
#include <memory>

#include "serial/com_names.h"
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
  Supervisor supervisor(options, QCoreApplication::applicationFilePath());
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
  const QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("torvane-station"));
  QCoreApplication::setApplicationVersion(QStringLiteral(TORVANE_VERSION));
  const ParsedArguments parsed =
      parseArguments(QCoreApplication::arguments(), [](int com) { return torvane::deviceForCom(com); });
  if (!parsed.error.isEmpty()) {
    std::cerr << "torvane-station: " << parsed.error.toStdString() << " (see torvane-station --help)\n";
    return parsed.exitCode;
  }
  if (!parsed.options) {
    std::cout << parsed.output.toStdString();
    return parsed.exitCode;
  }
  if (parsed.options->worker) return runWorker(*parsed.options);
  return supervise(*parsed.options);
}
