#include "station/event_writer.h"

#include <QJsonDocument>

namespace torvane::station {

void EventWriter::write(const QJsonObject& event) {
  QByteArray line = QJsonDocument(event).toJson(QJsonDocument::Compact);
  line.append('\n');
  std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), out_);
  std::fflush(out_);
}

void EventWriter::write(const QString& name, QJsonObject fields) {
  fields.insert(QStringLiteral("event"), name);
  write(fields);
}

}  // namespace torvane::station
