#include "sim/sim_report.h"

#include <algorithm>
#include <cstdio>

#include <nlohmann/json.hpp>

#include "record/sha256.h"

namespace torvane::sim {
namespace {

// Keeps the member order in which the report is written.
using Json = nlohmann::ordered_json;

// The report's strings carry bytes as they came, not text: byte 0xNN becomes
// the character U+00NN (Latin-1 read as Unicode), so every byte is valid and
// the writer puts it out as \u00NN unless it is printable ASCII.
std::string asText(const std::string& bytes) {
  std::string utf8;
  for (char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x80) {
      utf8 += c;
    } else {
      utf8 += static_cast<char>(0xC0 | (b >> 6));
      utf8 += static_cast<char>(0x80 | (b & 0x3F));
    }
  }
  return utf8;
}

}  // namespace

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

std::string jsonString(const std::string& bytes) { return Json(asText(bytes)).dump(-1, ' ', true); }

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
  if (report.unplugs > 0) text += ", unplugged";
  text += images.endReceived() ? ", end frame received" : ", no end frame";
  outcome.summary = text + (outcome.ok ? ", OK" : ", INCOMPLETE");
  return outcome;
}

namespace {

Json orNull(int64_t value) { return value >= 0 ? Json(value) : Json(nullptr); }

Json frameJson(const FrameRecord& f) {
  return {{"session", f.session},
          {"number", f.number},
          {"attempt", f.attempt},
          {"kind", frameKindName(f.kind)},
          {"length", f.length},
          {"crc_ok", f.crcOk},
          {"verdict", asText(f.verdict)},
          {"first_us", f.firstUs},
          {"last_us", f.lastUs},
          {"verdict_us", orNull(f.verdictUs)},
          {"host_turnaround_us", orNull(f.hostTurnaroundUs)},
          {"note", asText(f.note)}};
}

Json imageJson(std::size_t index, const Image& image) {
  char address[16];
  std::snprintf(address, sizeof address, "0x%08X", image.address);
  return {{"index", index},
          {"session", image.session},
          {"memory_type", int{image.memoryType}},
          {"address", image.address},
          {"address_hex", address},
          {"size", image.size},
          {"received", image.bytes.size()},
          {"complete", image.complete()},
          {"sha256", sha256Hex(image.bytes)}};
}

}  // namespace

void writeJson(std::ostream& out, const SimReport& r, const ImageRebuilder& images, const Outcome& outcome) {
  Json received = Json::array(), sent = Json::array(), frames = Json::array(), imageList = Json::array();
  Json errors = Json::array();
  for (const ReceivedRecord& x : r.received) {
    received.push_back({{"t_us", x.timeUs},
                        {"speed", x.speed},
                        {"length", x.length},
                        {"hex", hexOf(x.bytes)},
                        {"text", asText(x.bytes)},
                        {"note", asText(x.note)}});
  }
  for (const SentRecord& x : r.sent) {
    sent.push_back({{"t_us", x.timeUs}, {"what", asText(x.what)}, {"hex", hexOf(x.bytes)}, {"text", asText(x.bytes)}});
  }
  for (const FrameRecord& f : r.frames) frames.push_back(frameJson(f));
  for (std::size_t i = 0; i < images.images().size(); ++i) imageList.push_back(imageJson(i + 1, images.images()[i]));
  for (const std::string& e : r.errors) errors.push_back(asText(e));
  for (const std::string& e : images.errors()) errors.push_back(asText(e));
  Json verdicts = Json::object();
  for (const auto& [name, count] : r.verdicts) verdicts[asText(name)] = count;

  const Json doc = {{"slave", asText(r.slavePath)},
                    {"model", asText(r.model)},
                    {"monotonic_start_us", r.monotonicStartUs},
                    {"speed_notifications", r.speedNotifications},
                    {"sessions", r.sessions},
                    {"announcements", r.announcements},
                    {"received", std::move(received)},
                    {"received_dropped", r.receivedDropped},
                    {"sent", std::move(sent)},
                    {"frames", std::move(frames)},
                    {"images", std::move(imageList)},
                    {"errors", std::move(errors)},
                    {"verdicts", std::move(verdicts)},
                    {"end_frame", images.endReceived()},
                    {"hung_up", r.hungUp},
                    {"unplugged", r.unplugs},
                    {"exit_reason", asText(r.exitReason)},
                    {"result", outcome.ok ? "OK" : "INCOMPLETE"},
                    {"summary", asText(outcome.summary)}};
  // Every string went through asText(), so the text is valid UTF-8; replace
  // is only a guard against a field added without it.
  out << doc.dump(2, ' ', true, Json::error_handler_t::replace) << '\n';
}

}  // namespace torvane::sim
