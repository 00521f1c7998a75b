#include "sim/sha256.h"

#include <openssl/evp.h>

#include <stdexcept>

namespace torvane::sim {
namespace {

void check(int ok, const char* what) {
  if (ok != 1) throw std::runtime_error(std::string("SHA-256: ") + what + " failed");
}

}  // namespace

void Sha256::Free::operator()(evp_md_ctx_st* ctx) const { EVP_MD_CTX_free(ctx); }

Sha256::Sha256() : ctx_(EVP_MD_CTX_new()) {
  if (!ctx_) throw std::bad_alloc();
  check(EVP_DigestInit_ex(ctx_.get(), EVP_sha256(), nullptr), "EVP_DigestInit_ex");
}

void Sha256::update(const void* data, std::size_t length) {
  check(EVP_DigestUpdate(ctx_.get(), data, length), "EVP_DigestUpdate");
}

std::array<uint8_t, 32> Sha256::finish() {
  std::array<uint8_t, 32> digest{};
  unsigned int length = 0;
  check(EVP_DigestFinal_ex(ctx_.get(), digest.data(), &length), "EVP_DigestFinal_ex");
  if (length != digest.size()) throw std::runtime_error("SHA-256: unexpected digest length");
  return digest;
}

std::string sha256Hex(const std::string& data) {
  Sha256 hash;
  hash.update(data.data(), data.size());
  static const char* digits = "0123456789abcdef";
  std::string text;
  for (uint8_t b : hash.finish()) {
    text.push_back(digits[b >> 4]);
    text.push_back(digits[b & 15]);
  }
  return text;
}

}  // namespace torvane::sim
