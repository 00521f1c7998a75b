#include "tests/soak/soak_options.h"

#include <chrono>
#include <cstdlib>

namespace torvane::soak {

std::optional<uint32_t> parseSeed(const std::string& text) {
  if (text.empty() || text.size() > 10 || text.find_first_not_of("0123456789") != std::string::npos) {
    return std::nullopt;
  }
  const unsigned long long value = std::stoull(text);
  if (value > UINT32_MAX) return std::nullopt;
  return static_cast<uint32_t>(value);
}

uint32_t seedFromEnvironment() {
  if (const char* text = std::getenv("TORVANE_SOAK_SEED")) {
    if (const auto seed = parseSeed(text)) return *seed;
  }
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::microseconds>(now).count());
}

}  // namespace torvane::soak
