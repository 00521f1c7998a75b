#include "tests/station/station_rig.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <csignal>

#include "tests/e2e/e2e_bench.h"

namespace torvane::station {

namespace {
void setVariable(const QByteArray& name, const QByteArray& value) { qputenv(name.constData(), value); }
}  // namespace

StationRig::StationRig() : image_(e2e::patternBytes(3000, 7)) {
  QStringList names{QStringLiteral("TORVANE_LOG")};
  for (int n = 1; n <= 9; ++n) names << QStringLiteral("TORVANE_COM%1").arg(n);
  for (const QString& name : names) {
    const QByteArray key = name.toLatin1();
    saved_.emplace_back(key, qEnvironmentVariableIsSet(key.constData())
                                 ? std::optional<QByteArray>(qgetenv(key.constData()))
                                 : std::nullopt);
  }
  setVariable("TORVANE_LOG", (dir_.path() + QStringLiteral("/log.jsonl")).toLocal8Bit());
  for (int n = 1; n <= 9; ++n) mapCom(n, dir() + "/absent" + std::to_string(n));
  QFile code(dir_.filePath(QStringLiteral("code.bin")));
  QFile list(dir_.filePath(QStringLiteral("program.txt")));
  if (!code.open(QIODevice::WriteOnly) || !list.open(QIODevice::WriteOnly)) error_ = "cannot write the folder";
  code.write(image_.data(), static_cast<qint64>(image_.size()));
  list.write("code.bin\t1\t0x8000\r\n");
}

StationRig::~StationRig() {
  sims_.clear();
  for (const auto& [name, value] : saved_) {
    if (value) setVariable(name, *value);
    if (!value) qunsetenv(name.constData());
  }
}

void StationRig::mapCom(int com, const std::string& device) {
  setVariable(QStringLiteral("TORVANE_COM%1").arg(com).toLatin1(), QByteArray::fromStdString(device));
}

bool StationRig::startSims(const std::vector<std::vector<std::string>>& argsEach) {
  for (const std::vector<std::string>& args : argsEach) {
    auto sim = std::make_unique<e2e::SimProcess>();
    const std::string simDir = dir() + "/sim" + std::to_string(sims_.size() + 1);
    if (!QDir().mkpath(QString::fromStdString(simDir)) || !sim->start(args, simDir)) {
      error_ = sim->error();
      return false;
    }
    sims_.push_back(std::move(sim));
  }
  return true;
}

StationRun StationRig::run(const QStringList& args, int interruptAfterMs) {
  QProcess station;
  QElapsedTimer timer;
  timer.start();
  station.start(QStringLiteral(TORVANE_BIN_DIR "/torvane-station"), args + QStringList{"--folder", dir_.path()});
  StationRun run;
  if (interruptAfterMs >= 0 && !station.waitForFinished(interruptAfterMs)) ::kill(station.processId(), SIGINT);
  if (!station.waitForFinished(120000)) station.kill();
  station.waitForFinished();
  run.exitCode = station.exitStatus() == QProcess::NormalExit ? station.exitCode() : -1;
  run.out = station.readAllStandardOutput().toStdString();
  run.err = station.readAllStandardError().toStdString();
  run.seconds = static_cast<double>(timer.elapsed()) / 1000;
  return run;
}

std::vector<QJsonObject> StationRig::records() const {
  std::vector<QJsonObject> records;
  QFile log(dir_.filePath(QStringLiteral("log.jsonl")));
  if (!log.open(QIODevice::ReadOnly)) return records;
  while (!log.atEnd()) records.push_back(QJsonDocument::fromJson(log.readLine()).object());
  return records;
}

}  // namespace torvane::station
