// Byte layouts of the three frames sent after the handshake. Every frame ends
// with the CRC-16/XMODEM of the bytes before it, high byte first.
//
//   address frame (15): type(1) 00 00 00 00 address(4, BE) size(4, BE) crc(2)
//   data frame   (514): block(512, last one padded) crc(2)
//   end frame     (15): FF x 13, D6 DF
#pragma once

#include <cstdint>

#include "encoding/bytes.h"

namespace torvane {

inline constexpr std::size_t kBlockSize = 512;
inline constexpr std::size_t kAddressFrameLength = 15;
inline constexpr std::size_t kDataFrameLength = kBlockSize + 2;
inline constexpr std::size_t kEndFrameLength = 15;

// Memory types with a name; any other value is sent as it is.
inline constexpr uint8_t kMemoryCode = 1;
inline constexpr uint8_t kMemoryMmc = 2;
inline constexpr uint8_t kMemoryDsdFlash = 3;

// The two bytes that close a frame: calcCRC16 of `body`, high byte first.
ByteString checksumTrailer(const ByteString& body);

// Appends the checksum trailer of the frame so far.
void appendChecksum(ByteString& frame);

// A negative address or size is an invalid-argument fault (from long2string);
// no frame is produced then.
ByteString addressFrame(uint8_t memoryType, int32_t address, int32_t fileSize);

// Padding byte for the last block of a file: 0xFF for memory type 3 (DSD
// Flash), 0x00 for every other type.
uint8_t paddingByte(uint8_t memoryType);

// block holds 1..512 bytes; a shorter block is padded up to 512 bytes.
ByteString dataFrame(const ByteString& block, uint8_t memoryType);

ByteString endFrame();

}  // namespace torvane
