#include "sim/sim_report.h"

#include <algorithm>
#include <cstdio>

#include "sim/sha256.h"

namespace torvane::sim {

void SimReport::addReceived(int64_t timeUs, int speed, const ByteString& bytes, const std::string& note) {
  if (!received.empty()) {
    ReceivedRecord& last = received.back();
    if (last.speed == speed && last.note == note && timeUs - last.timeUs < 2000) {
      // One burst split across reads.
      last.length += bytes.size();
      last.bytes += bytes.substr(0, kMaxRecordedBytes - std::min(kMaxRecordedBytes, last.bytes.size()));
      return;
    }
  }
  if (received.size() >= kMaxRecords) {
    ++receivedDropped;
    return;
  }
  received.push_back({timeUs, speed, bytes.substr(0, kMaxRecordedBytes), bytes.size(), note});
}

std::string jsonString(const std::string& bytes) {
  std::string out = "\"";
  for (char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if (b < 0x20 || b >= 0x7F) {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\u%04x", b);
      out += esc;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string hexOf(const ByteString& bytes) {
  static const char* digits = "0123456789abcdef";
  std::string text;
  for (char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    text += digits[b >> 4];
    text += digits[b & 15];
  }
  return text;
}

Outcome summarize(const SimReport& report, const ImageRebuilder& images) {
  std::size_t bytes = 0;
  bool allComplete = true;
  for (const Image& image : images.images()) {
    bytes += image.bytes.size();
    allComplete = allComplete && image.complete();
  }
  const std::size_t errors = report.errors.size() + images.errors().size();
  Outcome outcome;
  outcome.ok = images.endReceived() && allComplete && errors == 0 && !report.hungUp;
  std::string text = "sim: " + std::to_string(images.images().size()) + " images, " + std::to_string(bytes) +
                     " bytes, " + std::to_string(report.frames.size()) + " frames";
  for (const char* name : {"NAK", "STX", "ETX", "CAN"}) {
    const auto it = report.verdicts.find(name);
    const int count = it == report.verdicts.end() ? 0 : it->second;
    if (count > 0 || std::string(name) == "NAK") text += ", " + std::to_string(count) + " " + name;
  }
  if (errors > 0) text += ", " + std::to_string(errors) + (errors == 1 ? " error" : " errors");
  if (report.hungUp) text += ", hung up";
  text += images.endReceived() ? ", end frame received" : ", no end frame";
  outcome.summary = text + (outcome.ok ? ", OK" : ", INCOMPLETE");
  return outcome;
}

namespace {

void writeFrame(std::ostream& out, const FrameRecord& f) {
  out << "{\"session\": " << f.session << ", \"number\": " << f.number << ", \"attempt\": " << f.attempt
      << ", \"kind\": \"" << frameKindName(f.kind) << "\", \"length\": " << f.length
      << ", \"crc_ok\": " << (f.crcOk ? "true" : "false") << ", \"verdict\": \"" << f.verdict
      << "\", \"first_us\": " << f.firstUs << ", \"last_us\": " << f.lastUs << ", \"verdict_us\": ";
  if (f.verdictUs >= 0) {
    out << f.verdictUs;
  } else {
    out << "null";
  }
  out << ", \"host_turnaround_us\": ";
  if (f.hostTurnaroundUs >= 0) {
    out << f.hostTurnaroundUs;
  } else {
    out << "null";
  }
  out << ", \"note\": " << jsonString(f.note) << "}";
}

void writeImage(std::ostream& out, std::size_t index, const Image& image) {
  char address[16];
  std::snprintf(address, sizeof address, "0x%08X", image.address);
  out << "{\"index\": " << index << ", \"session\": " << image.session
      << ", \"memory_type\": " << int{image.memoryType} << ", \"address\": " << image.address
      << ", \"address_hex\": \"" << address << "\", \"size\": " << image.size
      << ", \"received\": " << image.bytes.size() << ", \"complete\": " << (image.complete() ? "true" : "false")
      << ", \"sha256\": \"" << sha256Hex(image.bytes) << "\"}";
}

template <typename T, typename F>
void writeList(std::ostream& out, const char* key, const std::vector<T>& items, F writeItem) {
  out << "  \"" << key << "\": [";
  for (std::size_t i = 0; i < items.size(); ++i) {
    out << (i == 0 ? "\n    " : ",\n    ");
    writeItem(i, items[i]);
  }
  out << (items.empty() ? "],\n" : "\n  ],\n");
}

}  // namespace

void writeJson(std::ostream& out, const SimReport& r, const ImageRebuilder& images, const Outcome& outcome) {
  out << "{\n";
  out << "  \"slave\": " << jsonString(r.slavePath) << ",\n";
  out << "  \"model\": " << jsonString(r.model) << ",\n";
  out << "  \"speed_notifications\": " << (r.speedNotifications ? "true" : "false") << ",\n";
  out << "  \"sessions\": " << r.sessions << ",\n";
  out << "  \"announcements\": " << r.announcements << ",\n";
  writeList(out, "received", r.received, [&](std::size_t, const ReceivedRecord& x) {
    out << "{\"t_us\": " << x.timeUs << ", \"speed\": " << x.speed << ", \"length\": " << x.length
        << ", \"hex\": \"" << hexOf(x.bytes) << "\", \"text\": " << jsonString(x.bytes)
        << ", \"note\": " << jsonString(x.note) << "}";
  });
  out << "  \"received_dropped\": " << r.receivedDropped << ",\n";
  writeList(out, "sent", r.sent, [&](std::size_t, const SentRecord& x) {
    out << "{\"t_us\": " << x.timeUs << ", \"what\": " << jsonString(x.what) << ", \"hex\": \"" << hexOf(x.bytes)
        << "\", \"text\": " << jsonString(x.bytes) << "}";
  });
  writeList(out, "frames", r.frames, [&](std::size_t, const FrameRecord& f) { writeFrame(out, f); });
  writeList(out, "images", images.images(),
            [&](std::size_t i, const Image& image) { writeImage(out, i + 1, image); });
  std::vector<std::string> errors = r.errors;
  errors.insert(errors.end(), images.errors().begin(), images.errors().end());
  writeList(out, "errors", errors, [&](std::size_t, const std::string& e) { out << jsonString(e); });
  out << "  \"verdicts\": {";
  bool first = true;
  for (const auto& [name, count] : r.verdicts) {
    out << (first ? "" : ", ") << "\"" << name << "\": " << count;
    first = false;
  }
  out << "},\n";
  out << "  \"end_frame\": " << (images.endReceived() ? "true" : "false") << ",\n";
  out << "  \"hung_up\": " << (r.hungUp ? "true" : "false") << ",\n";
  out << "  \"exit_reason\": " << jsonString(r.exitReason) << ",\n";
  out << "  \"result\": \"" << (outcome.ok ? "OK" : "INCOMPLETE") << "\",\n";
  out << "  \"summary\": " << jsonString(outcome.summary) << "\n";
  out << "}\n";
}

}  // namespace torvane::sim
