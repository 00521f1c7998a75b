#include "image/s19_image.h"

#include <limits>
#include <string>

#include "encoding/encoders.h"
#include "encoding/fault.h"
#include "encoding/line_reader.h"
#include "image/get_byte.h"

namespace torvane {

namespace {

constexpr int64_t kLongMax = std::numeric_limits<int32_t>::max();

// What a line is, by the tags it contains anywhere: a terminator ends the
// input; otherwise the number of address bytes of an S1, S2 or S3 record, or
// 0 for a line to skip.
constexpr int kStop = -1;

int classify(const ByteString& line) {
  const auto has = [&line](const char* tag) { return line.find(tag) != ByteString::npos; };
  if (has("S9") || has("S8") || has("S7")) return kStop;
  if (has("S1")) return 2;
  if (has("S2")) return 3;
  if (has("S3")) return 4;
  return 0;
}

std::string hex(int64_t value) { return hexNumber(static_cast<uint64_t>(value), 4); }

// Reads the address field most significant byte first into a signed 32-bit
// number; an S3 address with a first byte of 0x80 or more does not fit.
int64_t readAddress(const ByteString& line, int addressBytes) {
  int64_t address = 0;
  for (int i = 0; i < addressBytes; ++i) {
    if (address * 256 > kLongMax) {
      throw Fault(fault::kOverflow,
                  "Overflow: the record address " + hex(address) + "... does not fit a signed 32-bit number",
                  "ConvertS19");
    }
    address = address * 256 + GetByte(line, static_cast<int16_t>(5 + 2 * i));
  }
  return address;
}

// One S1 (2 address bytes), S2 (3) or S3 (4) record into the image. Fields
// sit at fixed columns counted from the first character of the line.
void storeRecord(const ByteString& line, int addressBytes, WorkingImage& image) {
  const int recordLength = GetByte(line, 3) - addressBytes - 1;
  int64_t address = readAddress(line, addressBytes);

  const int64_t end = address + recordLength - 1;
  if (end > kLongMax) {
    throw Fault(fault::kOverflow, "Overflow: the record from " + hex(address) + " ends beyond address 0x7FFFFFFF",
                "ConvertS19");
  }
  // A record reaching into the vector area never raises the highest address.
  if (end > image.highestAddress && end < kVectorStart) image.highestAddress = static_cast<int32_t>(end);

  int column = 5 + 2 * addressBytes;
  for (int i = 0; i < recordLength; ++i) {
    if (address > kImageTop) {
      throw Fault(fault::kSubscriptOutOfRange,
                  "Subscript out of range: a data byte at address " + hex(address) +
                      " lies beyond the image, whose last address is 0x10000",
                  "ConvertS19");
    }
    image.bytes[static_cast<std::size_t>(address)] = GetByte(line, static_cast<int16_t>(column));
    ++address;
    column += 2;
  }
}

}  // namespace

WorkingImage readS19(std::istream& in) {
  WorkingImage image;
  LineReader reader(in);
  ByteString line;
  while (reader.next(line)) {
    const int kind = classify(line);
    if (kind == kStop) break;
    if (kind == 0) continue;
    try {
      storeRecord(line, kind, image);
    } catch (const Fault& f) {
      throw Fault(f.number(), f.description() + " (line " + std::to_string(reader.lineNumber()) + ")", "ConvertS19");
    }
    ++image.dataRecords;
  }
  if (reader.failed()) {
    throw Fault(fault::kFileAccess,
                "Path/File access error: the input could not be read after line " + std::to_string(reader.lineNumber()),
                "ConvertS19");
  }
  return image;
}

CodeImage codeImage(const WorkingImage& image) {
  const int32_t highest = image.highestAddress;
  CodeImage code;
  if (highest >= kCodeStart) {
    code.bytes.assign(image.bytes.begin() + kCodeStart, image.bytes.begin() + highest + 1);
  }
  code.checksum = calcCRC16(code.bytes);
  appendByte(code.bytes, static_cast<uint8_t>(code.checksum >> 8));
  appendByte(code.bytes, static_cast<uint8_t>(code.checksum & 0xFF));

  // End address of the image: the checksum's low byte, raised so that it
  // ends an 8-byte block, and one block further if it would end a 512-byte
  // frame exactly.
  int64_t end = int64_t{highest} + 2;
  if (end % 8 < 7) end += 7 - end % 8;
  if (end % 512 == 511) end += 8;
  const int64_t length = end - (kCodeStart - 1);
  if (static_cast<int64_t>(code.bytes.size()) < length) code.bytes.resize(static_cast<std::size_t>(length), '\0');
  return code;
}

ByteString vectorImage(const WorkingImage& image) {
  return ByteString(image.bytes.begin() + kVectorStart, image.bytes.begin() + kVectorStart + kVectorLength);
}

}  // namespace torvane
