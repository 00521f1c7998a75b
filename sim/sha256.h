// SHA-256 of the images the simulated machine rebuilds, so that a test can
// compare them with the files the tool sent. The digest is OpenSSL's.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

struct evp_md_ctx_st;  // OpenSSL's EVP_MD_CTX

namespace torvane::sim {

class Sha256 {
 public:
  Sha256();
  void update(const void* data, std::size_t length);
  // Finishes the digest; the object must not be updated afterwards.
  std::array<uint8_t, 32> finish();

 private:
  struct Free {
    void operator()(evp_md_ctx_st* ctx) const;
  };
  std::unique_ptr<evp_md_ctx_st, Free> ctx_;
};

// Lower-case hexadecimal digest of data.
std::string sha256Hex(const std::string& data);

}  // namespace torvane::sim
