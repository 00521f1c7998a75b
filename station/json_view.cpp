#include "station/json_view.h"

#include <QJsonDocument>

namespace torvane::station {

void JsonView::event(const Machine& machine, const QJsonObject& event) {
  const QString name = event.value(QStringLiteral("event")).toString();
  if (quiet_ && name != QStringLiteral("found") && name != QStringLiteral("end")) return;
  QJsonObject line = event;
  line.insert(QStringLiteral("port"), machine.port.label);
  line.insert(QStringLiteral("device"), machine.port.device);
  const bool latestWins = name == QStringLiteral("status") || name == QStringLiteral("progress");
  out_.write(QJsonDocument(line).toJson(QJsonDocument::Compact) + '\n',
             latestWins ? machine.port.label + u'/' + name : QString());
}

}  // namespace torvane::station
