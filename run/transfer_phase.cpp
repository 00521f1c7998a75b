// The transfer phase, step by step:
//
//   1 open the transfer list of the selected source
//   2 for each entry of the list, in order:
//     2.1 parse the line (blank lines are skipped)
//     2.2 a missing image file ends the run early
//     2.3 open the image file, take its size
//     2.4 address frame, then its data frames of 512 bytes, read as they go
//   3 close the list, send the end frame
//
// Every frame must come back with frame result 0 before the next is built.
// The list and the image file are std::ifstream objects, so both are closed
// on every return and every fault.
//
// Progress bar: before step 2 a quiet first pass over the list adds up the
// sizes of the listed image files; the bar then counts the file bytes of
// every accepted data frame against that total. When the first pass cannot
// read the list through, the bar shows each file on its own instead. The
// first pass never shows a status, never throws, and changes nothing the
// real pass does.
#include "run/transfer_phase.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <optional>

#include "context/wait.h"
#include "encoding/fault.h"
#include "encoding/line_reader.h"
#include "link/frames.h"
#include "link/transmit.h"
#include "run/transfer_list.h"

namespace torvane {

namespace {

namespace fs = std::filesystem;

const char* const kSource = "transferPhase";

std::string errnoText(int err) { return err != 0 ? std::string(": ") + std::strerror(err) : std::string(); }

// A file that exists and cannot be opened: without the right to read it
// (the operator can grant that), or for another reason of the host.
Fault cannotOpen(const std::string& shown, int err) {
  if (err == EACCES || err == EPERM) {
    return Fault(fault::kPermissionDenied, shown + " cannot be opened: permission denied", kSource);
  }
  return Fault(fault::kFileAccess, shown + " cannot be opened" + errnoText(err), kSource);
}

std::ifstream openTransferList(const fs::path& folder, const std::string& listName) {
  if (listName.empty()) {
    throw Fault(fault::kBadFileName, "No source is selected, so there is no transfer list to open", kSource);
  }
  const std::string shown = "Transfer list " + quotedForFault(listName);
  const fs::path path = folder / listName;
  std::error_code ec;
  const fs::file_status st = fs::status(path, ec);
  if (st.type() == fs::file_type::not_found) {
    throw Fault(fault::kFileNotFound, shown + " was not found in the working folder " + folder.string(), kSource);
  }
  if (st.type() == fs::file_type::directory) {
    throw Fault(fault::kFileNotFound, shown + " is a folder, not a file", kSource);
  }
  // A device reads as an empty or endless list, and opening a pipe waits for
  // a writer with the window frozen. (A failed look-up is left to the open.)
  if (st.type() != fs::file_type::regular && st.type() != fs::file_type::none) {
    throw Fault(fault::kFileAccess, shown + " is not a regular file", kSource);
  }
  errno = 0;
  std::ifstream list(path, std::ios::binary);
  if (!list.is_open()) throw cannotOpen(shown, errno);
  return list;
}

bool readListLine(LineReader& reader, ByteString& line, const std::string& listName) {
  const auto readFault = [&](const std::string& why) {
    return Fault(fault::kFileAccess,
                 "Transfer list " + quotedForFault(listName) + " could not be read after line " +
                     std::to_string(reader.lineNumber()) + why,
                 kSource);
  };
  try {
    if (reader.next(line)) return true;
  } catch (const std::ios_base::failure& e) {
    throw readFault(std::string(": ") + e.what());
  }
  if (reader.failed()) throw readFault("");
  return false;
}

// A regular file (or a link to one) counts as existing; nothing there, or a
// folder, counts as missing. Anything else cannot be sent.
bool imageExists(const fs::path& folder, const std::string& name, const std::string& where) {
  if (name.empty()) return false;
  std::error_code ec;
  const fs::file_status st = fs::status(folder / name, ec);
  switch (st.type()) {
    case fs::file_type::not_found:
    case fs::file_type::directory: return false;
    case fs::file_type::regular: return true;
    case fs::file_type::none:
      throw Fault(fault::kFileAccess, where + quotedForFault(name) + " cannot be looked up: " + ec.message(), kSource);
    default: throw Fault(fault::kFileAccess, where + quotedForFault(name) + " is not a regular file", kSource);
  }
}

std::ifstream openImage(const fs::path& folder, const std::string& name, const std::string& where) {
  errno = 0;
  std::ifstream image(folder / name, std::ios::binary);
  if (!image.is_open()) throw cannotOpen(where + quotedForFault(name), errno);
  return image;
}

// Length of the open file, read from its start again; -1 when it cannot be told.
std::streamoff fileLength(std::ifstream& file) {
  file.seekg(0, std::ios::end);
  const std::streamoff size = file.tellg();
  file.seekg(0, std::ios::beg);
  return file ? size : -1;
}

bool announceable(std::streamoff size) { return size <= std::numeric_limits<int32_t>::max(); }

// Length of the open file; more than 2147483647 bytes cannot be announced.
int32_t imageSize(std::ifstream& image, const std::string& name, const std::string& where) {
  const std::streamoff size = fileLength(image);
  if (size < 0) {
    throw Fault(fault::kFileAccess, where + "the length of " + quotedForFault(name) + " cannot be read", kSource);
  }
  if (!announceable(size)) {
    throw Fault(fault::kOverflow,
                where + quotedForFault(name) + " holds " + std::to_string(size) +
                    " bytes; at most 2147483647 bytes can be sent",
                kSource);
  }
  return static_cast<int32_t>(size);
}

ByteString buildAddressFrame(const ListEntry& entry, int32_t size, const std::string& where) {
  try {
    return addressFrame(entry.memoryType, entry.address, size);
  } catch (const Fault& f) {
    throw Fault(f.number(), where + "address " + std::to_string(entry.address) + ": " + f.description(), f.source());
  }
}

void showStatus(FormContext& ctx, const std::string& text) {
  ctx.window.setStatus(text);
  ctx.window.repaint();
}

std::string entryStatus(const ListEntry& entry, int32_t size) {
  std::string text = " Status: Sending " + entry.name + " (" + std::to_string(size) + " bytes) to ";
  const std::string label = memoryTypeLabel(entry.memoryType);
  if (!label.empty()) text += label + std::to_string(entry.address) + ")";
  return text;
}

// Size of a listed image file as the real pass would announce it; 0 for a
// file that is missing, not a regular file, unreadable or too large to send.
// A regular file is opened only (never a pipe, which could block).
int64_t listedImageBytes(const fs::path& folder, const std::string& name) {
  if (name.empty()) return 0;
  const fs::path path = folder / name;
  std::error_code ec;
  if (fs::status(path, ec).type() != fs::file_type::regular) return 0;
  std::ifstream image(path, std::ios::binary);
  if (!image.is_open()) return 0;
  const std::streamoff size = fileLength(image);
  return size >= 0 && announceable(size) ? static_cast<int64_t>(size) : 0;
}

// The first pass: image bytes of the whole list, with the same parser. No
// value when the list cannot be read or parsed through.
std::optional<int64_t> listedBytes(const fs::path& folder, const std::string& listName) {
  try {
    const fs::path path = folder / listName;
    std::error_code ec;
    if (fs::status(path, ec).type() != fs::file_type::regular) return std::nullopt;
    std::ifstream list(path, std::ios::binary);
    if (!list.is_open()) return std::nullopt;
    LineReader reader(list);
    ByteString line;
    int64_t total = 0;
    while (reader.next(line)) {
      const std::optional<ListEntry> entry = parseListLine(line, listName, reader.lineNumber());
      if (entry) total += listedImageBytes(folder, entry->name);
    }
    if (reader.failed()) return std::nullopt;
    return total;
  } catch (...) {  // a malformed line, a read error: the real pass reports it
    return std::nullopt;
  }
}

// The progress bar of one phase: the whole list against its total, or each
// file on its own when the total is unknown. Ends the bar on every way out.
class Progress {
 public:
  Progress(WindowOps& window, std::optional<int64_t> total) : window_(window), wholeList_(total.has_value()) {
    if (wholeList_) start(*total);
  }
  ~Progress() {
    if (!started_) return;
    try {
      window_.progressEnd();
    } catch (...) {  // hiding the bar never replaces the outcome of the phase
    }
  }
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  void entryOpened(int32_t size) {
    if (!wholeList_) start(size);
  }
  void accepted(std::streamsize fileBytes) {
    sent_ += fileBytes;
    window_.progressAdvance(sent_);
  }

