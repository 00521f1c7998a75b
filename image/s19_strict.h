// The strict reading of an S-record file that torvane-s19 makes before it
// converts: every line up to the terminator (S7, S8 or S9) must be a whole,
// well-formed record — "S", a type digit, the count byte, that many bytes in
// upper- or lower-case hexadecimal digits and nothing else, the address size
// of its type, and a checksum that matches — and at least one data record
// (S1, S2 or S3) must come before the terminator. Empty lines are passed
// over. The converter itself reads far more leniently (a line is a record if
// it holds the tag anywhere; other characters count as the digit 0); this
// check stands before it so that a file that is not S-records is refused
// instead of being turned into images.
#pragma once

#include <istream>

namespace torvane {

// Throws a Fault (fault::kInvalidArgument, source "ConvertS19") whose
// description ends with "(line N)" for the first line that fails, or
// names the missing data record.
void checkS19Strictly(std::istream& in);

}  // namespace torvane
