// The in-memory half of the S-record converter: reading the records into the
// 65,537-byte working image and building the two output images from it.
// Nothing here touches the file system.
#pragma once

#include <cstdint>
#include <istream>
#include <vector>

#include "encoding/bytes.h"

namespace torvane {

inline constexpr int32_t kCodeStart = 0x0E00;    // first address of the code image
inline constexpr int32_t kVectorStart = 0xFFCC;  // first address of the vector area
inline constexpr int32_t kVectorLength = 52;     // 0xFFCC..0xFFFF
inline constexpr int32_t kImageTop = 65536;      // last address of the working image

struct WorkingImage {
  std::vector<uint8_t> bytes = std::vector<uint8_t>(kImageTop + 1, 0);
  int32_t highestAddress = 0;
  long dataRecords = 0;
};

// Reads lines until the end of `in` or the first line holding "S9", "S8" or
// "S7". A fault from a line is rethrown with "(line N)" after its description.
WorkingImage readS19(std::istream& in);

struct CodeImage {
  ByteString bytes;      // what code.bin holds
  int32_t checksum = 0;  // CRC-16 of the image bytes, before the fill
};

// Bytes kCodeStart..highest address, their CRC-16 high byte first, and the
// 0x00 fill that makes the length a multiple of 8 and never of 512.
CodeImage codeImage(const WorkingImage& image);

// The 52 bytes of the vector area.
ByteString vectorImage(const WorkingImage& image);

}  // namespace torvane
