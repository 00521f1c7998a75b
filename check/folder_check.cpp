#include "check/folder_check.h"

#include <algorithm>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "context/sources.h"
#include "encoding/encoders.h"
#include "link/frames.h"
#include "link/transmit.h"
#include "record/sha256.h"

namespace torvane::check {

namespace {

namespace fs = std::filesystem;

constexpr double kBitsPerByte = 10;  // 8N1
constexpr double kBaud = 38400;

Problem error(std::string text) { return {true, std::move(text)}; }
Problem warning(std::string text) { return {false, std::move(text)}; }

std::string lineOf(const PlannedImage& image) { return "line " + std::to_string(image.line); }

// The bytes one frame exchange puts on the line: the frame and its verdict.
long lineBytes(const PlannedImage& image) {
  return static_cast<long>(kAddressFrameLength + 1) +
         dataFrameCount(image.size) * static_cast<long>(kDataFrameLength + 1);
}

std::string memoryName(uint8_t type) {
  switch (type) {
    case kMemoryCode: return "Code";
    case kMemoryMmc: return "MMC";
    case kMemoryDsdFlash: return "DSD Flash";
    default: return "type " + std::to_string(type);
  }
}

std::string shortDigest(const std::string& digest) { return digest.substr(0, 12) + "..."; }

// A name from a list with its control characters shown as '?'.
std::string printableName(std::string name) {
  for (char& c : name) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  }
  return name;
}

void checkImage(ImageReport& r, const fs::path& folder, const std::optional<Sha256Sums>& sums) {
  const PlannedImage& p = r.planned;
  const std::string name = quotedForFault(p.entry.name);
  if (p.missing) {
    r.problems.push_back(error(name + " does not exist: an update ends here"));
    return;
  }
  if (p.fileFault) {
    r.problems.push_back(error(p.fileFault->description()));
    return;
  }
  if (p.addressFault) r.problems.push_back(error(p.addressFault->description()));
  if (p.size == 0) r.problems.push_back(error(name + " is empty"));
  if (p.entry.memoryType < kMemoryCode || p.entry.memoryType > kMemoryDsdFlash) {
    r.problems.push_back(warning("memory type " + std::to_string(p.entry.memoryType) +
                                 " is none of 1 (Code), 2 (MMC), 3 (DSD Flash): it is sent as it is"));
  }
  r.sha256 = fileSha256(folder / p.entry.name);
  if (r.sha256.empty()) r.problems.push_back(error(name + " cannot be read"));
  if (!sums) return;
  r.expected = sums->digestOf(p.entry.name);
  if (!r.expected) {
    r.problems.push_back(error(name + " is not listed in SHA256SUMS"));
  } else if (!r.sha256.empty() && *r.expected != r.sha256) {
    r.problems.push_back(error(name + " does not match SHA256SUMS: its SHA-256 is " + shortDigest(r.sha256) +
                               ", SHA256SUMS lists " + shortDigest(*r.expected)));
  }
}

// Two images of one memory type whose bytes on the machine (the last block
// padded to 512) share an address.
void checkOverlaps(ListReport& list) {
  for (std::size_t i = 0; i < list.images.size(); ++i) {
    const PlannedImage& a = list.images[i].planned;
    if (!a.sendable() || a.size == 0) continue;
    for (std::size_t j = i + 1; j < list.images.size(); ++j) {
      const PlannedImage& b = list.images[j].planned;
      if (!b.sendable() || b.size == 0 || a.entry.memoryType != b.entry.memoryType) continue;
      const int64_t aEnd = int64_t{a.entry.address} + dataFrameCount(a.size) * int64_t{kBlockSize};
      const int64_t bEnd = int64_t{b.entry.address} + dataFrameCount(b.size) * int64_t{kBlockSize};
      if (a.entry.address < bEnd && b.entry.address < aEnd) {
        list.images[j].problems.push_back(
            warning(memoryName(b.entry.memoryType) + " " + hexNumber(static_cast<uint64_t>(b.entry.address), 4) + ".." +
                    hexNumber(static_cast<uint64_t>(bEnd - 1), 4) + " overlaps " + quotedForFault(a.entry.name) + " (" +
                    lineOf(a) + ", " + hexNumber(static_cast<uint64_t>(a.entry.address), 4) + ".." +
                    hexNumber(static_cast<uint64_t>(aEnd - 1), 4) + ")"));
      }
    }
  }
}

ListReport checkList(const fs::path& folder, const std::string& listName, const std::optional<Sha256Sums>& sums) {
  const TransferPlan plan = planTransfer(folder, listName);
  ListReport list;
  list.list = listName;
  for (const PlannedImage& image : plan.images) {
    ImageReport r;
    r.planned = image;
    checkImage(r, folder, sums);
    if (image.sendable()) {
      list.bytes += image.size;
      list.seconds += static_cast<double>(lineBytes(image)) * kBitsPerByte / kBaud;
    }
    list.images.push_back(std::move(r));
  }
  checkOverlaps(list);
  list.frames = plan.framesToSend();
  if (!plan.listFault) list.seconds += (kEndFrameLength + 1) * kBitsPerByte / kBaud;
  if (plan.listFault) list.problems.push_back(error(plan.listFault->description()));
  if (list.frames > kMaxFramesPerRun) {
    list.problems.push_back(error(std::string(kTooManyFramesText) + "; this list needs " + std::to_string(list.frames) +
                                  ": an update would send none"));
  }
  return list;
}

int count(const FolderReport& report, bool errors) {
  const auto counted = [errors](const std::vector<Problem>& problems) {
    return static_cast<int>(
        std::count_if(problems.begin(), problems.end(), [errors](const Problem& p) { return p.error == errors; }));
  };
  int n = counted(report.problems);
  for (const ListReport& list : report.lists) {
    n += counted(list.problems);
    for (const ImageReport& image : list.images) n += counted(image.problems);
  }
  return n;
}

std::string seconds(double s) {
  std::ostringstream text;
  text.setf(std::ios::fixed);
  text.precision(s < 10 ? 1 : 0);
  text << s << " s";
  return text.str();
}

std::string padded(std::string text, std::size_t width, bool right = false) {
  if (text.size() >= width) return text;
  return right ? std::string(width - text.size(), ' ') + text : text + std::string(width - text.size(), ' ');
}

void printProblems(std::ostringstream& out, const std::vector<Problem>& problems, const std::string& where) {
  for (const Problem& p : problems) out << "  " << (p.error ? "error: " : "warning: ") << where << p.text << '\n';
}

nlohmann::json problemsJson(const std::vector<Problem>& problems) {
  nlohmann::json list = nlohmann::json::array();
  for (const Problem& p : problems) list.push_back({{"severity", p.error ? "error" : "warning"}, {"text", p.text}});
  return list;
}

}  // namespace

