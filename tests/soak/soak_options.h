// Seed and run count of a soak, from the command line or the environment.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace torvane::soak {

// True when this build runs under AddressSanitizer (its quarantine keeps
// freed memory resident, so a memory bound means nothing there).
constexpr bool kAddressSanitizer =
#if defined(__SANITIZE_ADDRESS__)
    true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    true;
#else
    false;
#endif
#else
    false;
#endif

// A seed from the text (decimal, 0..2^32-1), or nothing when it is not one.
std::optional<uint32_t> parseSeed(const std::string& text);

// The seed in TORVANE_SOAK_SEED if set and valid, otherwise one from the time.
uint32_t seedFromEnvironment();

}  // namespace torvane::soak
