// A transfer list read the way the transfer phase reads it, without sending
// anything: every entry with what its image file is, and how many frames a
// run would hand over. The phase sizes its progress bar from it and refuses
// a run whose frames would overflow the frame counter before the first one
// goes out; the folder check reports from it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "encoding/fault.h"
#include "run/transfer_list.h"

namespace torvane {

struct PlannedImage {
  ListEntry entry;
  long line = 0;  // in the list
  // No file of that name, or a folder: the run ends early here.
  bool missing = false;
  // The run takes the failure path here with this fault: the file cannot be
  // sent (not a regular file, unreadable, too large) ...
  std::optional<Fault> fileFault;
  // ... or its address cannot be encoded (a negative address).
  std::optional<Fault> addressFault;
  int32_t size = 0;  // the file's length, when it can be sent

  bool sendable() const { return !missing && !fileFault && !addressFault; }
  // A sendable entry's address frame and data frames.
  long frames() const;
};

struct TransferPlan {
  std::vector<PlannedImage> images;  // every entry of the list, in list order
  // The list cannot be opened or read, or a line is malformed: the fault the
  // run raises there; `images` holds the entries before that line.
  std::optional<Fault> listFault;

  // Image bytes of the whole list: every entry whose file can be sent.
  int64_t listedBytes() const;
  // The frames a run hands over: each entry in list order until the first
  // one the run ends at (a missing image, a fault), then the end frame once
  // the whole list has been sent.
  long framesToSend() const;
};

// One data frame per 512 bytes begun.
long dataFrameCount(int64_t size);

// Reads the list in `folder` and looks up each image (opened, never read;
// never a pipe). Nothing is thrown: what the run would fault with is kept.
TransferPlan planTransfer(const std::filesystem::path& folder, const std::string& listName);

}  // namespace torvane
