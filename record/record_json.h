// One update run as the JSON object of its line in the update log. The
// field names are those other tools read; see README, "The update log".
#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QString>

#include "context/run_record.h"

namespace torvane {

// What a port is, as far as the caller knows it; empty texts are unknown and
// left out of the record.
struct PortDetails {
  QString device;
  QString description;
  QString vidPid;
  QString serial;
};

// What the record holds beside the core's RunRecord.
struct RunSetting {
  QDateTime start;
  QDateTime end;
  QString toolName;
  QString toolVersion;
  QString host;
  QString user;    // empty: unknown
  QString folder;  // the working folder
  PortDetails port;
};

QJsonObject recordJson(const RunRecord& record, const RunSetting& setting);

// ISO 8601 to the second with the offset from UTC: "2025-03-04T09:15:00+01:00".
QString isoWithOffset(const QDateTime& time);

}  // namespace torvane
