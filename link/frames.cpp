#include "link/frames.h"

#include "encoding/encoders.h"
#include "encoding/fault.h"

namespace torvane {

ByteString checksumTrailer(const ByteString& body) {
  const int32_t crc = calcCRC16(body);
  const int32_t low = crc % 256;
  const int32_t high = (crc - low) / 256;
  ByteString trailer;
  appendByte(trailer, static_cast<uint8_t>(high));
  appendByte(trailer, static_cast<uint8_t>(low));
  return trailer;
}

void appendChecksum(ByteString& frame) { frame += checksumTrailer(frame); }

ByteString addressFrame(uint8_t memoryType, int32_t address, int32_t fileSize) {
  ByteString frame;
  frame.reserve(kAddressFrameLength);
  appendByte(frame, memoryType);
  frame += long2string(0);
  frame += long2string(address);
  frame += long2string(fileSize);
  appendChecksum(frame);
  return frame;
}

uint8_t paddingByte(uint8_t memoryType) { return memoryType == kMemoryDsdFlash ? 0xFF : 0x00; }

ByteString dataFrame(const ByteString& block, uint8_t memoryType) {
  if (block.size() > kBlockSize) {
    throw Fault(fault::kInvalidArgument, "A data block holds at most 512 bytes, not " + std::to_string(block.size()),
                "dataFrame");
  }
  ByteString frame;
  frame.reserve(kDataFrameLength);
  frame = block;
  frame.append(kBlockSize - block.size(), static_cast<char>(paddingByte(memoryType)));
  appendChecksum(frame);
  return frame;
}

ByteString endFrame() {
  ByteString frame(13, static_cast<char>(0xFF));
  appendChecksum(frame);
  return frame;
}

}  // namespace torvane
