#include "record/sha256.h"

#include <gtest/gtest.h>

namespace torvane {
namespace {

// Bytes (i * 7 + 1) mod 256, the lengths around the padding boundaries.
std::string ramp(std::size_t n) {
  std::string s;
  for (std::size_t i = 0; i < n; ++i) s.push_back(static_cast<char>((i * 7 + 1) & 0xFF));
  return s;
}

TEST(Sha256, knownVectors_matchPublishedDigests) {
  const struct {
    std::string input;
    const char* digest;
  } rows[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const auto& row : rows) EXPECT_EQ(sha256Hex(row.input), row.digest) << row.input.substr(0, 10);
}

TEST(Sha256, lengthsAroundTheBlockEdge_matchAnIndependentTool) {
  const struct {
    std::size_t length;
    const char* digest;
  } rows[] = {
      {55, "16fa57a0a3423a715d594516339f36189d6b5f93754a9714fef202616a9fabfe"},
      {56, "c37b44e5f1b18554b36966f4f8e08bfbf3164c4b6c10374d12d89850892073c5"},
      {63, "bbba992d2c85af960fb2987a1fd05e0aa82a3db3c740dd8982a9e273b75e36a3"},
      {64, "66bd4633ed6f71c4ecfa4763bf7ba1c8ec7612de9aa6c0578a7b675207c71e0b"},
      {65, "9f7dc47107b750a1f3d35db5d9547f24ef40da5b731b9540d4f43710a154f6c9"},
      {1000, "095ecb62e30793ab4b954cd6a0586d0cc91f7ea5b1332694d8da780e98676d78"},
  };
  for (const auto& row : rows) EXPECT_EQ(sha256Hex(ramp(row.length)), row.digest) << row.length;
}

TEST(Sha256, updateInPieces_equalsOneUpdate) {
  const std::string data = ramp(1000);
  Sha256 pieces;
  for (std::size_t at = 0; at < data.size(); at += 37)
    pieces.update(data.data() + at, std::min<std::size_t>(37, data.size() - at));
  Sha256 whole;
  whole.update(data.data(), data.size());
  EXPECT_EQ(pieces.finish(), whole.finish());
}

}  // namespace
}  // namespace torvane
