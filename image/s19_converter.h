// The S-record converter: turns a Motorola S-record file into the code image
// "code.bin" (addresses 0x0E00 up to the highest address, its CRC-16 and a
// fill) and the vector image "vector.bin" (the 52 bytes 0xFFCC..0xFFFF), both
// in the folder the caller names.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "encoding/bytes.h"

namespace torvane {

inline constexpr char kCodeFileName[] = "code.bin";
inline constexpr char kVectorFileName[] = "vector.bin";

// What one conversion wrote.
struct S19Conversion {
  std::size_t codeSize = 0;    // bytes in code.bin
  std::size_t vectorSize = 0;  // bytes in vector.bin (always 52)
  int32_t highestAddress = 0;  // last address of the code image (0 if no record raised it)
  int32_t checksum = 0;        // CRC-16 of the code image bytes, 0..65535
  long dataRecords = 0;        // S1, S2 and S3 lines that were read
};

// Converts the file into code.bin and vector.bin in `outputFolder`. Old output files are
// removed first; both images are built in memory and written only once the
// whole input has been read, so a fault leaves neither output behind.
// Every fault is thrown as torvane::Fault with source "ConvertS19"; a fault
// raised by an input line ends its description with "(line N)".
// Runs to completion without yielding; shows nothing.
S19Conversion ConvertS19(const std::string& S19FileName, const std::filesystem::path& outputFolder);

// Removes old output files from `outputFolder` (what ConvertS19 does first).
void removeOldS19Output(const std::filesystem::path& outputFolder);

}  // namespace torvane
