// What the supervisor knows of one machine, from its worker's events.
#pragma once

#include <QJsonObject>
#include <QString>
#include <vector>

#include "context/run_record.h"

#include "station/station_options.h"

namespace torvane::station {

struct Machine {
  enum class Phase { Listening, Running, Ended, Absent };

  PortTarget port;
  Phase phase = Phase::Running;
  QString status;  // the latest status text
  QString before;  // the status text before it: what a failure followed
  qint64 sent = 0;
  qint64 total = 0;
  int progressFrames = 0;      // data frames accepted
  double progressSeconds = 0;  // since its transfer began
  QString outcome;             // "complete", "early_end", "failed", "closed"
  QString reason;              // why a refused or unanswered frame ended it
  double seconds = 0;
  int frames = 0;
  int resends = 0;
  // What its worker told of the run so far: the entries it began, in order.
  std::vector<EntryRecord> entries;

  bool completed() const { return phase == Phase::Ended && outcome == QStringLiteral("complete"); }
  // Takes in one event of its worker.
  void apply(const QJsonObject& event);
  // The final status, with what it followed when the run did not complete.
  QString endText() const;
  // The worker ended without telling how the run ended.
  void lost(const QString& why);
};

// A status text folded onto one line: CR LF as " / ", no surrounding blanks.
QString foldedLine(const QString& text);

}  // namespace torvane::station
