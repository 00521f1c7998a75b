#include "record/update_recorder.h"

#include <QCryptographicHash>
#include <QDir>
#include <QJsonDocument>
#include <QSysInfo>
#include <iostream>
#include <memory>
#include <utility>

#include "record/update_log.h"

namespace torvane {

namespace {

class Sha256 : public EntryHash {
 public:
  void reset() override { hash_.reset(); }
  void add(const ByteString& bytes) override { hash_.addData(QByteArrayView(bytes.data(), qsizetype(bytes.size()))); }
  std::string hex() override { return hash_.result().toHex().toStdString(); }

 private:
  QCryptographicHash hash_{QCryptographicHash::Sha256};
};

// Empty when the environment does not say.
QString userName() {
  for (const char* name : {"USER", "LOGNAME", "USERNAME"}) {
    const QString user = qEnvironmentVariable(name);
    if (!user.isEmpty()) return user;
  }
  return {};
}

}  // namespace

QString toolVersion() { return QStringLiteral(TORVANE_VERSION); }

UpdateRecorder::UpdateRecorder(RecorderSetup setup)
    : RunRecordBuilder(std::make_unique<Sha256>()), setup_(std::move(setup)) {}

void UpdateRecorder::runStarted(int com, std::optional<Source> source, const std::string& list, double at) {
  RunRecordBuilder::runStarted(com, source, list, at);
  start_ = QDateTime::currentDateTime();
  folder_ = QDir::toNativeSeparators(QDir::currentPath());
}

void UpdateRecorder::runEnded(RunOutcome outcome, const std::string& status, const Fault* fault, double at) {
  RunRecordBuilder::runEnded(outcome, status, fault, at);
  store(setting(record().com));
}

RunSetting UpdateRecorder::setting(int com) const {
  RunSetting s;
  s.end = QDateTime::currentDateTime();
  s.start = start_.isValid() ? start_ : s.end;
  s.toolName = setup_.toolName;
  s.toolVersion = toolVersion();
  s.host = QSysInfo::machineHostName();
  s.user = userName();
  s.folder = folder_;
  if (setup_.portDetails) s.port = setup_.portDetails(com);
  return s;
}

void UpdateRecorder::store(const RunSetting& setting) {
  const QByteArray line = QJsonDocument(recordJson(record(), setting)).toJson(QJsonDocument::Compact);
  const QString why = appendLine(setup_.logPath, line);
  if (why.isEmpty()) return;
  std::cerr << setup_.toolName.toStdString() << ": the update log "
            << QDir::toNativeSeparators(setup_.logPath).toStdString() << " cannot be written (" << why.toStdString()
            << "); this run is not recorded" << std::endl;
}

}  // namespace torvane
