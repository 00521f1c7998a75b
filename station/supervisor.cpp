#include "station/supervisor.h"

#include <QJsonDocument>
#include <iostream>

#include "check/folder_check.h"
#include "context/sources.h"

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

Supervisor::Supervisor(StationOptions options, QString program, std::optional<std::filesystem::path> log)
    : options_(std::move(options)), program_(std::move(program)), log_(std::move(log)), records_(options_, log_) {}

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
  const std::optional<Fault> refusal = folderRefusal();
  if (refusal && options_.scan) {  // no machine is known before the scan, which would touch every port
    std::cerr << "torvane-station: " << refusal->description() << std::endl;
    done_(kSomeNotCompleted);
    return;
  }
  view_ = makeView(machines_);
  if (refusal) {
    refuseAll(*refusal);
    return;
  }
  for (std::size_t i = 0; i < machines_.size(); ++i) {
    auto worker = std::make_unique<QProcess>();
    worker->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QObject::connect(worker.get(), &QProcess::readyReadStandardOutput, [this, i] { readEvents(i); });
    QObject::connect(worker.get(), &QProcess::finished, [this, i] { workerEnded(i); });
    QObject::connect(worker.get(), &QProcess::errorOccurred, [this, i](QProcess::ProcessError error) {
      if (error == QProcess::FailedToStart) workerEnded(i);
    });
    QStringList arguments;
    for (const std::string& word : workerArguments(options_, machines_[i].port, options_.scan, log_)) {
      arguments << QString::fromStdString(word);
    }
    worker->start(program_, arguments);
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

std::optional<Fault> Supervisor::folderRefusal() const {
  const check::FolderReport report = check::checkFolder(options_.folder, sourceInfo(options_.source).listFile);
  std::vector<std::string> errors;
  for (const check::Problem& p : report.problems) errors.push_back(p.text);
  for (const check::ListReport& list : report.lists) {
    for (const check::ImageReport& image : list.images) {
      for (const check::Problem& p : image.problems) {
        if (p.error) errors.push_back("line " + std::to_string(image.planned.line) + ": " + p.text);
      }
    }
    for (const check::Problem& p : list.problems) {
      if (p.error) errors.push_back(p.text);
    }
  }
  if (errors.empty()) return std::nullopt;
  std::string why = std::string("the folder check refused the update: ") + sourceInfo(options_.source).listFile + " " +
                    errors.front();
  if (errors.size() > 1) why += " (and " + std::to_string(errors.size() - 1) + " more: see torvane-station --check)";
  return Fault(fault::kUpdateRefused, why + "; nothing was sent", "torvane-station");
}

// Nothing was sent: each machine's end says why, and each run is recorded.
void Supervisor::refuseAll(const Fault& why) {
  for (Machine& machine : machines_) {
    const QJsonObject end{{QStringLiteral("event"), QStringLiteral("end")},
                          {QStringLiteral("outcome"), QLatin1String(outcomeName(RunOutcome::Refused))},
                          {QStringLiteral("status"), QString::fromStdString(" Error: " + why.description())}};
    machine.apply(end);
    view_->event(machine, end);
    records_.refused(machine, why);
  }
  view_->finish(machines_);
  done_(kSomeNotCompleted);
}

// A worker that ended without telling how its run ended (it crashed or was
// killed) counts as failed, with the reason; its run is recorded from what
// it told so far.
void Supervisor::workerEnded(std::size_t index) {
  readEvents(index);
  Machine& machine = machines_[index];
  QProcess& worker = *workers_[index];
  if (machine.phase != Machine::Phase::Ended && machine.phase != Machine::Phase::Absent) {
    const QString why =
        worker.exitStatus() == QProcess::CrashExit
            ? QStringLiteral("the worker for this port ended unexpectedly (signal %1)").arg(worker.exitCode())
            : QStringLiteral("the worker for this port ended (exit code %1) without a result").arg(worker.exitCode());
    machine.lost(why);
    records_.workerDied(machine, why.toStdString());
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
