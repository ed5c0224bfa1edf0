#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "engine/helpers.h"
#include "quarantine/quarantine_transform.h"
#include "quarantine/ripemd256.h"

namespace {

std::string Hex(std::string_view bytes);
std::string Hex(const quarantine::Ripemd256::Digest& d) {
  return Hex(std::string_view(reinterpret_cast<const char*>(d.data()), d.size()));
}

using quarantine::Direction;

std::string Hex(std::string_view bytes) {
  static const char* kDigits = "0123456789abcdef";
  std::string s;
  for (unsigned char b : bytes) s += {kDigits[b >> 4], kDigits[b & 15]};
  return s;
}

// Every test vector the authors of RIPEMD-256 publish.
TEST(Ripemd256, AuthorsTestVectors) {
  struct {
    std::string message;
    const char* digest;
  } cases[] = {
      {"", "02ba4c4e5f8ecd1877fc52d64d30e37a2d9774fb1e5d026380ae0168e3c5522d"},
      {"a", "f9333e45d857f5d90a91bab70a1eba0cfb1be4b0783c9acfcd883a9134692925"},
      {"abc", "afbd6e228b9d8cbbcef5ca2d03e6dba10ac0bc7dcbe4680e1e42d2e975459b65"},
      {"message digest", "87e971759a1ce47a514d5c914c392c9018c7c46bc14465554afcdf54a5070c0e"},
      {"abcdefghijklmnopqrstuvwxyz",
       "649d3034751ea216776bf9a18acc81bc7896118a5197968782dd1fd97d8d5133"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "3843045583aac6c8c8d9128573e7a9809afb2a0f34ccc36ea9e72f16f6368e3f"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "5740a408ac16b720b84424ae931cbb1fe363d1d0bf4017f1a89f7ea6de77a0b8"},
      {"1234567890123456789012345678901234567890"
       "1234567890123456789012345678901234567890",
       "06fdcc7a409548aaf91368c06a6275b553e3f099bf0ea4edfd6778df89a890dd"},
      {std::string(1000000, 'a'),
       "ac953744e10e31514c150d4d8d7b677342e33399788296e43ae4850ce4f97978"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Hex(quarantine::Ripemd256::Of(c.message)), c.digest) << c.message.substr(0, 20);
    // The same digest whatever pieces the message comes in.
    quarantine::Ripemd256 r;
    for (std::size_t i = 0; i < c.message.size(); i += 37)
      r.Add(c.message.data() + i, std::min<std::size_t>(37, c.message.size() - i));
    EXPECT_EQ(Hex(r.Finish()), c.digest) << c.message.substr(0, 20);
  }
}

std::string Sample(std::size_t n) {
  std::string s(n, '\0');
  for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>(i * 7 + 3);
  return s;
}

// Stored copies of byte i = 7i + 3, worked out apart from this program (a
// script calling libgcrypt's Blowfish block by block under the key
// RIPEMD-256("61840397") = 85800579...ecba7457).
TEST(QuarantineTransform, FixedVectors) {
  struct {
    std::size_t length;
    const char* stored;  // hex, or the MD5 text of the stored copy
  } cases[] = {
      {0, ""},
      {1, "ff"},
      {7, "ffb32879a3f884"},
      {8, "6e137935ec9dfe1c"},
      {9, "6e137935ec9dfe1c54"},
      {17, "6e137935ec9dfe1c6fa83ab6fef2dc036e"},
      {4097, "32bf7e78585fcecf94157ecd7b1910d7"},
  };
  for (const auto& c : cases) {
    const std::string source = Sample(c.length);
    std::string stored = source;
    ASSERT_TRUE(quarantine::TransformBytes(stored, Direction::Inverse));
    ASSERT_EQ(stored.size(), source.size());
    EXPECT_EQ(c.length > 17 ? engine::Md5Hex(stored) : Hex(stored), c.stored) << c.length;
    if (c.length > 0) {
      EXPECT_NE(stored, source);
    }
    std::string back = stored;
    ASSERT_TRUE(quarantine::TransformBytes(back, Direction::Forward));
    EXPECT_EQ(back, source) << c.length;
  }
}

// The register carries over between pieces: any cut into whole blocks plus a
// last remainder gives the one-piece result, in both directions.
TEST(QuarantineTransform, PiecesGiveTheSameStream) {
  const std::string source = Sample(4097);
  for (Direction d : {Direction::Inverse, Direction::Forward}) {
    std::string whole = source;
    ASSERT_TRUE(quarantine::TransformBytes(whole, d));
    for (std::size_t piece : {8u, 64u, 4096u}) {
      std::string cut = source;
      quarantine::QuarantineTransform t(d);
      auto* p = reinterpret_cast<std::uint8_t*>(cut.data());
      std::size_t at = 0;
      for (; at + piece <= cut.size(); at += piece) ASSERT_TRUE(t.Code(p + at, piece));
      ASSERT_TRUE(t.Code(p + at, cut.size() - at));
      EXPECT_EQ(cut, whole) << piece;
      // From one buffer into another, as files are coded.
      std::string into(source.size(), '\0');
      quarantine::QuarantineTransform apart(d);
      auto* in = reinterpret_cast<const std::uint8_t*>(source.data());
      auto* out = reinterpret_cast<std::uint8_t*>(into.data());
      for (at = 0; at + piece <= source.size(); at += piece) apart.Code(in + at, out + at, piece);
      apart.Code(in + at, out + at, source.size() - at);
      EXPECT_EQ(into, whole) << piece;
      // A partial block ended the stream.
      std::uint8_t more[8] = {};
      EXPECT_FALSE(t.Code(more, 8));
    }
  }
}

}  // namespace
