#include "record/record_json.h"

#include <QJsonArray>
#include <QJsonValue>
#include <cmath>
#include <cstdlib>

namespace torvane {

namespace {

QString text(const std::string& s) { return QString::fromStdString(s); }

QJsonValue orNull(const QString& value) { return value.isEmpty() ? QJsonValue() : QJsonValue(value); }

QJsonObject portJson(int com, const PortDetails& port) {
  QJsonObject o{{"com", com}};
  const std::pair<const char*, const QString*> known[] = {{"device", &port.device},
                                                          {"description", &port.description},
                                                          {"vid_pid", &port.vidPid},
                                                          {"serial", &port.serial}};
  for (const auto& [name, value] : known) {
    if (!value->isEmpty()) o.insert(QLatin1String(name), *value);
  }
  return o;
}

QJsonObject entryJson(const EntryRecord& e) {
  return QJsonObject{
      {"name", text(e.name)},
      {"size", e.size ? QJsonValue(*e.size) : QJsonValue()},
      {"sha256", e.size ? QJsonValue(text(e.sha256)) : QJsonValue()},
      {"memory_type", e.memoryType},
      {"address", e.address},
      {"frames", e.frames},
      {"resends", e.resends},
      {"sent", e.sent},
  };
}

QJsonObject verdictsJson(const RunRecord& r) {
  QJsonObject o;
  for (std::size_t i = 0; i < kVerdictKinds; ++i) {
    o.insert(QLatin1String(verdictName(static_cast<Verdict>(i))), r.verdicts[i]);
  }
  return o;
}

QJsonValue faultJson(const std::optional<RunFault>& f) {
  if (!f) return QJsonValue();
  return QJsonObject{{"number", f->number}, {"description", text(f->description)}, {"source", text(f->source)}};
}

}  // namespace

QString isoWithOffset(const QDateTime& time) {
  const int offset = time.offsetFromUtc();
  const int minutes = std::abs(offset) / 60;
  return time.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) + (offset < 0 ? u'-' : u'+') +
         QStringLiteral("%1:%2").arg(minutes / 60, 2, 10, QChar(u'0')).arg(minutes % 60, 2, 10, QChar(u'0'));
}

QJsonObject recordJson(const RunRecord& r, const RunSetting& s) {
  QJsonArray entries;
  for (const EntryRecord& e : r.entries) entries.append(entryJson(e));
  return QJsonObject{
      {"start", isoWithOffset(s.start)},
      {"end", isoWithOffset(s.end)},
      {"seconds", std::round(r.seconds * 1000) / 1000},
      {"tool", QJsonObject{{"name", s.toolName}, {"version", s.toolVersion}}},
      {"host", orNull(s.host)},
      {"user", orNull(s.user)},
      {"folder", s.folder},
      {"source", orNull(text(r.source))},
      {"list", orNull(text(r.list))},
      {"port", portJson(r.com, s.port)},
      {"entries", entries},
      {"frames", r.frames},
      {"resends", r.resends},
      {"verdicts", verdictsJson(r)},
      {"outcome", QLatin1String(outcomeName(r.outcome))},
      {"status", text(r.status)},
      {"fault", faultJson(r.fault)},
  };
}

}  // namespace torvane
