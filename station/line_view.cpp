#include "station/line_view.h"

#include "station/machine_text.h"

namespace torvane::station {

void LineView::event(const Machine& machine, const QJsonObject& event) {
  const QString name = event.value(QStringLiteral("event")).toString();
  const QString text = foldedLine(event.value(QStringLiteral("text")).toString());
  if (name == QStringLiteral("message")) {
    line(machine, QStringLiteral("message: ") + text);  // shown even with --quiet: it may ask for the operator
  } else if (quiet_) {
    return;
  } else if (name == QStringLiteral("found")) {
    line(machine, QStringLiteral("machine found"));
  } else if (name == QStringLiteral("status")) {
    line(machine, text);
  } else if (name == QStringLiteral("progress")) {
    progress(machine);
  } else if (name == QStringLiteral("end")) {
    line(machine, machine.outcome + QStringLiteral(": ") + machine.endText());
  }
}

void LineView::progress(const Machine& machine) {
  if (machine.total <= 0) return;
  const int quarter = static_cast<int>(machine.sent * 4 / machine.total);
  int& shown = quarterShown_[machine.port.label];
  if (machine.sent == 0) shown = 0;
  if (quarter <= shown) return;
  shown = quarter;
  line(machine, QStringLiteral("%1% of %2 bytes").arg(quarter * 25).arg(machine.total),
       machine.port.label + QStringLiteral("/progress"));
}

void LineView::line(const Machine& machine, const QString& text, const QString& key) {
  out_.write((machine.port.label + QStringLiteral(": ") + text + u'\n').toUtf8(), key);
}

void LineView::finish(const std::vector<Machine>& machines) { out_.write(('\n' + summaryTable(machines)).toUtf8()); }

}  // namespace torvane::station
