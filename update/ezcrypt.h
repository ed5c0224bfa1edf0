#pragma once
// EZCrypt: the program's keystream cipher for its data files. A 16-bit state
// driven by the plain bytes; the same key restores the text exactly.
#include <cstddef>
#include <cstdint>
#include <string>

namespace update {

struct EzKey {
  std::uint16_t multiplier;
  std::uint16_t increment;
  std::uint16_t start;
};

// Both return false and touch nothing when the lengths differ. The key is
// copied; source and destination may be the same buffer.
bool Encipher(const unsigned char* source, std::size_t sourceLength, unsigned char* destination,
              const EzKey& key, std::size_t destinationLength);
bool Decipher(const unsigned char* source, std::size_t sourceLength, unsigned char* destination,
              const EzKey& key, std::size_t destinationLength);

// Whole-buffer forms, in place.
void EncipherInPlace(std::string& bytes, const EzKey& key);
void DecipherInPlace(std::string& bytes, const EzKey& key);

// The key of this build (the KVX_LANGUAGE_KEY build setting).
EzKey LanguageKey();

}  // namespace update
