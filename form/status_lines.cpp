#include "form/status_lines.h"

#include <algorithm>

namespace torvane::form {

namespace {

constexpr std::string_view kEllipsis = "\u2026";

// Length of the character that starts at `at`: a whole UTF-8 sequence, or
// one byte where the text is not UTF-8.
std::size_t charLength(std::string_view text, std::size_t at) {
  const auto lead = static_cast<unsigned char>(text[at]);
  const std::size_t n = lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
  if (at + n > text.size()) return 1;
  for (std::size_t i = 1; i < n; ++i) {
    if ((static_cast<unsigned char>(text[at + i]) & 0xC0) != 0x80) return 1;
  }
  return n;
}

std::vector<std::string_view> paragraphs(std::string_view text) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  for (std::size_t lf = text.find('\n'); lf != std::string_view::npos; lf = text.find('\n', start)) {
    std::size_t end = lf;
    if (end > start && text[end - 1] == '\r') --end;
    parts.push_back(text.substr(start, end - start));
    start = lf + 1;
  }
  parts.push_back(text.substr(start));
  return parts;
}

// The longest start of `text` that fits `width`, whole characters only, at
// least one character.
std::size_t fittingChars(std::string_view text, int width, const TextWidth& measure) {
  std::size_t fits = charLength(text, 0);
  for (std::size_t at = fits; at < text.size();) {
    const std::size_t next = at + charLength(text, at);
    if (measure(text.substr(0, next)) > width) break;
    fits = at = next;
  }
  return fits;
}

// Where the line that starts `text` ends: after the last run of blanks whose
// words before it fit (blanks at a line's end take no room; leading blanks
// belong to the first word), else inside the first word.
std::size_t lineEnd(std::string_view text, int width, const TextWidth& measure) {
  if (measure(text) <= width) return text.size();
  std::size_t at = text.find_first_not_of(' ');
  if (at == std::string_view::npos) return text.size();
  std::size_t end = 0;
  for (at = text.find(' ', at); at != std::string_view::npos; at = text.find(' ', at)) {
    if (measure(text.substr(0, at)) > width) break;
    at = std::min(text.find_first_not_of(' ', at), text.size());
    end = at;
  }
  return end > 0 ? end : fittingChars(text, width, measure);
}

struct Line {
  std::string text;
  bool endsParagraph = false;
};

void wrap(std::string_view paragraph, int width, const TextWidth& measure, std::vector<Line>& lines) {
  if (paragraph.empty()) {
    lines.push_back({{}, true});
    return;
  }
  while (!paragraph.empty()) {
    const std::size_t end = lineEnd(paragraph, width, measure);
    lines.push_back({std::string(paragraph.substr(0, end)), false});
    paragraph.remove_prefix(end);
  }
  lines.back().endsParagraph = true;
}

std::string trimmed(const std::string& text) {
  const std::size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// The rest of the text on one line: everything from `first` on, with "…"
// after it, cut at the right so that it fits.
std::string elided(const std::vector<Line>& lines, std::size_t first, int width, const TextWidth& measure) {
  std::string rest;
  for (std::size_t i = first; i < lines.size(); ++i) {
    rest += lines[i].text;
    if (lines[i].endsParagraph && (rest.empty() || rest.back() != ' ')) rest += ' ';
  }
  rest = trimmed(rest);
  std::string shown = rest + std::string(kEllipsis);
  while (!rest.empty() && measure(shown) > width) {
    std::size_t cut = 0;
    for (std::size_t at = 0; at < rest.size(); at += charLength(rest, at)) cut = at;
    rest.erase(cut);
    shown = rest + std::string(kEllipsis);
  }
  return shown;
}

}  // namespace

std::vector<std::string> shownStatusLines(std::string_view text, int width, int lineCount, const TextWidth& measure) {
  width = std::max(width, 1);
  const auto fitting = static_cast<std::size_t>(std::max(lineCount, 1));
  std::vector<Line> lines;
  for (std::string_view paragraph : paragraphs(text)) wrap(paragraph, width, measure, lines);
  std::vector<std::string> shown;
  for (std::size_t i = 0; i < std::min(fitting, lines.size()); ++i) shown.push_back(lines[i].text);
  if (lines.size() > fitting) shown.back() = elided(lines, fitting - 1, width, measure);
  return shown;
}

}  // namespace torvane::form
