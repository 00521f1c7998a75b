#include "encoding/line_reader.h"

namespace torvane {

bool LineReader::next(ByteString& line) {
  line.clear();
  std::streambuf* buf = in_.rdbuf();
  if (buf == nullptr || !in_.good()) return false;
  using Traits = std::char_traits<char>;
  bool any = false;
  for (;;) {
    const auto c = buf->sbumpc();
    if (Traits::eq_int_type(c, Traits::eof())) {
      in_.setstate(std::ios::eofbit);
      break;
    }
    any = true;
    const char ch = Traits::to_char_type(c);
    if (ch == '\n') break;
    if (ch == '\r') {
      if (Traits::eq_int_type(buf->sgetc(), Traits::to_int_type('\n'))) buf->sbumpc();
      break;
    }
    line.push_back(ch);
  }
  if (!any) return false;
  ++lineNumber_;
  return true;
}

}  // namespace torvane
