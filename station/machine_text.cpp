#include "station/machine_text.h"

#include <algorithm>
#include <cmath>

#include <QStringList>

#include "form/transfer_progress.h"

namespace torvane::station {

namespace {

constexpr int kBarWidth = 20;

QString bar(const Machine& m) {
  const double part = m.total > 0 ? static_cast<double>(m.sent) / static_cast<double>(m.total) : 0.0;
  const int filled = std::clamp(static_cast<int>(part * kBarWidth), 0, kBarWidth);
  return QStringLiteral("[") + QString(filled, QLatin1Char('#')) + QString(kBarWidth - filled, QLatin1Char('-')) +
         QStringLiteral("]");
}

QString progressPart(const Machine& m) {
  if (m.phase == Machine::Phase::Listening) return QStringLiteral("listening for the machine");
  const std::string percent = m.total > 0 ? form::percentText(m.sent, m.total) : "0%";  // before any progress
  QString text = bar(m) + QStringLiteral(" ") + QString::fromStdString(percent).rightJustified(4);
  if (m.progressSeconds > 0 && m.sent > 0) {
    text += QStringLiteral("  ") + rateText(static_cast<double>(m.sent) / m.progressSeconds);
  }
  const std::string left = form::timeLeftEstimate(m.sent, m.total, m.progressSeconds, m.progressFrames);
  if (!left.empty()) text += QStringLiteral("  ") + QString::fromStdString(left);
  return text;
}

}  // namespace

QString rateText(double bytesPerSecond) {
  if (bytesPerSecond < 1000) return QStringLiteral("%1 B/s").arg(std::lround(bytesPerSecond));
  return QStringLiteral("%1 kB/s").arg(bytesPerSecond / 1000, 0, 'f', 1);
}

QString liveLine(const Machine& m, int labelWidth, int width) {
  QString line = m.port.label.leftJustified(labelWidth) + QStringLiteral("  ") + progressPart(m) +
                 QStringLiteral("  ") + foldedLine(m.status);
  if (width > 0 && line.size() > width) line.truncate(width);
  return line;
}

int labelWidth(const std::vector<Machine>& machines) {
  int width = 4;
  for (const Machine& m : machines) width = std::max(width, static_cast<int>(m.port.label.size()));
  return width;
}

QString nothingFoundText(const std::vector<Machine>& machines) {
  if (machines.empty()) {
    return QStringLiteral("No serial port to scan: no device stands behind COM1 to COM9 (see torvane-update --ports).");
  }
  QStringList ports;
  for (const Machine& m : machines) {
    ports << (m.port.label == m.port.device ? m.port.label
                                            : m.port.label + QStringLiteral(" (") + m.port.device + u')');
  }
  return QStringLiteral(
             "No machine announced itself within 2 s on %1. Check that it is connected, switched on and "
             "idle, or name its port with --port.")
      .arg(ports.join(QStringLiteral(", ")));
}

QString summaryTable(const std::vector<Machine>& machines) {
  if (std::all_of(machines.begin(), machines.end(),
                  [](const Machine& m) { return m.phase == Machine::Phase::Absent; })) {
    return nothingFoundText(machines) + u'\n';
  }
  const int w = labelWidth(machines);
  QString table = QStringLiteral("port").leftJustified(w) +
                  QStringLiteral("  outcome    time      frames  resends  final status\n");
  for (const Machine& m : machines) {
    if (m.phase == Machine::Phase::Absent) continue;
    table += m.port.label.leftJustified(w) + QStringLiteral("  ") + m.outcome.leftJustified(9) + QStringLiteral("  ") +
             QStringLiteral("%1 s").arg(m.seconds, 0, 'f', 2).leftJustified(8) + QStringLiteral("  ") +
             QString::number(m.frames).leftJustified(6) + QStringLiteral("  ") +
             QString::number(m.resends).leftJustified(7) + QStringLiteral("  ") + m.endText() + QLatin1Char('\n');
  }
  return table;
}

}  // namespace torvane::station
