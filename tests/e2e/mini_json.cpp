#include "tests/e2e/mini_json.h"

#include <cctype>
#include <cstdlib>
#include <stdexcept>

namespace torvane::e2e {

long long JsonValue::asInt(long long fallback) const {
  if (kind_ != Kind::Number) return fallback;
  return std::strtoll(numberText_.c_str(), nullptr, 10);
}

const JsonValue& JsonValue::operator[](const std::string& key) const {
  static const JsonValue null;
  const auto it = members_.find(key);
  return it == members_.end() ? null : it->second;
}

class JsonParser {
 public:
  explicit JsonParser(const std::string& text) : s_(text) {}

  JsonValue document() {
    JsonValue v = value();
    skipBlanks();
    if (i_ != s_.size()) fail("text after the value");
    return v;
  }

 private:
  [[noreturn]] void fail(const std::string& what) const {
    throw std::runtime_error(what + " at offset " + std::to_string(i_));
  }
  void skipBlanks() {
    while (i_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[i_]))) ++i_;
  }
  char peek() {
    skipBlanks();
    if (i_ >= s_.size()) fail("unexpected end");
    return s_[i_];
  }
  void expect(char c) {
    if (peek() != c) fail(std::string("expected '") + c + "'");
    ++i_;
  }
  bool literal(const char* word) {
    const std::string w(word);
    if (s_.compare(i_, w.size(), w) != 0) return false;
    i_ += w.size();
    return true;
  }

  JsonValue value() {
    JsonValue v;
    const char c = peek();
    if (c == '{') {
      v.kind_ = JsonValue::Kind::Object;
      ++i_;
      if (peek() == '}') return ++i_, v;
      for (;;) {
        if (peek() != '"') fail("expected a key");
        std::string key = string();
        expect(':');
        v.members_[key] = value();
        if (peek() == ',') {
          ++i_;
          continue;
        }
        expect('}');
        return v;
      }
    }
    if (c == '[') {
      v.kind_ = JsonValue::Kind::Array;
      ++i_;
      if (peek() == ']') return ++i_, v;
      for (;;) {
        v.items_.push_back(value());
        if (peek() == ',') {
          ++i_;
          continue;
        }
        expect(']');
        return v;
      }
    }
    if (c == '"') {
      v.kind_ = JsonValue::Kind::String;
      v.text_ = string();
      return v;
    }
    if (literal("true") || literal("false")) {
      v.kind_ = JsonValue::Kind::Bool;
      v.bool_ = s_[i_ - 1] == 'e' && s_[i_ - 2] == 'u';
      return v;
    }
    if (literal("null")) return v;
    return number();
  }

  JsonValue number() {
    const std::size_t start = i_;
    while (i_ < s_.size() && (std::isdigit(static_cast<unsigned char>(s_[i_])) || s_[i_] == '-' || s_[i_] == '+' ||
                              s_[i_] == '.' || s_[i_] == 'e' || s_[i_] == 'E')) {
      ++i_;
    }
    if (i_ == start) fail("unexpected character");
    JsonValue v;
    v.kind_ = JsonValue::Kind::Number;
    v.numberText_ = s_.substr(start, i_ - start);
    char* end = nullptr;
    v.number_ = std::strtod(v.numberText_.c_str(), &end);
    if (end != v.numberText_.c_str() + v.numberText_.size()) fail("malformed number");
    return v;
  }

  unsigned hex4() {
    if (i_ + 4 > s_.size()) fail("short \\u escape");
    unsigned code = 0;
    for (int k = 0; k < 4; ++k) {
      const char h = s_[i_++];
      code <<= 4;
      if (h >= '0' && h <= '9') code |= static_cast<unsigned>(h - '0');
      else if (h >= 'a' && h <= 'f') code |= static_cast<unsigned>(h - 'a' + 10);
      else if (h >= 'A' && h <= 'F') code |= static_cast<unsigned>(h - 'A' + 10);
      else fail("bad \\u escape");
    }
    return code;
  }

  static void appendUtf8(std::string& out, unsigned code) {
    if (code < 0x800) {
      out += static_cast<char>(0xC0 | (code >> 6));
    } else {
      out += static_cast<char>(0xE0 | (code >> 12));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    }
    out += static_cast<char>(0x80 | (code & 0x3F));
  }

  // The simulator writes bytes 0..255 as \u00XX: those come back as the byte.
  std::string string() {
    expect('"');
    std::string out;
    for (;;) {
      if (i_ >= s_.size()) fail("unterminated string");
      const char c = s_[i_++];
      if (c == '"') return out;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (i_ >= s_.size()) fail("unterminated escape");
      const char e = s_[i_++];
      switch (e) {
        case '"': case '\\': case '/': out += e; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'u': {
          const unsigned code = hex4();
          if (code < 0x100) out += static_cast<char>(code);
          else appendUtf8(out, code);
          break;
        }
        default: fail("unknown escape");
      }
    }
  }

  const std::string& s_;
  std::size_t i_ = 0;
};

std::optional<JsonValue> parseJson(const std::string& text, std::string* error) {
  try {
    return JsonParser(text).document();
  } catch (const std::exception& e) {
    if (error) *error = e.what();
    return std::nullopt;
  }
}

}  // namespace torvane::e2e
