// Transfer lists: which list belongs to which source, and the entry format.
//
// One entry per line:  name <sep> memory-type-digit [blanks/tabs] address
//   - separator: the first tab if the line has one, else the first blank, so a
//     name may contain blanks when a tab follows it;
//   - before the memory type and before the address, leading tabs and then
//     leading blanks are skipped;
//   - memory type: the character's code minus '0' (1 Code, 2 MMC, 3 DSD
//     Flash; other values are sent as they are);
//   - address: "0x"/"0X" followed by hexadecimal digits, or a decimal number
//     with an optional sign; blanks and tabs around it are ignored.
// A line that is empty or holds only blanks and tabs is no entry.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "context/window_ops.h"
#include "encoding/bytes.h"

namespace torvane {

struct ListEntry {
  std::string name;        // image file, relative to the working directory
  uint8_t memoryType = 0;  // sent unchanged in the address frame
  int32_t address = 0;     // may be negative: the address frame rejects it

  bool operator==(const ListEntry&) const = default;
};

// Parses one line (without its line end). Returns nothing for a line of
// blanks and tabs only. Every malformed line is a Fault whose description
// starts with "<listName> line <lineNumber>: " and quotes the offending text:
//   kInvalidArgument  no tab or blank; nothing after the name or after the
//                     memory type; a hexadecimal address that is not exactly
//                     "0x" + hex digits
//   kOverflow         a memory-type character below '0'; an address outside
//                     the signed 32-bit range
//   kTypeMismatch     a decimal address that is not a number
//   kBadFileName      a file name holding a NUL byte
std::optional<ListEntry> parseListLine(const ByteString& line, const std::string& listName, long lineNumber);

// The first selected source option, in the order optCS, optPrgm, optAll,
// OptER; none when none is selected.
std::optional<Source> chosenSource(const WindowOps& window);

// The list of the chosen source; empty when none is selected.
std::string chosenTransferList(const WindowOps& window);

// "<listName> line <lineNumber>: ", the start of every fault description
// about one line of a list.
std::string listLinePrefix(const std::string& listName, long lineNumber);

// Status label of a memory type: "Code(", "MMC(", "DSD Flash(", or empty for
// any other value.
std::string memoryTypeLabel(uint8_t memoryType);

}  // namespace torvane
