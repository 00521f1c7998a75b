#include "run/transfer_list.h"

#include <limits>

#include "context/sources.h"
#include "encoding/encoders.h"
#include "encoding/fault.h"
#include "link/frames.h"

namespace torvane {

namespace {

const char* const kListSource = "transfer list";
const char* const kBlanks = " \t";
constexpr int64_t kMaxAddress = std::numeric_limits<int32_t>::max();

bool isBlank(char c) { return c == ' ' || c == '\t'; }

bool onlyBlanksFrom(const ByteString& text, std::size_t pos) {
  return pos >= text.size() || text.find_first_not_of(kBlanks, pos) == ByteString::npos;
}

// Leading tabs first, then leading blanks (a tab after a blank stays).
std::size_t skipTabsThenBlanks(const ByteString& text, std::size_t pos) {
  while (pos < text.size() && text[pos] == '\t') ++pos;
  while (pos < text.size() && text[pos] == ' ') ++pos;
  return pos;
}

ByteString trimTrailingBlanks(ByteString text) {
  while (!text.empty() && isBlank(text.back())) text.pop_back();
  return text;
}

[[noreturn]] void fail(int32_t number, const std::string& where, const std::string& what) {
  throw Fault(number, where + what, kListSource);
}

// "0x" or "0X" followed by at least one hexadecimal digit and nothing else
// (trailing blanks and tabs aside); 0 .. 0x7FFFFFFF.
int32_t parseHexAddress(const ByteString& text, const std::string& where) {
  const ByteString shown = quotedForFault(trimTrailingBlanks(text));
  const bool prefixed = text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  const ByteString digits = prefixed ? trimTrailingBlanks(text.substr(2)) : ByteString();
  if (digits.empty()) fail(fault::kInvalidArgument, where, "address " + shown + " is not a hexadecimal number");
  int64_t value = 0;
  for (char c : digits) {
    const int digit = hexDigit(c);
    if (digit < 0) fail(fault::kInvalidArgument, where, "address " + shown + " is not a hexadecimal number");
    value = value * 16 + digit;
    if (value > kMaxAddress) fail(fault::kOverflow, where, "address " + shown + " does not fit a signed 32-bit number");
  }
  return static_cast<int32_t>(value);
}

// Blanks and tabs, an optional sign, decimal digits, blanks and tabs.
int32_t parseDecimalAddress(const ByteString& text, const std::string& where) {
  const std::size_t first = text.find_first_not_of(kBlanks);
  const ByteString number = trimTrailingBlanks(first == ByteString::npos ? ByteString() : text.substr(first));
  const ByteString shown = quotedForFault(number);
  const bool negative = !number.empty() && number[0] == '-';
  const std::size_t start = (!number.empty() && (number[0] == '-' || number[0] == '+')) ? 1 : 0;
  if (start >= number.size()) fail(fault::kTypeMismatch, where, "address " + shown + " is not a decimal number");
  const int64_t limit = negative ? kMaxAddress + 1 : kMaxAddress;
  int64_t magnitude = 0;
  for (std::size_t i = start; i < number.size(); ++i) {
    if (number[i] < '0' || number[i] > '9') {
      fail(fault::kTypeMismatch, where, "address " + shown + " is not a decimal number");
    }
    magnitude = magnitude * 10 + (number[i] - '0');
    if (magnitude > limit) fail(fault::kOverflow, where, "address " + shown + " does not fit a signed 32-bit number");
  }
  return static_cast<int32_t>(negative ? -magnitude : magnitude);
}

int32_t parseAddress(const ByteString& text, const std::string& where) {
  const bool hex = text.find("0x") != ByteString::npos || text.find("0X") != ByteString::npos;
  return hex ? parseHexAddress(text, where) : parseDecimalAddress(text, where);
}

}  // namespace

std::optional<ListEntry> parseListLine(const ByteString& line, const std::string& listName, long lineNumber) {
  if (onlyBlanksFrom(line, 0)) return std::nullopt;
  const std::string where = listLinePrefix(listName, lineNumber);

  // 1. Name up to the separator: the first tab, else the first blank.
  std::size_t separator = line.find('\t');
  if (separator == ByteString::npos) separator = line.find(' ');
  if (separator == ByteString::npos) {
    fail(fault::kInvalidArgument, where,
         quotedForFault(line) + " has no tab or blank between the file name and the memory type");
  }
  ListEntry entry;
  entry.name = line.substr(0, separator);
  if (entry.name.find('\0') != ByteString::npos) {
    fail(fault::kBadFileName, where, "the file name " + quotedForFault(entry.name) + " holds a NUL byte");
  }
  if (onlyBlanksFrom(line, separator + 1)) {
    fail(fault::kInvalidArgument, where,
         "nothing follows the file name " + quotedForFault(entry.name) + "; a memory type and an address are missing");
  }

  // 2. Memory type: one character, its code minus '0'.
  const std::size_t typeAt = skipTabsThenBlanks(line, separator + 1);
  const auto typeChar = static_cast<uint8_t>(line[typeAt]);
  const ByteString typeText = line.substr(typeAt, 1);
  if (typeChar < '0') {
    fail(fault::kOverflow, where, "memory type " + quotedForFault(typeText) + " is not a digit (it lies below \"0\")");
  }
  entry.memoryType = static_cast<uint8_t>(typeChar - '0');
  if (onlyBlanksFrom(line, typeAt + 1)) {
    fail(fault::kInvalidArgument, where, "no address follows memory type " + quotedForFault(typeText));
  }

  // 3. Address: the rest of the line.
  entry.address = parseAddress(line.substr(skipTabsThenBlanks(line, typeAt + 1)), where);
  return entry;
}

std::optional<Source> chosenSource(const WindowOps& window) {
  for (const SourceInfo& info : kSources) {
    if (window.sourceSelected(info.source)) return info.source;
  }
  return std::nullopt;
}

std::string chosenTransferList(const WindowOps& window) {
  const std::optional<Source> source = chosenSource(window);
  return source ? sourceInfo(*source).listFile : std::string();
}

std::string listLinePrefix(const std::string& listName, long lineNumber) {
  return listName + " line " + std::to_string(lineNumber) + ": ";
}

std::string memoryTypeLabel(uint8_t memoryType) {
  switch (memoryType) {
    case kMemoryCode: return "Code(";
    case kMemoryMmc: return "MMC(";
    case kMemoryDsdFlash: return "DSD Flash(";
    default: return {};
  }
}

}  // namespace torvane
