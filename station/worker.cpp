#include "station/worker.h"

#include <QDir>
#include <QSocketNotifier>
#include <csignal>
#include <filesystem>
#include <memory>

#include "context/form_context.h"
#include "discovery/scan_ports.h"
#include "record/log_options.h"
#include "run/update_driver.h"
#include "serial/qt_serial_port.h"
#include "station/console_window_ops.h"
#include "station/end_reporter.h"
#include "station/monotonic_clock.h"

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace torvane::station {

namespace {

#ifdef Q_OS_WIN
const char* const kAbsentDevice = "\\\\.\\TORVANE-STATION-NO-PORT";
#else
const char* const kAbsentDevice = "/dev/null/torvane-station-no-port";
#endif

// COM `port.com` is the worker's device; no other COM number reaches a device.
void mapPorts(const PortTarget& port) {
  for (int n = kFirstCom; n <= kLastCom; ++n) {
    const QByteArray value = n == port.com ? port.device.toLocal8Bit() : QByteArray(kAbsentDevice);
    qputenv(QStringLiteral("TORVANE_COM%1").arg(n).toLatin1().constData(), value);
  }
}

// The recorder of the run in the working folder (the current one by now).
std::unique_ptr<UpdateRecorder> stationRecorder(const StationOptions& options) {
  LogOptions log;  // from options.recordArgs: --log FILE or --no-log
  log.noLog = options.recordArgs.contains(QStringLiteral("--no-log"));
  const qsizetype file = options.recordArgs.indexOf(QStringLiteral("--log")) + 1;
  if (file > 0 && file < options.recordArgs.size()) log.logFile = options.recordArgs[file].toStdString();
  RecorderSetup setup;
  setup.toolName = "torvane-station";
  setup.toolVersion = TORVANE_VERSION;
  std::error_code noFolder;
  setup.folder = std::filesystem::current_path(noFolder);
  setup.portDetails = [device = options.ports.front().device.toStdString()](int com) {
    return PortDetails{com, device};
  };
  return updateRecorder(chosenLog(log, processEnvironment), std::move(setup));
}

// The end of standard input (the supervisor closed it, or ended) closes the
// "window": the procedure ends at its next wait.
std::unique_ptr<QSocketNotifier> watchInput(FormState& state) {
#ifdef Q_OS_UNIX
  auto notifier = std::make_unique<QSocketNotifier>(STDIN_FILENO, QSocketNotifier::Read);
  QSocketNotifier* raw = notifier.get();
  QObject::connect(raw, &QSocketNotifier::activated, [raw, &state] {
    char buffer[256];
    if (::read(STDIN_FILENO, buffer, sizeof buffer) > 0) return;
    state.closing = true;
    raw->setEnabled(false);
  });
  return notifier;
#else
  (void)state;
  return nullptr;
#endif
}

// The scan's rule on this one port: "AA" within 2 s.
bool announced(FormContext& ctx, ConsoleWindowOps& ops, EventWriter& events) {
  ops.setMuted(true);
  const ScanEnd end = ScanPorts(ctx);
  ops.setMuted(false);
  events.write(end == ScanEnd::Found ? QStringLiteral("found") : QStringLiteral("absent"));
  return end == ScanEnd::Found;
}

void runUpdate(FormContext& ctx, EndReporter& reporter, EventWriter& events) {
  try {
    cmdStart_Click(ctx);
  } catch (const std::exception& e) {
    if (!reporter.outcome()) {
      events.write(QStringLiteral("end"), {{QStringLiteral("outcome"), QStringLiteral("failed")},
                                           {QStringLiteral("status"), QString::fromLocal8Bit(e.what())}});
    }
  }
}

}  // namespace

int runWorker(const StationOptions& options) {
  std::signal(SIGINT, SIG_IGN);  // Ctrl-C is the supervisor's: it closes our input
  ignoreFileSizeSignal();        // a full log fails its write instead of killing the worker
#ifdef SIGPIPE
  // A supervisor that was killed leaves our output without a reader: the
  // events we write then fail, and the end of our input ends the run, which
  // still writes its record.
  std::signal(SIGPIPE, SIG_IGN);
#endif
  const PortTarget& target = options.ports.front();
  mapPorts(target);
  EventWriter events;
  if (!QDir::setCurrent(options.folder)) {
    events.write(QStringLiteral("end"), {{QStringLiteral("outcome"), QStringLiteral("failed")},
                                         {QStringLiteral("status"), QStringLiteral("cannot open the folder")}});
    return kSomeNotCompleted;
  }
  QtSerialPort port;
  MonotonicClock clock;
  ConsoleWindowOps ops(options.source, target.com, events, clock);
  const std::unique_ptr<UpdateRecorder> recorder = stationRecorder(options);
  EndReporter reporter(recorder.get(), events);
  FormContext ctx{port, ops, clock, {}, &reporter};
  ops.attach(ctx.state);
  const std::unique_ptr<QSocketNotifier> input = watchInput(ctx.state);
  if (options.scan && !announced(ctx, ops, events)) return kNoMachineFound;
  ops.selectPortOption(target.com);
  runUpdate(ctx, reporter, events);
  return reporter.outcome() == RunOutcome::Complete ? kAllCompleted : kSomeNotCompleted;
}

}  // namespace torvane::station
