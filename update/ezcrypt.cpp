#include "update/ezcrypt.h"

#include "kvx_config.h"

namespace update {
namespace {

template <bool kEncipher>
bool Run(const unsigned char* src, std::size_t srcLen, unsigned char* dst, EzKey key,
         std::size_t dstLen) {
  if (srcLen != dstLen) return false;
  std::uint16_t r = key.start;
  for (std::size_t i = 0; i < srcLen; ++i) {
    const unsigned char in = src[i];  // read before writing: in place works both ways
    const unsigned char out = static_cast<unsigned char>(in ^ (r >> 8));
    dst[i] = out;
    const unsigned char plain = kEncipher ? in : out;
    r = static_cast<std::uint16_t>(((plain + (r & 0xFF)) & 0xFF) * key.multiplier + key.increment);
  }
  return true;
}

}  // namespace

bool Encipher(const unsigned char* source, std::size_t sourceLength, unsigned char* destination,
              const EzKey& key, std::size_t destinationLength) {
  return Run<true>(source, sourceLength, destination, key, destinationLength);
}

bool Decipher(const unsigned char* source, std::size_t sourceLength, unsigned char* destination,
              const EzKey& key, std::size_t destinationLength) {
  return Run<false>(source, sourceLength, destination, key, destinationLength);
}

void EncipherInPlace(std::string& bytes, const EzKey& key) {
  auto* p = reinterpret_cast<unsigned char*>(bytes.data());
  Encipher(p, bytes.size(), p, key, bytes.size());
}

void DecipherInPlace(std::string& bytes, const EzKey& key) {
  auto* p = reinterpret_cast<unsigned char*>(bytes.data());
  Decipher(p, bytes.size(), p, key, bytes.size());
}

EzKey LanguageKey() {
  return {KVX_LANGUAGE_KEY_MULTIPLIER, KVX_LANGUAGE_KEY_INCREMENT, KVX_LANGUAGE_KEY_START};
}

}  // namespace update
