#include "record/record_json.h"

#include <cmath>
#include <cstdint>
#include <string_view>

namespace torvane {

namespace {

using nlohmann::json;

// The length of the well-formed UTF-8 character at the start of `s`; 0 when
// none starts there.
std::size_t characterLength(std::string_view s) {
  const auto byte = [s](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // the second byte's range
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // no overlong forms
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
  }
  if (length == 0 || s.size() < length || byte(1) < low || byte(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  }
  return length;
}

// The text as UTF-8: every byte that is not part of a well-formed character
// becomes U+FFFD, one for each such byte (as the log has always stored them).
std::string text(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  while (!bytes.empty()) {
    const std::size_t n = characterLength(bytes);
    out.append(n > 0 ? bytes.substr(0, n) : std::string_view("\xEF\xBF\xBD"));
    bytes.remove_prefix(n > 0 ? n : 1);
  }
  return out;
}

json orNull(const std::string& value) { return value.empty() ? json() : json(text(value)); }

json portJson(const PortDetails& port) {
  json o = json::object();
  if (port.com) o["com"] = *port.com;
  const std::pair<const char*, const std::string*> known[] = {{"device", &port.device},
                                                              {"description", &port.description},
                                                              {"vid_pid", &port.vidPid},
                                                              {"serial", &port.serial}};
  for (const auto& [name, value] : known) {
    if (!value->empty()) o[name] = text(*value);
  }
  return o;
}

json entryJson(const EntryRecord& e) {
  return {
      {"name", text(e.name)},
      {"size", e.size ? json(*e.size) : json()},
      {"sha256", e.size ? json(text(e.sha256)) : json()},
      {"memory_type", e.memoryType},
      {"address", e.address},
      {"frames", e.frames},
      {"resends", e.resends},
      {"sent", e.sent},
  };
}

json verdictsJson(const RunRecord& r) {
  json o = json::object();
  for (std::size_t i = 0; i < kVerdictKinds; ++i) o[verdictName(static_cast<Verdict>(i))] = r.verdicts[i];
  return o;
}

json faultJson(const std::optional<RunFault>& f) {
  if (!f) return json();
  return {{"number", f->number}, {"description", text(f->description)}, {"source", text(f->source)}};
}

// To the millisecond; a whole number of seconds is written without a
// fraction ("5", not "5.0").
json secondsJson(double seconds) {
  const double rounded = std::round(seconds * 1000) / 1000;
  constexpr double kExact = 9007199254740992.0;  // 2^53: every whole number below is a double
  if (rounded == std::trunc(rounded) && std::fabs(rounded) < kExact) return static_cast<int64_t>(rounded);
  return rounded;
}

}  // namespace

json recordJson(const RunRecord& r, const RunSetting& s) {
  json entries = json::array();
  for (const EntryRecord& e : r.entries) entries.push_back(entryJson(e));
  return {
      {"start", text(s.start)},
      {"end", text(s.end)},
      {"seconds", secondsJson(r.seconds)},
      {"tool", {{"name", text(s.toolName)}, {"version", text(s.toolVersion)}}},
      {"host", orNull(s.host)},
      {"user", orNull(s.user)},
      {"folder", text(s.folder)},
      {"source", orNull(r.source)},
      {"list", orNull(r.list)},
      {"port", portJson(s.port)},
      {"entries", entries},
      {"frames", r.frames},
      {"resends", r.resends},
      {"verdicts", verdictsJson(r)},
      {"outcome", outcomeName(r.outcome)},
      {"status", text(r.status)},
      {"fault", faultJson(r.fault)},
  };
}

std::string recordLine(const RunRecord& record, const RunSetting& setting) {
  return compactJson(recordJson(record, setting));
}

std::string compactJson(const json& value) { return value.dump(-1, ' ', false, json::error_handler_t::replace); }

}  // namespace torvane