 private:
  void start(int64_t total) {
    sent_ = 0;
    started_ = true;
    window_.progressStart(total);
  }

  WindowOps& window_;
  const bool wholeList_;
  bool started_ = false;
  int64_t sent_ = 0;
};

// The data frames of one image file, read block by block as they are sent.
FrameResult sendData(FormContext& ctx, std::ifstream& image, const ListEntry& entry, int32_t size,
                     const std::string& where, Progress& progress) {
  ByteString block;
  int32_t remaining = size;
  while (remaining > 0) {
    yieldOnce(ctx);
    showStatus(ctx, " Status: Sending data ");
    const auto count = static_cast<std::streamsize>(std::min(remaining, static_cast<int32_t>(kBlockSize)));
    block.resize(static_cast<std::size_t>(count));
    image.read(block.data(), count);
    if (image.gcount() != count) {
      throw Fault(fault::kFileAccess,
                  where + quotedForFault(entry.name) + ": only " + std::to_string(image.gcount()) + " of " +
                      std::to_string(count) + " bytes at offset " + std::to_string(size - remaining) +
                      " could be read; the file changed while it was being sent",
                  kSource);
    }
    observe(ctx, &RunObserver::dataFrameSent, block);
    const FrameResult result = Transmit(ctx, dataFrame(block, entry.memoryType));
    if (result != FrameResult::Accepted) return result;
    progress.accepted(count);
    remaining -= static_cast<int32_t>(count);
  }
  return FrameResult::Accepted;
}

// Address frame and data frames of one entry; the image file is closed on
// every way out.
FrameResult sendEntry(FormContext& ctx, const ListEntry& entry, const std::string& where, Progress& progress) {
  std::ifstream image = openImage(ctx.workingFolder, entry.name, where);
  const int32_t size = imageSize(image, entry.name, where);
  progress.entryOpened(size);
  showStatus(ctx, entryStatus(entry, size));
  observe(ctx, &RunObserver::entryStarted, entry.name, size, entry.memoryType, entry.address);
  const ByteString frame = buildAddressFrame(entry, size, where);
  showStatus(ctx, " Status: Sending address ");
  const FrameResult result = Transmit(ctx, frame);
  if (result != FrameResult::Accepted) return result;
  const FrameResult sent = sendData(ctx, image, entry, size, where, progress);
  if (sent == FrameResult::Accepted) observe(ctx, &RunObserver::entrySent);
  return sent;
}

}  // namespace

TransferOutcome transferPhase(FormContext& ctx) {
  const std::string listName = chosenTransferList(ctx.window);
  std::ifstream list = openTransferList(ctx.workingFolder, listName);
  Progress progress(ctx.window, listedBytes(ctx.workingFolder, listName));
  LineReader reader(list);
  ByteString line;
  while (readListLine(reader, line, listName)) {
    const std::optional<ListEntry> entry = parseListLine(line, listName, reader.lineNumber());
    if (!entry) continue;
    const std::string where = listLinePrefix(listName, reader.lineNumber());
    if (!imageExists(ctx.workingFolder, entry->name, where)) {
      observe(ctx, &RunObserver::entryStarted, entry->name, std::nullopt, entry->memoryType, entry->address);
      return {TransferOutcome::Kind::EarlyEnd, " Status: " + entry->name + " does not exist"};
    }
    if (sendEntry(ctx, *entry, where, progress) != FrameResult::Accepted)
      return {TransferOutcome::Kind::FrameRejected, {}};
  }
  list.close();
  showStatus(ctx, " Status: Sending end of transmission ");
  observe(ctx, &RunObserver::stageReached, RunStage::EndOfTransmission);
  if (Transmit(ctx, endFrame()) != FrameResult::Accepted) return {TransferOutcome::Kind::FrameRejected, {}};
  return {TransferOutcome::Kind::Completed, {}};
}

}  // namespace torvane
