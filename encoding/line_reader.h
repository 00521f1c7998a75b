// The one text-line reader of the tool, used for transfer lists and S-record
// files. A line ends at CR, at CR LF, or at LF alone; the line end is not part
// of the line. Bytes pass through unchanged. Reads the stream as it goes, so a
// file is never held whole in memory.
#pragma once

#include <istream>

#include "encoding/bytes.h"

namespace torvane {

class LineReader {
 public:
  explicit LineReader(std::istream& in) : in_(in) {}

  // Reads the next line into `line`. Returns false at the end of the stream
  // with no more characters; a last line without a line end is still a line.
  bool next(ByteString& line);

  // 1-based number of the line that next() returned last (0 before the first).
  long lineNumber() const { return lineNumber_; }

  // True when the stream failed for a reason other than reaching its end.
  bool failed() const { return in_.bad(); }

 private:
  std::istream& in_;
  long lineNumber_ = 0;
};

}  // namespace torvane
