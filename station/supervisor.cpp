#include "station/supervisor.h"

#include <QJsonDocument>

#include "context/run_observer.h"
#include "serial/com_names.h"

namespace torvane::station {

namespace {

const char* const kSwitchOnText = "Switch the machine on now.";

bool waitingForStx(const QJsonObject& event) {
  return event.value(QStringLiteral("event")).toString() == QStringLiteral("status") &&
         event.value(QStringLiteral("stage")).toString() == QLatin1String(stageName(RunStage::WaitingForStx));
}

}  // namespace

std::vector<PortTarget> scanTargets() {
  std::vector<PortTarget> targets;
  for (const ComAssignment& entry : comMap()) {
    if (entry.device.empty()) continue;
    targets.push_back({QStringLiteral("COM%1").arg(entry.com), QString::fromStdString(entry.device), entry.com});
  }
  return targets;
}

Supervisor::Supervisor(StationOptions options, QString program)
    : options_(std::move(options)), program_(std::move(program)) {}

Supervisor::~Supervisor() {
  stop();
  for (const std::unique_ptr<QProcess>& worker : workers_) {
    QObject::disconnect(worker.get(), nullptr, nullptr, nullptr);
    if (worker->state() != QProcess::NotRunning && !worker->waitForFinished(kStopWaitMs)) {
      worker->kill();
      worker->waitForFinished(kStopWaitMs);
    }
  }
}

void Supervisor::start(const ViewMaker& makeView, std::function<void(int)> done) {
  done_ = std::move(done);
  const std::vector<PortTarget> targets = options_.scan ? scanTargets() : options_.ports;
  for (const PortTarget& target : targets) {
    Machine machine;
    machine.port = target;
    machine.phase = options_.scan ? Machine::Phase::Listening : Machine::Phase::Running;
    machines_.push_back(machine);
  }
  view_ = makeView(machines_);
  for (std::size_t i = 0; i < machines_.size(); ++i) {
    auto worker = std::make_unique<QProcess>();
    worker->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QObject::connect(worker.get(), &QProcess::readyReadStandardOutput, [this, i] { readEvents(i); });
    QObject::connect(worker.get(), &QProcess::finished, [this, i] { workerEnded(i); });
    QObject::connect(worker.get(), &QProcess::errorOccurred, [this, i](QProcess::ProcessError error) {
      if (error == QProcess::FailedToStart) workerEnded(i);
    });
    worker->start(program_, workerArguments(options_, machines_[i].port, options_.scan));
    workers_.push_back(std::move(worker));
    ++running_;
  }
  if (machines_.empty()) done_(exitCode());
}

void Supervisor::stop(const std::string& why) {
  for (const std::unique_ptr<QProcess>& worker : workers_) {
    if (worker->state() == QProcess::NotRunning) continue;
    worker->write(QByteArray::fromStdString(why) + '\n');
    worker->closeWriteChannel();
  }
}

void Supervisor::readEvents(std::size_t index) {
  QProcess& worker = *workers_[index];
  while (worker.canReadLine()) {
    const QJsonDocument line = QJsonDocument::fromJson(worker.readLine());
    if (line.isObject()) handle(index, line.object());
  }
}

void Supervisor::handle(std::size_t index, const QJsonObject& event) {
  Machine& machine = machines_[index];
  machine.apply(event);
  view_->event(machine, event);
  if (options_.source == Source::EmergencyRestore && waitingForStx(event)) {
    const QJsonObject hint{{QStringLiteral("event"), QStringLiteral("message")},
                           {QStringLiteral("text"), QString::fromLatin1(kSwitchOnText)}};
    view_->event(machine, hint);
  }
}

// A worker that ended without telling how its run ended (it crashed or was
// killed) counts as failed, with the reason.
void Supervisor::workerEnded(std::size_t index) {
  readEvents(index);
  Machine& machine = machines_[index];
  QProcess& worker = *workers_[index];
  if (machine.phase != Machine::Phase::Ended && machine.phase != Machine::Phase::Absent) {
    const QString why =
        worker.exitStatus() == QProcess::CrashExit
            ? QStringLiteral("the worker for this port crashed")
            : QStringLiteral("the worker for this port ended (exit code %1) without a result").arg(worker.exitCode());
    machine.lost(why);
    view_->event(machine, {{QStringLiteral("event"), QStringLiteral("end")},
                           {QStringLiteral("outcome"), machine.outcome},
                           {QStringLiteral("status"), why}});
  }
  if (--running_ > 0) return;
  view_->finish(machines_);
  done_(exitCode());
}

int Supervisor::exitCode() const {
  bool any = false;
  bool allCompleted = true;
  for (const Machine& m : machines_) {
    if (m.phase == Machine::Phase::Absent) continue;
    any = true;
    allCompleted = allCompleted && m.completed();
  }
  if (!any) return options_.scan ? kNoMachineFound : kSomeNotCompleted;
  return allCompleted ? kAllCompleted : kSomeNotCompleted;
}

}  // namespace torvane::station
