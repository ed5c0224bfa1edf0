#include <gtest/gtest.h>

#include "update/ezcrypt.h"

using update::EzKey;

namespace {

const EzKey kKey{0x5BD1, 0x2F1B, 0x9C47};

std::string Enc(std::string s, const EzKey& k) {
  update::EncipherInPlace(s, k);
  return s;
}

TEST(EzCrypt, KnownBytesOfTheKeystream) {
  // First byte: XOR with the high byte of the start state. Then
  // R = ((P + R mod 256) mod 256) * M + A, all 16-bit.
  const EzKey k{3, 5, 0x1234};
  std::string out = Enc("AB", k);
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(static_cast<unsigned char>(out[0]), 'A' ^ 0x12);
  const std::uint16_t r1 = static_cast<std::uint16_t>((('A' + 0x34) & 0xFF) * 3 + 5);
  EXPECT_EQ(static_cast<unsigned char>(out[1]), 'B' ^ (r1 >> 8));
}

TEST(EzCrypt, RoundTripsInPlaceAndIntoASecondBuffer) {
  std::string text;
  for (int i = 0; i < 3000; ++i) text += static_cast<char>(i * 7 + (i >> 3));
  const std::string enc = Enc(text, kKey);
  EXPECT_NE(enc, text);

  std::string second(enc.size(), '\0');
  ASSERT_TRUE(update::Decipher(reinterpret_cast<const unsigned char*>(enc.data()), enc.size(),
                               reinterpret_cast<unsigned char*>(second.data()), kKey, second.size()));
  std::string inPlace = enc;
  update::DecipherInPlace(inPlace, kKey);
  EXPECT_EQ(second, text);
  EXPECT_EQ(inPlace, text);

  // The caller's key is not changed.
  EXPECT_EQ(kKey.start, 0x9C47);
}

TEST(EzCrypt, LengthsMustAgree) {
  unsigned char src[4] = {1, 2, 3, 4};
  unsigned char dst[4] = {9, 9, 9, 9};
  EXPECT_FALSE(update::Encipher(src, 4, dst, kKey, 3));
  EXPECT_FALSE(update::Decipher(src, 3, dst, kKey, 4));
  for (unsigned char b : dst) EXPECT_EQ(b, 9);
  EXPECT_TRUE(update::Encipher(src, 0, dst, kKey, 0));
  EXPECT_TRUE(update::Decipher(src, 0, dst, kKey, 0));
  EXPECT_EQ(dst[0], 9);
}

TEST(EzCrypt, EveryKeyWordMatters) {
  const std::string text = "Database date: 2026-12-01 (r0001)\r\n";
  const std::string base = Enc(text, kKey);
  const EzKey changed[] = {{0x5BD3, 0x2F1B, 0x9C47}, {0x5BD1, 0x2F1C, 0x9C47},
                           {0x5BD1, 0x2F1B, 0x9D47}, {0x5BD1, 0x2F1B, 0x9C48}};
  for (const auto& k : changed) {
    const std::string other = Enc(text, k);
    // The first byte depends on the high byte of the start state alone.
    EXPECT_EQ(other[0] != base[0], (k.start >> 8) != (kKey.start >> 8));
    std::string back = other;
    update::DecipherInPlace(back, kKey);
    EXPECT_NE(back, text);
  }
}

}  // namespace
