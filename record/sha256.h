// SHA-256, the one digest of the project: the update log hashes the bytes of
// every entry it sends, the simulated machine the images it rebuilds. The
// work is the host's: OpenSSL's libcrypto (EVP) on Linux and other Unix
// systems, BCrypt on Windows. A failure of the host's library is a Fault
// (fault::kInternal).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace torvane {

class Sha256 {
 public:
  using Digest = std::array<uint8_t, 32>;

  Sha256();
  ~Sha256();
  Sha256(Sha256&&) noexcept;
  Sha256& operator=(Sha256&&) noexcept;

  void update(const void* data, std::size_t length);
  // The digest of the bytes added since construction or the last finish()
  // or reset(); the object then starts a new digest.
  Digest finish();
  // Drops the bytes added so far.
  void reset();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// Lower-case hexadecimal text of a digest (64 characters).
std::string hexText(const Sha256::Digest& digest);

// Lower-case hexadecimal digest of `data`.
std::string sha256Hex(const std::string& data);

}  // namespace torvane
