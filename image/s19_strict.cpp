#include "image/s19_strict.h"

#include <string>

#include "encoding/encoders.h"
#include "encoding/fault.h"
#include "encoding/line_reader.h"

namespace torvane {

namespace {

// Address bytes of each record type S0..S9; 0: no such type (S4).
constexpr int kAddressBytes[10] = {2, 2, 3, 4, 0, 2, 3, 4, 3, 2};

[[noreturn]] void refuse(const std::string& why, long lineNumber) {
  throw Fault(fault::kInvalidArgument, "Not an S-record: " + why + " (line " + std::to_string(lineNumber) + ")",
              "ConvertS19");
}

// Checks one line; returns its type digit.
int checkRecord(const ByteString& line, long n) {
  if (line[0] == 's') refuse("the record type is written with a lower-case s", n);
  if (line[0] != 'S') refuse(quotedForFault(line) + " does not start with S and a type digit", n);
  if (line.size() < 2 || line[1] < '0' || line[1] > '9' || kAddressBytes[line[1] - '0'] == 0) {
    refuse(quotedForFault(line.substr(0, 2)) + " is not a record type", n);
  }
  for (std::size_t column = 2; column < line.size(); ++column) {
    if (hexDigit(line[column]) < 0) {
      refuse(quotedForFault(line.substr(column, 1)) + " at column " + std::to_string(column + 1) +
                 " is not a hexadecimal digit",
             n);
    }
  }
  const int type = line[1] - '0';
  if (line.size() < 4 || line.size() % 2 != 0) refuse("the line holds an odd or too small number of digits", n);
  const auto byteAt = [&line](std::size_t i) { return hexDigit(line[2 + 2 * i]) * 16 + hexDigit(line[3 + 2 * i]); };
  const std::size_t count = static_cast<std::size_t>(byteAt(0));
  const std::size_t held = line.size() / 2 - 2;
  if (held != count) {
    refuse("the count byte says " + std::to_string(count) + " bytes follow, the line holds " + std::to_string(held), n);
  }
  if (count < static_cast<std::size_t>(kAddressBytes[type]) + 1) {
    refuse("an S" + std::to_string(type) + " record needs " + std::to_string(kAddressBytes[type] + 1) +
               " bytes after the count, this one has " + std::to_string(count),
           n);
  }
  int sum = 0;
  for (std::size_t i = 0; i < count; ++i) sum += byteAt(i);
  const int expected = ~sum & 0xFF;
  if (byteAt(count) != expected) {
    refuse("the checksum is " + hexNumber(static_cast<uint64_t>(byteAt(count)), 2) + ", the record's bytes give " +
               hexNumber(static_cast<uint64_t>(expected), 2),
           n);
  }
  return type;
}

}  // namespace

void checkS19Strictly(std::istream& in) {
  LineReader reader(in);
  ByteString line;
  bool data = false;
  while (reader.next(line)) {
    if (line.empty()) continue;
    const int type = checkRecord(line, reader.lineNumber());
    if (type >= 7) break;
    data = data || (type >= 1 && type <= 3);
  }
  if (reader.failed()) {
    throw Fault(fault::kFileAccess, "the file could not be read after line " + std::to_string(reader.lineNumber()),
                "ConvertS19");
  }
  if (!data)
    throw Fault(fault::kInvalidArgument, "Not S-records: the file holds no data record (S1, S2 or S3)", "ConvertS19");
}

}  // namespace torvane
