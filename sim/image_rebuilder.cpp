#include "sim/image_rebuilder.h"

#include "encoding/encoders.h"
#include "link/frames.h"

namespace torvane::sim {
namespace {

constexpr std::size_t kShortFrame = 15;
constexpr std::size_t kBlock = 512;
constexpr std::size_t kDataFrame = kBlock + 2;

uint32_t bigEndian32(const ByteString& s, std::size_t at) {
  return (uint32_t{byteAt(s, at)} << 24) | (uint32_t{byteAt(s, at + 1)} << 16) | (uint32_t{byteAt(s, at + 2)} << 8) |
         uint32_t{byteAt(s, at + 3)};
}

bool startsWithEndFiller(const ByteString& frame) {
  if (frame.size() != kShortFrame) return false;
  for (std::size_t i = 0; i < 13; ++i) {
    if (byteAt(frame, i) != 0xFF) return false;
  }
  return true;
}

std::string hexByte(uint8_t value) { return hexNumber(value, 2); }

}  // namespace

const char* frameKindName(FrameKind kind) {
  switch (kind) {
    case FrameKind::Address: return "address";
    case FrameKind::Data: return "data";
    case FrameKind::End: return "end";
    case FrameKind::Partial: return "partial";
  }
  return "?";
}

std::size_t ImageRebuilder::expectedLength() const { return inProgress_ ? kDataFrame : kShortFrame; }

bool ImageRebuilder::fileInProgress() const { return inProgress_; }

FrameCheck ImageRebuilder::inspect(const ByteString& frame) const {
  FrameCheck check;
  if (frame.size() != expectedLength()) return check;
  if (inProgress_) {
    check.kind = FrameKind::Data;
  } else {
    check.kind = startsWithEndFiller(frame) ? FrameKind::End : FrameKind::Address;
  }
  const ByteString body = frame.substr(0, frame.size() - 2);
  check.crcOk = frame.compare(frame.size() - 2, 2, checksumTrailer(body)) == 0;
  return check;
}

void ImageRebuilder::accept(const ByteString& frame, const FrameCheck& check) {
  switch (check.kind) {
    case FrameKind::Address: acceptAddress(frame); break;
    case FrameKind::Data: acceptData(frame); break;
    case FrameKind::End: endReceived_ = true; break;
    case FrameKind::Partial: break;
  }
}

void ImageRebuilder::acceptAddress(const ByteString& frame) {
  Image image;
  image.session = session_;
  image.memoryType = byteAt(frame, 0);
  image.address = bigEndian32(frame, 5);
  image.size = bigEndian32(frame, 9);
  const std::string which = "image " + std::to_string(images_.size() + 1);
  if (bigEndian32(frame, 1) != 0) errors_.push_back(which + ": reserved bytes of the address frame are not zero");
  if (image.address > 0x7FFFFFFFu) errors_.push_back(which + ": address beyond 2147483647");
  if (image.size > 0x7FFFFFFFu) errors_.push_back(which + ": size beyond 2147483647");
  images_.push_back(image);
  inProgress_ = image.size > 0;
}

void ImageRebuilder::acceptData(const ByteString& frame) {
  Image& image = images_.back();
  const std::size_t remaining = image.size - image.bytes.size();
  const std::size_t take = remaining < kBlock ? remaining : kBlock;
  image.bytes.append(frame, 0, take);
  const uint8_t pad = paddingByte(image.memoryType);
  for (std::size_t i = take; i < kBlock; ++i) {
    if (byteAt(frame, i) != pad) {
      errors_.push_back("image " + std::to_string(images_.size()) + ": padding byte " + std::to_string(i - take) +
                        " of the last frame is " + hexByte(byteAt(frame, i)) + ", expected " + hexByte(pad));
      break;
    }
  }
  inProgress_ = !image.complete();
}

void ImageRebuilder::startSession(int session) {
  if (inProgress_) {
    errors_.push_back("image " + std::to_string(images_.size()) + ": new load command before the image was complete");
  }
  inProgress_ = false;
  session_ = session;
}

}  // namespace torvane::sim
