#include "station/event_writer.h"

#include <QDateTime>
#include <QJsonDocument>

namespace torvane::station {

QByteArray eventLine(const QString& name, QJsonObject fields) {
  fields.insert(QStringLiteral("event"), name);
  fields.insert(QStringLiteral("time"), QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs));
  return QJsonDocument(fields).toJson(QJsonDocument::Compact) + '\n';
}

void EventWriter::writeLater(const QString& name, QJsonObject fields, double now) {
  if (kept_.empty()) heldSince_ = now;
  kept_.push_back({name, eventLine(name, std::move(fields))});
}

void EventWriter::flush() {
  for (const Kept& event : kept_) out_.write(event.line, event.name);
  kept_.clear();
  out_.flush();
}

void EventWriter::write(const QString& name, QJsonObject fields) {
  flush();
  out_.write(eventLine(name, std::move(fields)));
}

}  // namespace torvane::station
