#pragma once
// RIPEMD-256 (Dobbertin, Bosselaers, Preneel): the 256-bit member of the
// RIPEMD family, used here only to make the quarantine's cipher key.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace quarantine {

class Ripemd256 {
 public:
  using Digest = std::array<std::uint8_t, 32>;
  Ripemd256();
  void Add(const void* data, std::size_t n);
  Digest Finish();  // the object is spent afterwards

  static Digest Of(std::string_view bytes);

 private:
  void Compress(const std::uint8_t* block);
  std::array<std::uint32_t, 8> h_;
  std::array<std::uint8_t, 64> buffer_{};
  std::size_t buffered_ = 0;
  std::uint64_t length_ = 0;  // bytes added
};

}  // namespace quarantine
