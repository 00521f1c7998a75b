// The machine's side of the frame layouts: knows which frame comes next,
// checks each frame's layout and CRC-16 trailer, and rebuilds the images from
// the frames that were accepted.
//
//   no file in progress: address frame (15) or end frame (15, FF x 13 + CRC)
//   file in progress:    data frames (514) until the announced size is covered
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "encoding/bytes.h"

namespace torvane::sim {

enum class FrameKind { Address, Data, End, Partial };

const char* frameKindName(FrameKind kind);

struct FrameCheck {
  FrameKind kind = FrameKind::Partial;
  bool crcOk = false;
};

struct Image {
  int session = 0;
  uint8_t memoryType = 0;
  uint32_t address = 0;
  uint32_t size = 0;  // as announced in the address frame
  ByteString bytes;   // the data received so far, without padding
  bool complete() const { return bytes.size() == size; }
};

class ImageRebuilder {
 public:
  // Length of the frame expected next: 514 while a file is in progress,
  // otherwise 15.
  std::size_t expectedLength() const;
  bool fileInProgress() const;

  // Kind and CRC of a frame of expectedLength() bytes. Touches no state.
  FrameCheck inspect(const ByteString& frame) const;

  // Takes a frame that was accepted (ACK or ETX). Layout and padding faults
  // are recorded in errors(); the frame is used all the same.
  void accept(const ByteString& frame, const FrameCheck& check);

  // A new session (a new load command): a file left in progress stays
  // incomplete and is reported as such.
  void startSession(int session);

  const std::vector<Image>& images() const { return images_; }
  const std::vector<std::string>& errors() const { return errors_; }
  bool endReceived() const { return endReceived_; }

 private:
  void acceptAddress(const ByteString& frame);
  void acceptData(const ByteString& frame);

  std::vector<Image> images_;
  std::vector<std::string> errors_;
  bool inProgress_ = false;
  bool endReceived_ = false;
  int session_ = 1;
};

}  // namespace torvane::sim
