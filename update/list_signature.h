#pragma once
// The signature of the update list: pure Ed25519 (RFC 8032) through
// libgcrypt over the exact bytes of "list.htm", published beside it as
// "list.sig" (128 hexadecimal digits). Keys are 32 bytes written as 64
// hexadecimal digits: the public key is what a build takes, the secret key
// (the RFC's seed) stays with the vendor.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace update {

// "list.sig": 128 hexadecimal digits, a trailing CR LF (or LF) allowed; the
// 64 signature bytes, nullopt for anything else.
std::optional<std::string> ParseSignatureText(std::string_view text);
// A key file or setting: 64 hexadecimal digits, a trailing CR LF (or LF)
// allowed; the 32 key bytes, nullopt for anything else.
std::optional<std::string> ParseKeyText(std::string_view text);

// Whether `signature` (64 bytes) signs `message` under the public key given
// as 64 hexadecimal digits. False for a key that is not one.
bool VerifySignature(std::string_view publicKeyHex, std::string_view message,
                     std::string_view signature);

// The vendor's side, for the author's tool and the tests.
struct KeyPair {
  std::string secretHex;  // 64 digits
  std::string publicHex;  // 64 digits, the build setting
};
std::optional<KeyPair> GenerateKeyPair();
// The public key of a secret key (64 digits each); empty when it is not one.
std::string PublicKeyOf(std::string_view secretHex);
// The signature of the message as 128 lower-case digits; empty on failure.
std::string SignHex(std::string_view secretHex, std::string_view message);

// The list with its lines 1 to 6 kept (missing ones added empty), every
// "serial=" line and the hash lines of the given paths replaced by
// "serial=N" and one "PATH sha256=HEX" line per file, CR LF line ends.
std::string SealList(std::string_view list, std::uint32_t serial,
                     const std::vector<std::pair<std::string, std::string>>& pathDigests);

std::string ToHex(std::string_view bytes);

}  // namespace update