int FolderReport::errors() const { return count(*this, true); }
int FolderReport::warnings() const { return count(*this, false); }

std::string fileSha256(const fs::path& file) {
  std::error_code ec;
  if (!fs::is_regular_file(file, ec)) return {};
  std::ifstream in(file, std::ios::binary);
  if (!in.is_open()) return {};
  Sha256 hash;
  std::string block(64 * 1024, '\0');
  while (in.read(block.data(), static_cast<std::streamsize>(block.size())) || in.gcount() > 0) {
    hash.update(block.data(), static_cast<std::size_t>(in.gcount()));
  }
  return in.bad() ? std::string() : hexText(hash.finish());
}

FolderReport checkFolder(const fs::path& folder, const std::optional<std::string>& onlyList) {
  FolderReport report;
  report.folder = folder;
  report.sums = readSha256Sums(folder);
  if (report.sums) {
    for (const std::string& text : report.sums->problems) report.problems.push_back(error(text));
  }
  std::error_code ec;
  for (const SourceInfo& source : kSources) {
    const bool wanted = onlyList ? *onlyList == source.listFile : fs::exists(folder / source.listFile, ec);
    if (wanted) report.lists.push_back(checkList(folder, source.listFile, report.sums));
  }
  if (report.lists.empty()) {
    report.problems.push_back(
        error("no transfer list (program.txt, all.txt, ERestore.txt, lorebank.txt) in the folder"));
  }
  return report;
}

