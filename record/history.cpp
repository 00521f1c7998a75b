#include "record/history.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QStringList>
#include <algorithm>
#include <iterator>

namespace torvane {

bool readRecords(const QString& path, std::vector<StoredRecord>& records, QString& error) {
  QFile file(path);
  if (!file.exists()) return true;
  if (!file.open(QIODevice::ReadOnly)) {
    error = file.errorString();
    return false;
  }
  for (const QByteArray& raw : file.readAll().split('\n')) {
    const QByteArray line = raw.endsWith('\r') ? raw.chopped(1) : raw;
    const QJsonDocument doc = QJsonDocument::fromJson(line);
    if (doc.isObject()) records.push_back({line, doc.object()});
  }
  return true;
}

namespace {

// "code.bin 1a2b3c4d5e6f", "b.bin (missing)", "c.bin 0f1e2d3c4b5a (not sent)".
QString imageCell(const QJsonObject& entry) {
  QString cell = entry.value(QLatin1String("name")).toString();
  const QJsonValue sha = entry.value(QLatin1String("sha256"));
  if (!sha.isString()) return cell + QStringLiteral(" (missing)");
  cell += u' ' + sha.toString().left(12);
  if (!entry.value(QLatin1String("sent")).toBool()) cell += QStringLiteral(" (not sent)");
  return cell;
}

QString portCell(const QJsonObject& record) {
  const QJsonValue com = record.value(QLatin1String("port")).toObject().value(QLatin1String("com"));
  return com.isDouble() ? QStringLiteral("COM%1").arg(com.toInt()) : QStringLiteral("-");
}

struct Column {
  int width;
  bool right;
};
// End, outcome, source, port, frames, resends; the images follow unpadded.
constexpr Column kColumns[] = {{25, false}, {9, false}, {8, false}, {5, false}, {6, true}, {7, true}};

QString tableRow(const QStringList& cells) {
  QString row;
  for (qsizetype i = 0; i < cells.size(); ++i) {
    if (i >= qsizetype(std::size(kColumns))) {
      row += cells[i];
      break;
    }
    const Column c = kColumns[i];
    row += (c.right ? cells[i].rightJustified(c.width) : cells[i].leftJustified(c.width)) + QStringLiteral("  ");
  }
  while (row.endsWith(u' ')) row.chop(1);
  return row;
}

QString recordRow(const QJsonObject& r) {
  QStringList images;
  for (const QJsonValue& e : r.value(QLatin1String("entries")).toArray()) images << imageCell(e.toObject());
  const auto field = [&](const char* name) { return r.value(QLatin1String(name)).toVariant().toString(); };
  return tableRow({field("end"), field("outcome"), field("source"), portCell(r), field("frames"), field("resends"),
                   images.join(QStringLiteral(", "))});
}

}  // namespace

int printHistory(const QString& path, int count, bool asJson, std::ostream& out, std::ostream& err) {
  std::vector<StoredRecord> records;
  QString error;
  if (!readRecords(path, records, error)) {
    err << "the update log " << path.toStdString() << " cannot be read: " << error.toStdString() << '\n';
    return 1;
  }
  const auto first = records.end() - std::min<std::ptrdiff_t>(std::max(count, 0), std::ssize(records));
  if (!asJson && first == records.end()) out << "No update runs recorded in " << path.toStdString() << '\n';
  if (!asJson && first != records.end()) {
    out << tableRow({"End", "Outcome", "Source", "Port", "Frames", "Resends", "Images"}).toStdString() << '\n';
  }
  for (auto it = first; it != records.end(); ++it) {
    out << (asJson ? it->line.toStdString() : recordRow(it->record).toStdString()) << '\n';
  }
  return 0;
}

}  // namespace torvane
