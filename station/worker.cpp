#include "station/worker.h"

#include <QSocketNotifier>
#include <csignal>
#include <filesystem>
#include <memory>
#include <string>

#include "check/folder_check.h"
#include "context/form_context.h"
#include "discovery/scan_ports.h"
#include "record/update_recorder.h"
#include "run/update_driver.h"
#include "serial/qt_serial_port.h"
#include "station/event_pipe_window_ops.h"
#include "station/monotonic_clock.h"
#include "station/stage_reporter.h"
#include "station/station_records.h"

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace torvane::station {

namespace {

// COM `port.com` leads to the worker's device; no other COM number leads anywhere.
ComLookup workerLookup(const PortTarget& port) {
  const ComDevice device{port.device.toLocal8Bit().toStdString(), port.byPath};
  return [device, com = port.com](int n) { return n == com ? device : ComDevice{}; };
}

// The recorder of the run, on the log the supervisor chose; none without one.
std::unique_ptr<UpdateRecorder> stationRecorder(const StationOptions& options) {
  if (!options.workerLog) return nullptr;
  return std::make_unique<UpdateRecorder>(stationRecorderSetup(options, options.ports.front(), *options.workerLog));
}

// The end of standard input closes the "window": the procedure ends at its
// next wait. The supervisor writes why before it closes it; a supervisor
// that was killed leaves the input closed without a word.
std::unique_ptr<QSocketNotifier> watchInput(FormState& state) {
#ifdef Q_OS_UNIX
  auto notifier = std::make_unique<QSocketNotifier>(STDIN_FILENO, QSocketNotifier::Read);
  QSocketNotifier* raw = notifier.get();
  QObject::connect(raw, &QSocketNotifier::activated, [raw, &state, why = std::string()]() mutable {
    char buffer[256];
    const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n > 0) {
      why.append(buffer, static_cast<std::size_t>(n));
      return;
    }
    while (!why.empty() && (why.back() == '\n' || why.back() == '\r')) why.pop_back();
    state.closingText = why.empty() ? "stopped: the station that started this run was killed" : why;
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
bool announced(FormContext& ctx, EventWriter& events) {
  const ScanEnd end = ScanPorts(ctx);
  events.write(end == ScanEnd::Found ? QStringLiteral("found") : QStringLiteral("absent"));
  return end == ScanEnd::Found;
}

void runUpdate(FormContext& ctx, const StageReporter& reporter, EventWriter& events) {
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
  EventWriter events;
  // Whatever ends the worker, its events are out first (or the supervisor has gone).
  struct DrainAtEnd {
    EventWriter& events;
    ~DrainAtEnd() { events.drain(); }
  } drainAtEnd{events};
  const std::filesystem::path folder = options.folder;
  std::error_code ec;
  if (!std::filesystem::is_directory(folder, ec)) {
    events.write(QStringLiteral("end"), {{QStringLiteral("outcome"), QStringLiteral("failed")},
                                         {QStringLiteral("status"), QStringLiteral("cannot open the folder")}});
    return kSomeNotCompleted;
  }
  QtSerialPort port(workerLookup(target));
  MonotonicClock clock;
  EventPipeWindowOps ops(options.source, target.com, events, clock);
  // The record of the run: the update log's recorder, or a plain one that
  // only counts when no log is kept. It hears of every event first.
  const std::unique_ptr<UpdateRecorder> recorder = stationRecorder(options);
  RunRecordBuilder counts;
  const RunRecordBuilder& record = recorder ? static_cast<const RunRecordBuilder&>(*recorder) : counts;
  StageReporter reporter(record, ops, events, clock);
  FormContext ctx{port, ops, clock, folder};
  ctx.verifyImages = check::verifyAgainstSums;  // the supervisor checked the folder; the images may change since
  ctx.observers = {recorder ? static_cast<RunObserver*>(recorder.get()) : &counts, &reporter};
  ops.attach(ctx.state);
  const std::unique_ptr<QSocketNotifier> input = watchInput(ctx.state);
  if (options.scan && !announced(ctx, events)) return kNoMachineFound;
  ops.selectPortOption(target.com);
  runUpdate(ctx, reporter, events);
  return reporter.outcome() == RunOutcome::Complete ? kAllCompleted : kSomeNotCompleted;
}

}  // namespace torvane::station
