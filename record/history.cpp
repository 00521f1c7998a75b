#include "record/history.h"

#include <algorithm>
#include <array>
#include <vector>

#include "record/host.h"
#include "record/log_file.h"
#include "record/record_json.h"

namespace torvane {

using nlohmann::json;

namespace {

bool isControl(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }

// Keeps the line if it holds a JSON object, dropping the oldest beyond `count`.
void keep(std::string line, std::size_t count, std::deque<StoredRecord>& records) {
  if (count == 0) return;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  json record = json::parse(line, nullptr, false);
  if (!record.is_object()) return;
  records.push_back({std::move(line), std::move(record)});
  if (records.size() > count) records.pop_front();
}

}  // namespace

std::string readRecords(const std::filesystem::path& log, std::size_t count, std::deque<StoredRecord>& records) {
  LogFile file(log, LogFile::Use::Read);
  if (!file.isOpen()) return file.error();
  std::vector<char> buffer(64 * 1024);
  std::string line;
  bool tooLong = false;  // the line under way is skipped
  uint64_t left = file.size();
  while (left > 0) {
    const std::size_t n = file.read(buffer.data(), static_cast<std::size_t>(std::min<uint64_t>(buffer.size(), left)));
    if (n == 0) break;
    left -= n;
    for (auto at = buffer.begin(), end = buffer.begin() + static_cast<std::ptrdiff_t>(n); at != end;) {
      const auto lineEnd = std::find(at, end, '\n');
      tooLong = tooLong || line.size() + static_cast<std::size_t>(lineEnd - at) > kLongestRecordLine;
      if (!tooLong) line.append(at, lineEnd);
      if (lineEnd == end) break;
      if (!tooLong) keep(std::move(line), count, records);
      line.clear();
      tooLong = false;
      at = lineEnd + 1;
    }
  }
  if (!file.error().empty()) return file.error();
  if (!tooLong && !line.empty()) keep(std::move(line), count, records);
  return {};
}

namespace {

// Text from the log as it may be printed: control characters as \xNN.
std::string printable(const std::string& text) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  for (const char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (isControl(c)) {
      out += {'\\', 'x', kDigits[b >> 4], kDigits[b & 15]};
    } else {
      out += c;
    }
  }
  return out;
}

// A field as a table cell: a text as it is, a number or a truth value as
// written, anything else empty.
std::string cellText(const json& value) {
  if (value.is_string()) return printable(value.get<std::string>());
  if (value.is_number() || value.is_boolean()) return value.dump();
  return {};
}

// The first `count` characters of UTF-8 text.
std::string firstCharacters(const std::string& text, std::size_t count) {
  std::size_t at = 0;
  for (; at < text.size(); ++at) {
    if ((static_cast<unsigned char>(text[at]) & 0xC0) != 0x80 && count-- == 0) break;
  }
  return text.substr(0, at);
}

// The member `name` of an object; null when there is none.
const json& member(const json& object, const char* name) {
  static const json kNone;
  if (!object.is_object()) return kNone;
  const auto it = object.find(name);
  return it == object.end() ? kNone : *it;
}

std::string field(const json& object, const char* name) { return cellText(member(object, name)); }

// "code.bin 1a2b3c4d5e6f", "b.bin (missing)", "c.bin 0f1e2d3c4b5a (not sent)".
std::string imageCell(const json& entry) {
  const json& name = member(entry, "name");
  std::string cell = name.is_string() ? printable(name.get<std::string>()) : "";
  const json& sha = member(entry, "sha256");
  if (!sha.is_string()) return cell + " (missing)";
  cell += ' ' + printable(firstCharacters(sha.get<std::string>(), 12));
  const json& sent = member(entry, "sent");
  if (!sent.is_boolean() || !sent.get<bool>()) cell += " (not sent)";
  return cell;
}

// COMn, else the device the port was named by, else "-".
std::string portCell(const json& record) {
  const json& port = member(record, "port");
  const json& com = member(port, "com");
  if (com.is_number_integer()) return "COM" + com.dump();
  const json& device = member(port, "device");
  return device.is_string() && !device.get<std::string>().empty() ? printable(device.get<std::string>()) : "-";
}

// How wide a cell is on the screen, in UTF-16 code units as the table has
// always counted them.
std::size_t width(const std::string& text) {
  std::size_t n = 0;
  for (const char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if ((b & 0xC0) != 0x80) ++n;
    if (b >= 0xF0) ++n;  // a character beyond U+FFFF: two code units
  }
  return n;
}

struct Column {
  std::size_t width;
  bool right;
};
// End, outcome, source, port, frames, resends; the images follow unpadded.
constexpr std::array<Column, 6> kColumns = {{{25, false}, {9, false}, {8, false}, {5, false}, {6, true}, {7, true}}};

std::string tableRow(const std::vector<std::string>& cells) {
  std::string row;
  for (std::size_t i = 0; i < cells.size(); ++i) {
    if (i >= kColumns.size()) {
      row += cells[i];
      break;
    }
    const std::string padding(kColumns[i].width - std::min(kColumns[i].width, width(cells[i])), ' ');
    row += (kColumns[i].right ? padding + cells[i] : cells[i] + padding) + "  ";
  }
  while (!row.empty() && row.back() == ' ') row.pop_back();
  return row;
}

std::string recordRow(const json& r) {
  std::string images;
  const json& entries = member(r, "entries");
  if (entries.is_array()) {
    for (const json& e : entries) images += (images.empty() ? "" : ", ") + imageCell(e);
  }
  return tableRow({field(r, "end"), field(r, "outcome"), field(r, "source"), portCell(r), field(r, "frames"),
                   field(r, "resends"), images});
}

// The line as stored; a line with control characters (outside its texts,
// or 0x7F in them) as the record's JSON, which escapes them.
std::string jsonLine(const StoredRecord& stored) {
  if (std::none_of(stored.line.begin(), stored.line.end(), isControl)) return stored.line;
  std::string out;
  for (const char c : compactJson(stored.record)) out += c == 0x7F ? std::string("\\u007f") : std::string(1, c);
  return out;
}

}  // namespace

int printHistory(const std::filesystem::path& log, int count, bool asJson, std::ostream& out, std::ostream& err) {
  std::deque<StoredRecord> records;
  if (const std::string why = readRecords(log, static_cast<std::size_t>(std::max(count, 0)), records); !why.empty()) {
    err << "the update log " << pathText(log) << " cannot be read: " << why << '\n';
    return 1;
  }
  if (!asJson && records.empty()) out << "No update runs recorded in " << pathText(log) << '\n';
  if (!asJson && !records.empty()) {
    out << tableRow({"End", "Outcome", "Source", "Port", "Frames", "Resends", "Images"}) << '\n';
  }
  for (const StoredRecord& stored : records) out << (asJson ? jsonLine(stored) : recordRow(stored.record)) << '\n';
  return 0;
}

}  // namespace torvane
