#include "station/json_view.h"

#include <QJsonDocument>
#include <algorithm>
#include <iostream>

#include "station/machine_text.h"

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

void JsonView::finish(const std::vector<Machine>& machines) {
  const bool nothing =
      std::all_of(machines.begin(), machines.end(), [](const Machine& m) { return m.phase == Machine::Phase::Absent; });
  if (nothing) std::cerr << "torvane-station: " << nothingFoundText(machines).toStdString() << std::endl;
}

}  // namespace torvane::station