std::string reportText(const FolderReport& report) {
  std::ostringstream out;
  out << "Folder " << report.folder.string() << ": ";
  if (report.sums) {
    out << "SHA256SUMS lists " << report.sums->digests.size() << " image"
        << (report.sums->digests.size() == 1 ? "" : "s");
  } else {
    out << "no SHA256SUMS (sizes only; write one with: sha256sum *.bin > SHA256SUMS)";
  }
  out << '\n';
  printProblems(out, report.problems, "");
  for (const ListReport& list : report.lists) {
    out << '\n' << list.list << '\n';
    if (!list.images.empty()) {
      out << "  line  image                 type          address       bytes  frames  sha256\n";
    }
    for (const ImageReport& image : list.images) {
      const PlannedImage& p = image.planned;
      const bool sized = !p.missing && !p.fileFault;
      out << "  " << padded(std::to_string(p.line), 4) << "  " << padded(printableName(p.entry.name), 20) << "  "
          << padded(std::to_string(p.entry.memoryType) + " " + memoryName(p.entry.memoryType), 12) << "  "
          << padded(hexNumber(static_cast<uint32_t>(p.entry.address), 4), 10) << "  "
          << padded(sized ? std::to_string(p.size) : "-", 10, true) << "  "
          << padded(sized ? std::to_string(p.frames()) : "-", 6, true) << "  "
          << (image.sha256.empty() ? "-" : image.sha256) << '\n';
    }
    out << "  total " << list.bytes << " bytes, " << list.frames << " frames, " << seconds(list.seconds)
        << " on the line at 38400 baud\n";
    for (const ImageReport& image : list.images) printProblems(out, image.problems, lineOf(image.planned) + ": ");
    printProblems(out, list.problems, "");
  }
  const int errors = report.errors();
  const int warnings = report.warnings();
  out << '\n'
      << (errors == 0 ? "Nothing would fail"
                      : std::to_string(errors) + " error" + (errors == 1 ? "" : "s") +
                            ": an update from this folder would fail or send what was not meant")
      << (warnings == 0 ? "" : " (" + std::to_string(warnings) + " warning" + (warnings == 1 ? ")" : "s)")) << ".\n";
  return out.str();
}

std::string reportJson(const FolderReport& report) {
  nlohmann::json lists = nlohmann::json::array();
  for (const ListReport& list : report.lists) {
    nlohmann::json images = nlohmann::json::array();
    for (const ImageReport& image : list.images) {
      const PlannedImage& p = image.planned;
      const bool sized = !p.missing && !p.fileFault;
      images.push_back({{"line", p.line},
                        {"name", p.entry.name},
                        {"memory_type", p.entry.memoryType},
                        {"address", p.entry.address},
                        {"size", sized ? nlohmann::json(p.size) : nlohmann::json()},
                        {"frames", sized ? nlohmann::json(p.frames()) : nlohmann::json()},
                        {"sha256", image.sha256.empty() ? nlohmann::json() : nlohmann::json(image.sha256)},
                        {"expected_sha256", image.expected ? nlohmann::json(*image.expected) : nlohmann::json()},
                        {"problems", problemsJson(image.problems)}});
    }
    lists.push_back({{"list", list.list},
                     {"images", images},
                     {"bytes", list.bytes},
                     {"frames", list.frames},
                     {"seconds", list.seconds},
                     {"problems", problemsJson(list.problems)}});
  }
  const nlohmann::json doc = {
      {"folder", report.folder.string()},
      {"sha256sums", report.sums ? nlohmann::json(report.sums->digests.size()) : nlohmann::json()},
      {"problems", problemsJson(report.problems)},
      {"lists", lists},
      {"errors", report.errors()},
      {"warnings", report.warnings()}};
  return doc.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + '\n';
}

std::optional<Fault> verifyAgainstSums(const fs::path& folder, const std::string& listName) {
  const std::optional<Sha256Sums> sums = readSha256Sums(folder);
  if (!sums) return std::nullopt;
  const auto refused = [](const std::string& why) {
    return Fault(fault::kUpdateRefused, why + "; nothing was sent to the machine", kSumsFileName);
  };
  if (!sums->problems.empty()) return refused(sums->problems.front());
  for (const PlannedImage& image : planTransfer(folder, listName).images) {
    if (!image.sendable()) continue;  // the run itself ends or fails there, as without SHA256SUMS
    const std::string name = quotedForFault(image.entry.name);
    const std::optional<std::string> expected = sums->digestOf(image.entry.name);
    if (!expected) return refused(name + " is not listed in SHA256SUMS");
    const std::string actual = fileSha256(folder / image.entry.name);
    if (actual != *expected) {
      return refused(name + " does not match SHA256SUMS (SHA-256 " + shortDigest(actual) + ", listed " +
                     shortDigest(*expected) + ")");
    }
  }
  return std::nullopt;
}

}  // namespace torvane::check
