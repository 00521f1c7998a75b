// SHA-256 (FIPS 180-4), used to fingerprint the images the simulated machine
// rebuilds so that a test can compare them with the files the tool sent.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace torvane::sim {

class Sha256 {
 public:
  Sha256();
  void update(const void* data, std::size_t length);
  // Finishes the digest; the object must not be updated afterwards.
  std::array<uint8_t, 32> finish();

 private:
  void compress(const uint8_t* block);

  std::array<uint32_t, 8> state_;
  std::array<uint8_t, 64> buffer_{};
  std::size_t buffered_ = 0;
  uint64_t totalBytes_ = 0;
};

// Lower-case hexadecimal digest of data.
std::string sha256Hex(const std::string& data);

}  // namespace torvane::sim
