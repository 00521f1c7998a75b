#include "run/transfer_plan.h"

#include "link/frames.h"
#include "run/list_files.h"

namespace torvane {

namespace {

// What the run meets at this entry, in the order it meets it.
PlannedImage lookUp(const std::filesystem::path& folder, const ListEntry& entry, const std::string& listName,
                    long line) {
  PlannedImage image;
  image.entry = entry;
  image.line = line;
  const std::string where = listLinePrefix(listName, line);
  try {
    if (!imageExists(folder, entry.name, where)) {
      image.missing = true;
      return image;
    }
    std::ifstream file = openImage(folder, entry.name, where);
    image.size = imageSize(file, entry.name, where);
  } catch (const Fault& f) {
    image.fileFault = f;
    return image;
  }
  try {
    addressFrame(entry.memoryType, entry.address, image.size);
  } catch (const Fault& f) {
    image.addressFault = f;
  }
  return image;
}

}  // namespace

long dataFrameCount(int64_t size) { return static_cast<long>((size + kBlockSize - 1) / kBlockSize); }

long PlannedImage::frames() const { return 1 + dataFrameCount(size); }

int64_t TransferPlan::listedBytes() const {
  int64_t total = 0;
  for (const PlannedImage& image : images) {
    if (!image.missing && !image.fileFault) total += image.size;
  }
  return total;
}

long TransferPlan::framesToSend() const {
  long frames = 0;
  for (const PlannedImage& image : images) {
    if (!image.sendable()) return frames;
    frames += image.frames();
  }
  return listFault ? frames : frames + 1;
}

TransferPlan planTransfer(const std::filesystem::path& folder, const std::string& listName) {
  TransferPlan plan;
  try {
    std::ifstream list = openTransferList(folder, listName);
    LineReader reader(list);
    ByteString line;
    while (readListLine(reader, line, listName)) {
      const std::optional<ListEntry> entry = parseListLine(line, listName, reader.lineNumber());
      if (entry) plan.images.push_back(lookUp(folder, *entry, listName, reader.lineNumber()));
    }
  } catch (const Fault& f) {
    plan.listFault = f;
  }
  return plan;
}

}  // namespace torvane
