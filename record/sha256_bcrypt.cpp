// Sha256 on Windows' BCrypt (Cryptography API: Next Generation).
// clang-format off
#include <windows.h>
#include <bcrypt.h>
// clang-format on

#include <algorithm>
#include <climits>

#include "encoding/fault.h"
#include "record/sha256.h"

namespace torvane {

namespace {

void check(NTSTATUS status, const char* what) {
  if (status < 0) throw Fault(fault::kInternal, std::string("SHA-256: ") + what + " failed", "Sha256");
}

}  // namespace

struct Sha256::State {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;

  ~State() {
    if (hash != nullptr) BCryptDestroyHash(hash);
    if (algorithm != nullptr) BCryptCloseAlgorithmProvider(algorithm, 0);
  }
};

Sha256::~Sha256() = default;
Sha256::Sha256(Sha256&&) noexcept = default;
Sha256& Sha256::operator=(Sha256&&) noexcept = default;

Sha256::Sha256() : state_(std::make_unique<State>()) {
  check(BCryptOpenAlgorithmProvider(&state_->algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0),
        "BCryptOpenAlgorithmProvider");
  reset();
}

void Sha256::reset() {
  if (state_->hash != nullptr) BCryptDestroyHash(state_->hash);
  state_->hash = nullptr;
  check(BCryptCreateHash(state_->algorithm, &state_->hash, nullptr, 0, nullptr, 0, 0), "BCryptCreateHash");
}

void Sha256::update(const void* data, std::size_t length) {
  auto* bytes = static_cast<UCHAR*>(const_cast<void*>(data));
  while (length > 0) {  // BCryptHashData takes at most ULONG_MAX bytes a call
    const ULONG piece = static_cast<ULONG>(std::min<std::size_t>(length, ULONG_MAX));
    check(BCryptHashData(state_->hash, bytes, piece, 0), "BCryptHashData");
    bytes += piece;
    length -= piece;
  }
}

Sha256::Digest Sha256::finish() {
  Digest digest{};
  check(BCryptFinishHash(state_->hash, digest.data(), static_cast<ULONG>(digest.size()), 0), "BCryptFinishHash");
  reset();
  return digest;
}

}  // namespace torvane
