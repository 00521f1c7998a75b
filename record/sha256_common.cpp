#include "record/sha256.h"

namespace torvane {

std::string hexText(const Sha256::Digest& digest) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(2 * digest.size());
  for (const uint8_t b : digest) {
    text.push_back(kDigits[b >> 4]);
    text.push_back(kDigits[b & 15]);
  }
  return text;
}

std::string sha256Hex(const std::string& data) {
  Sha256 hash;
  hash.update(data.data(), data.size());
  return hexText(hash.finish());
}

}  // namespace torvane
