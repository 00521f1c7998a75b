// Fuzzes the transfer-list line parser. Any line either gives an entry that
// reads back the same when written out again, or no entry (blanks and tabs
// only), or a torvane::Fault with a known number and a short, located
// description. Nothing else may leave the parser.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <sstream>
#include <string>

#include "encoding/fault.h"
#include "encoding/line_reader.h"
#include "run/transfer_list.h"

namespace {

const std::string kList = "program.txt";
// Descriptions quote at most 60 bytes of the line, escaped: a line of any
// length must not give a message box of any length.
constexpr std::size_t kLongestDescription = 400;

bool onlyBlanks(const std::string& line) { return line.find_first_not_of(" \t") == std::string::npos; }

bool knownNumber(int32_t number) {
  using namespace torvane::fault;
  return number == kInvalidArgument || number == kOverflow || number == kTypeMismatch || number == kBadFileName;
}

void checkFault(const torvane::Fault& f, long lineNumber) {
  const std::string where = kList + " line " + std::to_string(lineNumber) + ": ";
  if (!knownNumber(f.number()) || f.description().rfind(where, 0) != 0 || f.source() != "transfer list" ||
      f.description().size() > kLongestDescription) {
    std::abort();
  }
}

// The entry written out with tabs and a decimal address must parse to itself.
void checkEntry(const std::string& line, const torvane::ListEntry& entry) {
  std::size_t separator = line.find('\t');
  if (separator == std::string::npos) separator = line.find(' ');
  if (onlyBlanks(line) || separator == std::string::npos || entry.name != line.substr(0, separator) ||
      entry.name.find('\0') != std::string::npos) {
    std::abort();
  }
  const std::string written =
      entry.name + '\t' + static_cast<char>(entry.memoryType + '0') + '\t' + std::to_string(entry.address);
  const std::optional<torvane::ListEntry> again = torvane::parseListLine(written, kList, 1);
  if (!again || *again != entry) std::abort();
}

void parseOne(const std::string& line, long lineNumber) {
  try {
    const std::optional<torvane::ListEntry> entry = torvane::parseListLine(line, kList, lineNumber);
    if (!entry) {
      if (!onlyBlanks(line)) std::abort();
    } else {
      checkEntry(line, *entry);
    }
  } catch (const torvane::Fault& f) {
    checkFault(f, lineNumber);
  }
  // Any other exception escapes and libFuzzer reports it as a crash.
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);

  // The whole input as one line, line ends included.
  parseOne(input, 1);

  // The input as a list file: every line the reader gives.
  std::istringstream in(input);
  torvane::LineReader reader(in);
  std::string line;
  while (reader.next(line)) parseOne(line, reader.lineNumber());
  return 0;
}
