// Checksum and byte encoders shared by the frames and the S-record converter.
#pragma once

#include <cstdint>
#include <string>

#include "encoding/bytes.h"

namespace torvane {

// CRC-16/XMODEM: width 16, poly 0x1021, init 0x0000, no input or output
// reflection, no final XOR. Check value of "123456789" is 0x31C3.
// Always 0..65535.
int32_t calcCRC16(const ByteString& data);

// Continues a CRC-16/XMODEM over more bytes: calcCRC16(a + b) ==
// updateCRC16(calcCRC16(a), b). Lets a file be checksummed block by block.
int32_t updateCRC16(int32_t crc, const char* data, std::size_t length);

// The four bytes of value, most significant first. A negative value is an
// invalid-argument fault.
ByteString long2string(int32_t value);

// Value of one hexadecimal digit character: '0'-'9', 'A'-'F', 'a'-'f' give
// 0..15; every other code (negative ones included) gives 0.
int16_t hexValue(int16_t code);

// The same digits, strictly: -1 for a character that is not one.
int hexDigit(char c);

// "0x" and upper-case hexadecimal digits, at least `digits` of them:
// hexNumber(0xE00, 4) -> "0x0E00", hexNumber(0x1F, 1) -> "0x1F".
std::string hexNumber(uint64_t value, int digits);

// Two upper-case hexadecimal digits without a prefix: 0x0D -> "0D".
std::string hexByte(uint8_t value);

}  // namespace torvane
