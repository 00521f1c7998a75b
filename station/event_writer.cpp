#include "station/event_writer.h"

#include <QJsonDocument>

namespace torvane::station {

namespace {

QByteArray lineOf(const QString& name, QJsonObject fields) {
  fields.insert(QStringLiteral("event"), name);
  return QJsonDocument(fields).toJson(QJsonDocument::Compact) + '\n';
}

}  // namespace

void EventWriter::writeLater(const QString& name, QJsonObject fields, double now) {
  if (pending_.isEmpty()) heldSince_ = now;
  pending_ += lineOf(name, std::move(fields));
}

void EventWriter::flush() {
  if (pending_.isEmpty()) return;
  std::fwrite(pending_.constData(), 1, static_cast<std::size_t>(pending_.size()), out_);
  std::fflush(out_);
  pending_.clear();
}

void EventWriter::write(const QString& name, QJsonObject fields) {
  pending_ += lineOf(name, std::move(fields));
  flush();
}

}  // namespace torvane::station
