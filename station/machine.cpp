#include "station/machine.h"

namespace torvane::station {

void Machine::apply(const QJsonObject& event) {
  const QString name = event.value(QStringLiteral("event")).toString();
  if (name == QStringLiteral("found")) {
    phase = Phase::Running;
  } else if (name == QStringLiteral("absent")) {
    phase = Phase::Absent;
  } else if (name == QStringLiteral("status")) {
    before = status;
    status = event.value(QStringLiteral("text")).toString();
    if (const QJsonObject e = event.value(QStringLiteral("entry")).toObject(); !e.isEmpty()) {
      EntryRecord entry;
      entry.name = e.value(QStringLiteral("name")).toString().toStdString();
      entry.size = e.value(QStringLiteral("size")).toInt();
      entry.memoryType = static_cast<uint8_t>(e.value(QStringLiteral("memory_type")).toInt());
      entry.address = e.value(QStringLiteral("address")).toInt();
      entries.push_back(entry);
    }
  } else if (name == QStringLiteral("progress")) {
    sent = event.value(QStringLiteral("sent")).toInteger();
    total = event.value(QStringLiteral("total")).toInteger();
    progressFrames = event.value(QStringLiteral("frames")).toInt();
    progressSeconds = event.value(QStringLiteral("seconds")).toDouble();
  } else if (name == QStringLiteral("end")) {
    phase = Phase::Ended;
    outcome = event.value(QStringLiteral("outcome")).toString();
    reason = event.value(QStringLiteral("reason")).toString();
    const QString final = event.value(QStringLiteral("status")).toString();
    if (final != status) before = status;
    status = final;
    seconds = event.value(QStringLiteral("seconds")).toDouble();
    frames = event.value(QStringLiteral("frames")).toInt();
    resends = event.value(QStringLiteral("resends")).toInt();
  }
}

void Machine::lost(const QString& why) {
  phase = Phase::Ended;
  outcome = QStringLiteral("failed");
  status = why;
}

QString Machine::endText() const {
  if (!reason.isEmpty()) return foldedLine(status) + QLatin1Char(' ') + reason;
  if (completed() || foldedLine(before).isEmpty()) return foldedLine(status);
  return foldedLine(status) + QStringLiteral(" (after: ") + foldedLine(before) + QLatin1Char(')');
}

QString foldedLine(const QString& text) {
  QString line = text;
  line.replace(QStringLiteral("\r\n"), QStringLiteral(" / "));
  line.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
  return line.trimmed();
}

}  // namespace torvane::station
