// A small JSON reader for the simulator's report: objects, arrays, strings
// (\uXXXX below 256 become that byte, others UTF-8), numbers, true, false and
// null. Enough for machine-written files; it is not a validator.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace torvane::e2e {

class JsonValue {
 public:
  enum class Kind { Null, Bool, Number, String, Array, Object };

  Kind kind() const { return kind_; }
  bool isNull() const { return kind_ == Kind::Null; }

  // Typed reads; a value of another kind gives the fallback.
  bool asBool(bool fallback = false) const { return kind_ == Kind::Bool ? bool_ : fallback; }
  double asNumber(double fallback = 0) const { return kind_ == Kind::Number ? number_ : fallback; }
  long long asInt(long long fallback = 0) const;
  const std::string& asString() const { return text_; }  // empty unless a string

  // Array elements; empty unless an array.
  const std::vector<JsonValue>& items() const { return items_; }
  // Object member, or a null value when absent (or not an object).
  const JsonValue& operator[](const std::string& key) const;
  bool has(const std::string& key) const { return members_.count(key) > 0; }
  const std::map<std::string, JsonValue>& members() const { return members_; }

 private:
  friend class JsonParser;
  Kind kind_ = Kind::Null;
  bool bool_ = false;
  double number_ = 0;
  std::string numberText_;
  std::string text_;
  std::vector<JsonValue> items_;
  std::map<std::string, JsonValue> members_;
};

// The document's value, or nothing (with the reason in error) when the text
// is not well-formed JSON.
std::optional<JsonValue> parseJson(const std::string& text, std::string* error = nullptr);

}  // namespace torvane::e2e
