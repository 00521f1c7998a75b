// The recorder of torvane-update: gathers each update run through the core's
// RunRecordBuilder, hashes every entry's bytes with SHA-256 as they are sent,
// and when the run has ended appends its record to the update log as one
// JSON line. A log that cannot be written costs one line on standard error
// and nothing else; the run never notices.
#pragma once

#include <QDateTime>
#include <QString>
#include <functional>

#include "context/run_record.h"
#include "record/record_json.h"

namespace torvane {

struct RecorderSetup {
  QString logPath;
  QString toolName = QStringLiteral("torvane-update");
  // What is known of COM n; unset: its number only.
  std::function<PortDetails(int com)> portDetails;
};

class UpdateRecorder : public RunRecordBuilder {
 public:
  explicit UpdateRecorder(RecorderSetup setup);

  const QString& logPath() const { return setup_.logPath; }

  void runStarted(int com, std::optional<Source> source, const std::string& list, double at) override;
  void runEnded(RunOutcome outcome, const std::string& status, const Fault* fault, double at) override;

 private:
  RunSetting setting(int com) const;
  void store(const RunSetting& setting);

  RecorderSetup setup_;
  QDateTime start_;
  QString folder_;
};

// The version of the tool as the build names it ("1.0.0").
QString toolVersion();

}  // namespace torvane
