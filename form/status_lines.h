// What the status line shows of its text: whole lines only. The text is cut
// into paragraphs at each CR LF (or LF); a paragraph wraps at word
// boundaries, and inside a word that is too long for a line. When the text
// needs more lines than the label holds, the last line that fits takes the
// rest of the text and ends with "…", cut to the width. The text itself is
// never changed: only what is painted.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace torvane::form {

// The painted width of a piece of the text (UTF-8) in the label's font.
using TextWidth = std::function<int(std::string_view)>;

// The lines to paint for `text` in a label `width` wide that holds
// `lineCount` lines (at least one is painted).
std::vector<std::string> shownStatusLines(std::string_view text, int width, int lineCount, const TextWidth& measure);

}  // namespace torvane::form
