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
// Before step 2 a quiet first pass over the list (the transfer plan) counts
// the frames the run would hand over: more than the frame counter holds and
// the run fails before its first frame. The plan also sizes the progress bar,
// which counts the file bytes of every accepted data frame against the
// plan's total; when the plan cannot read the list through, the bar shows
// each file on its own instead. The plan never shows a status, never throws,
// and changes nothing the real pass does.
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
#include "run/list_files.h"
#include "run/transfer_list.h"
#include "run/transfer_plan.h"

namespace torvane {

namespace {

namespace fs = std::filesystem;

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

// A run whose frames would overflow the frame counter fails before its
// first frame, with the counter's fault, instead of after 32767 of them.
void refuseTooManyFrames(const TransferPlan& plan, const std::string& listName) {
  const long frames = plan.framesToSend();
  if (frames <= kMaxFramesPerRun) return;
  throw Fault(fault::kOverflow,
              std::string(kTooManyFramesText) + "; the list " + quotedForFault(listName) + " needs " +
                  std::to_string(frames) + ", so none was sent",
              kTransferPhaseSource);
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
                  kTransferPhaseSource);
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

TransferOutcome transferPhase(FormContext& ctx, const std::string& verifiedList) {
  const std::string listName = chosenTransferList(ctx.window);
  if (ctx.verifyImages && listName != verifiedList) {
    if (std::optional<Fault> refused = ctx.verifyImages(ctx.workingFolder, listName)) throw *refused;
  }
  std::ifstream list = openTransferList(ctx.workingFolder, listName);
  const TransferPlan plan = planTransfer(ctx.workingFolder, listName);
  refuseTooManyFrames(plan, listName);
  Progress progress(ctx.window, plan.listFault ? std::nullopt : std::optional<int64_t>(plan.listedBytes()));
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
