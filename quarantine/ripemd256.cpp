#include "quarantine/ripemd256.h"

#include <cstring>
#include <utility>

namespace quarantine {
namespace {

// Message word order and rotation amounts per step, left and right line:
// the first four rounds of RIPEMD-160.
constexpr std::uint8_t kR[64] = {
    0, 1, 2,  3,  4,  5,  6,  7,  8,  9, 10, 11, 12, 13, 14, 15,
    7, 4, 13, 1,  10, 6,  15, 3,  12, 0, 9,  5,  2,  14, 11, 8,
    3, 10, 14, 4, 9,  15, 8,  1,  2,  7, 0,  6,  13, 11, 5,  12,
    1, 9, 11, 10, 0,  8,  12, 4,  13, 3, 7,  15, 14, 5,  6,  2};
constexpr std::uint8_t kRR[64] = {
    5,  14, 7,  0, 9, 2,  11, 4,  13, 6,  15, 8,  1,  10, 3,  12,
    6,  11, 3,  7, 0, 13, 5,  10, 14, 15, 8,  12, 4,  9,  1,  2,
    15, 5,  1,  3, 7, 14, 6,  9,  11, 8,  12, 2,  10, 0,  4,  13,
    8,  6,  4,  1, 3, 11, 15, 0,  5,  12, 2,  13, 9,  7,  10, 14};
constexpr std::uint8_t kS[64] = {
    11, 14, 15, 12, 5,  8,  7,  9,  11, 13, 14, 15, 6,  7,  9,  8,
    7,  6,  8,  13, 11, 9,  7,  15, 7,  12, 15, 9,  11, 7,  13, 12,
    11, 13, 6,  7,  14, 9,  13, 15, 14, 8,  13, 6,  5,  12, 7,  5,
    11, 12, 14, 15, 14, 15, 9,  8,  9,  14, 5,  6,  8,  6,  5,  12};
constexpr std::uint8_t kSR[64] = {
    8,  9,  9,  11, 13, 15, 15, 5,  7,  7,  8,  11, 14, 14, 12, 6,
    9,  13, 15, 7,  12, 8,  9,  11, 7,  7,  12, 7,  6,  15, 13, 11,
    9,  7,  15, 11, 8,  6,  6,  14, 12, 13, 5,  14, 13, 13, 7,  5,
    15, 5,  8,  11, 14, 14, 6,  14, 6,  9,  12, 9,  12, 5,  15, 8};
constexpr std::uint32_t kK[4] = {0x00000000, 0x5A827999, 0x6ED9EBA1, 0x8F1BBCDC};
constexpr std::uint32_t kKR[4] = {0x50A28BE6, 0x5C4DD124, 0x6D703EF3, 0x00000000};

constexpr std::uint32_t Rol(std::uint32_t x, unsigned n) { return (x << n) | (x >> (32 - n)); }

// The four boolean functions; the right line uses them in reverse order.
constexpr std::uint32_t F(int round, std::uint32_t x, std::uint32_t y, std::uint32_t z) {
  switch (round) {
    case 0: return x ^ y ^ z;
    case 1: return (x & y) | (~x & z);
    case 2: return (x | ~y) ^ z;
    default: return (x & z) | (y & ~z);
  }
}

}  // namespace

Ripemd256::Ripemd256()
    : h_{0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476,
         0x76543210, 0xFEDCBA98, 0x89ABCDEF, 0x01234567} {}

void Ripemd256::Compress(const std::uint8_t* block) {
  std::uint32_t x[16];
  for (int i = 0; i < 16; ++i)
    x[i] = std::uint32_t(block[4 * i]) | std::uint32_t(block[4 * i + 1]) << 8 |
           std::uint32_t(block[4 * i + 2]) << 16 | std::uint32_t(block[4 * i + 3]) << 24;
  std::uint32_t a = h_[0], b = h_[1], c = h_[2], d = h_[3];
  std::uint32_t aa = h_[4], bb = h_[5], cc = h_[6], dd = h_[7];
  for (int j = 0; j < 64; ++j) {
    const int round = j / 16;
    std::uint32_t t = Rol(a + F(round, b, c, d) + x[kR[j]] + kK[round], kS[j]);
    a = d, d = c, c = b, b = t;
    t = Rol(aa + F(3 - round, bb, cc, dd) + x[kRR[j]] + kKR[round], kSR[j]);
    aa = dd, dd = cc, cc = bb, bb = t;
    // After each round one register changes lines: A, then B, C and D.
    if (j % 16 == 15) {
      switch (round) {
        case 0: std::swap(a, aa); break;
        case 1: std::swap(b, bb); break;
        case 2: std::swap(c, cc); break;
        default: std::swap(d, dd); break;
      }
    }
  }
  h_[0] += a, h_[1] += b, h_[2] += c, h_[3] += d;
  h_[4] += aa, h_[5] += bb, h_[6] += cc, h_[7] += dd;
}

void Ripemd256::Add(const void* data, std::size_t n) {
  auto* p = static_cast<const std::uint8_t*>(data);
  length_ += n;
  while (n > 0) {
    const std::size_t take = std::min(n, buffer_.size() - buffered_);
    std::memcpy(buffer_.data() + buffered_, p, take);
    buffered_ += take, p += take, n -= take;
    if (buffered_ == buffer_.size()) {
      Compress(buffer_.data());
      buffered_ = 0;
    }
  }
}

Ripemd256::Digest Ripemd256::Finish() {
  // MD4-style padding: 0x80, zeros, then the bit length, least significant
  // byte first.
  const std::uint64_t bits = length_ * 8;
  const std::uint8_t one = 0x80, zero = 0;
  Add(&one, 1);
  while (buffered_ != 56) Add(&zero, 1);
  std::uint8_t len[8];
  for (int i = 0; i < 8; ++i) len[i] = static_cast<std::uint8_t>(bits >> (8 * i));
  Add(len, 8);
  Digest out;
  for (int i = 0; i < 8; ++i)
    for (int k = 0; k < 4; ++k) out[4 * i + k] = static_cast<std::uint8_t>(h_[i] >> (8 * k));
  return out;
}

Ripemd256::Digest Ripemd256::Of(std::string_view bytes) {
  Ripemd256 r;
  r.Add(bytes.data(), bytes.size());
  return r.Finish();
}

}  // namespace quarantine
