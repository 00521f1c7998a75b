#include "sim/image_rebuilder.h"

#include <gtest/gtest.h>

#include "link/frames.h"

namespace torvane::sim {
namespace {

void acceptAll(ImageRebuilder& r, const std::vector<ByteString>& frames) {
  for (const ByteString& f : frames) {
    ASSERT_EQ(f.size(), r.expectedLength());
    const FrameCheck check = r.inspect(f);
    ASSERT_TRUE(check.crcOk);
    r.accept(f, check);
  }
}

ByteString bytesOf(std::size_t n, char value) { return ByteString(n, value); }

TEST(ImageRebuilder, frameKinds_followTheImageInProgress) {
  ImageRebuilder r;
  EXPECT_EQ(r.expectedLength(), 15u);
  EXPECT_EQ(r.inspect(endFrame()).kind, FrameKind::End);
  const ByteString address = addressFrame(1, 0, 600);
  EXPECT_EQ(r.inspect(address).kind, FrameKind::Address);
  r.accept(address, r.inspect(address));
  EXPECT_TRUE(r.fileInProgress());
  EXPECT_EQ(r.expectedLength(), 514u);
  acceptAll(r, {dataFrame(bytesOf(512, 'a'), 1)});
  EXPECT_EQ(r.expectedLength(), 514u);
  acceptAll(r, {dataFrame(bytesOf(88, 'b'), 1)});
  EXPECT_EQ(r.expectedLength(), 15u);
  ASSERT_EQ(r.images().size(), 1u);
  EXPECT_EQ(r.images()[0].bytes, bytesOf(512, 'a') + bytesOf(88, 'b'));
  EXPECT_TRUE(r.errors().empty());
}

TEST(ImageRebuilder, addressFrameFields_areDecodedBigEndian) {
  ImageRebuilder r;
  acceptAll(r, {addressFrame(3, 0x01020304, 0)});
  const Image& image = r.images().at(0);
  EXPECT_EQ(image.memoryType, 3);
  EXPECT_EQ(image.address, 0x01020304u);
  EXPECT_EQ(image.size, 0u);
  EXPECT_TRUE(image.complete());
  EXPECT_FALSE(r.fileInProgress());
}

TEST(ImageRebuilder, badTrailer_failsTheCrcCheck) {
  ImageRebuilder r;
  for (std::size_t i : {0u, 7u, 13u, 14u}) {
    ByteString f = addressFrame(1, 65536, 131072);
    f[i] = static_cast<char>(f[i] ^ 0x10);
    EXPECT_FALSE(r.inspect(f).crcOk) << i;
  }
  EXPECT_FALSE(r.inspect(ByteString(14, '\xFF')).crcOk);
  EXPECT_EQ(r.inspect(ByteString(14, '\xFF')).kind, FrameKind::Partial);
}

TEST(ImageRebuilder, padding_isCheckedPerMemoryType) {
  const struct {
    uint8_t type;
    uint8_t sentPadding;
    bool error;
  } rows[] = {{1, 1, false}, {2, 2, false}, {3, 3, false}, {3, 1, true}, {1, 3, true}};
  for (const auto& row : rows) {
    ImageRebuilder r;
    acceptAll(r, {addressFrame(row.type, 0, 10), dataFrame(bytesOf(10, 'x'), row.sentPadding)});
    EXPECT_EQ(r.errors().size(), row.error ? 1u : 0u) << int{row.type} << "/" << int{row.sentPadding};
    EXPECT_EQ(r.images().at(0).bytes, bytesOf(10, 'x'));
  }
}

TEST(ImageRebuilder, reservedBytesOrHugeAddress_areRecordedAsErrors) {
  ImageRebuilder r;
  ByteString f = addressFrame(1, 0, 0).substr(0, 13);
  f[2] = 1;
  f[5] = static_cast<char>(0x80);
  appendChecksum(f);
  acceptAll(r, {f});
  EXPECT_EQ(r.errors().size(), 2u);
}

TEST(ImageRebuilder, newSessionMidImage_leavesItIncomplete) {
  ImageRebuilder r;
  acceptAll(r, {addressFrame(1, 0, 1000), dataFrame(bytesOf(512, 'a'), 1)});
  r.startSession(2);
  EXPECT_EQ(r.expectedLength(), 15u);
  EXPECT_FALSE(r.images().at(0).complete());
  EXPECT_EQ(r.errors().size(), 1u);
  acceptAll(r, {addressFrame(1, 0, 0), endFrame()});
  EXPECT_EQ(r.images().at(1).session, 2);
  EXPECT_TRUE(r.endReceived());
}

}  // namespace
}  // namespace torvane::sim
