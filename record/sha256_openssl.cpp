// Sha256 on OpenSSL's EVP interface.
#include <openssl/evp.h>

#include "encoding/fault.h"
#include "record/sha256.h"

namespace torvane {

namespace {

void check(int ok, const char* what) {
  if (ok != 1) throw Fault(fault::kInternal, std::string("SHA-256: ") + what + " failed", "Sha256");
}

}  // namespace

struct Sha256::State {
  struct Free {
    void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
  };
  std::unique_ptr<EVP_MD_CTX, Free> ctx{EVP_MD_CTX_new()};
};

Sha256::~Sha256() = default;
Sha256::Sha256(Sha256&&) noexcept = default;
Sha256& Sha256::operator=(Sha256&&) noexcept = default;

Sha256::Sha256() : state_(std::make_unique<State>()) {
  if (!state_->ctx) throw Fault(fault::kOutOfMemory, "SHA-256: EVP_MD_CTX_new failed", "Sha256");
  reset();
}

void Sha256::reset() { check(EVP_DigestInit_ex(state_->ctx.get(), EVP_sha256(), nullptr), "EVP_DigestInit_ex"); }

void Sha256::update(const void* data, std::size_t length) {
  check(EVP_DigestUpdate(state_->ctx.get(), data, length), "EVP_DigestUpdate");
}

Sha256::Digest Sha256::finish() {
  Digest digest{};
  unsigned int length = 0;
  check(EVP_DigestFinal_ex(state_->ctx.get(), digest.data(), &length), "EVP_DigestFinal_ex");
  check(length == digest.size() ? 1 : 0, "the digest's length");
  reset();
  return digest;
}

}  // namespace torvane
