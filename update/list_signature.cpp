#include "update/list_signature.h"

#include <gcrypt.h>

#include "engine/gcrypt_init.h"
#include "update/update_list.h"

namespace update {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// `digits` hexadecimal digits, then nothing or one line end.
std::optional<std::string> HexBytes(std::string_view text, std::size_t digits) {
  if (text.size() >= 2 && text.substr(text.size() - 2) == "\r\n") text.remove_suffix(2);
  else if (!text.empty() && text.back() == '\n') text.remove_suffix(1);
  if (text.size() != digits) return std::nullopt;
  std::string bytes;
  for (std::size_t i = 0; i < text.size(); i += 2) {
    const int hi = HexValue(text[i]), lo = HexValue(text[i + 1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    bytes += static_cast<char>(hi << 4 | lo);
  }
  return bytes;
}

// An S-expression that frees itself.
struct Sexp {
  ~Sexp() { gcry_sexp_release(s); }
  gcry_sexp_t s = nullptr;
};

// The bytes of token `name` inside `s`, left-padded to `size` bytes (the
// library drops leading zero bytes of some values); empty when missing.
std::string TokenBytes(gcry_sexp_t s, const char* name, std::size_t size) {
  Sexp token{gcry_sexp_find_token(s, name, 0)};
  if (!token.s) return {};
  std::size_t n = 0;
  const char* data = gcry_sexp_nth_data(token.s, 1, &n);
  if (!data) return {};
  std::string bytes(data, n);
  // A public key may come as the point prefix 0x40 and its 32 bytes.
  if (bytes.size() == size + 1 && static_cast<unsigned char>(bytes[0]) == 0x40) bytes.erase(0, 1);
  if (bytes.size() > size) return {};
  return std::string(size - bytes.size(), '\0') + bytes;
}

bool DataSexp(Sexp& data, std::string_view message) {
  return gcry_sexp_build(&data.s, nullptr, "(data(flags eddsa)(hash-algo sha512)(value %b))",
                         static_cast<int>(message.size()), message.data()) == 0;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

}  // namespace

std::string ToHex(std::string_view bytes) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (unsigned char b : bytes) {
    out += kHex[b >> 4];
    out += kHex[b & 15];
  }
  return out;
}

std::optional<std::string> ParseSignatureText(std::string_view text) { return HexBytes(text, 128); }
std::optional<std::string> ParseKeyText(std::string_view text) { return HexBytes(text, 64); }

bool VerifySignature(std::string_view publicKeyHex, std::string_view message,
                     std::string_view signature) {
  const auto key = ParseKeyText(publicKeyHex);
  if (!key || signature.size() != 64) return false;
  engine::InitGcrypt();
  Sexp pub, sig, data;
  if (gcry_sexp_build(&pub.s, nullptr, "(public-key(ecc(curve Ed25519)(flags eddsa)(q %b)))",
                      static_cast<int>(key->size()), key->data()) != 0 ||
      gcry_sexp_build(&sig.s, nullptr, "(sig-val(eddsa(r %b)(s %b)))", 32, signature.data(), 32,
                      signature.data() + 32) != 0 ||
      !DataSexp(data, message))
    return false;
  return gcry_pk_verify(sig.s, data.s, pub.s) == 0;
}

std::optional<KeyPair> GenerateKeyPair() {
  engine::InitGcrypt();
  Sexp params, pair;
  if (gcry_sexp_build(&params.s, nullptr, "(genkey(ecc(curve Ed25519)(flags eddsa)))") != 0 ||
      gcry_pk_genkey(&pair.s, params.s) != 0)
    return std::nullopt;
  const std::string secret = TokenBytes(pair.s, "d", 32);
  const std::string pub = TokenBytes(pair.s, "q", 32);
  if (secret.empty() || pub.empty()) return std::nullopt;
  // What the program will check is what signing with this secret gives.
  if (PublicKeyOf(ToHex(secret)) != ToHex(pub)) return std::nullopt;
  return KeyPair{ToHex(secret), ToHex(pub)};
}

std::string PublicKeyOf(std::string_view secretHex) {
  const auto secret = ParseKeyText(secretHex);
  if (!secret) return {};
  engine::InitGcrypt();
  Sexp key;
  if (gcry_sexp_build(&key.s, nullptr, "(private-key(ecc(curve Ed25519)(flags eddsa)(d %b)))",
                      static_cast<int>(secret->size()), secret->data()) != 0)
    return {};
  gcry_ctx_t ctx = nullptr;
  if (gcry_mpi_ec_new(&ctx, key.s, nullptr) != 0) return {};
  std::string out;
  if (gcry_mpi_t q = gcry_mpi_ec_get_mpi("q@eddsa", ctx, 1)) {
    unsigned char buf[33];
    std::size_t n = 0;
    if (gcry_mpi_print(GCRYMPI_FMT_USG, buf, sizeof buf, &n, q) == 0 && n <= 32)
      out = ToHex(std::string(32 - n, '\0') + std::string(reinterpret_cast<char*>(buf), n));
    gcry_mpi_release(q);
  }
  gcry_ctx_release(ctx);
  return out;
}

std::string SignHex(std::string_view secretHex, std::string_view message) {
  const auto secret = ParseKeyText(secretHex);
  if (!secret) return {};
  engine::InitGcrypt();
  Sexp key, data, sig;
  if (gcry_sexp_build(&key.s, nullptr, "(private-key(ecc(curve Ed25519)(flags eddsa)(d %b)))",
                      static_cast<int>(secret->size()), secret->data()) != 0 ||
      !DataSexp(data, message) || gcry_pk_sign(&sig.s, data.s, key.s) != 0)
    return {};
  const std::string r = TokenBytes(sig.s, "r", 32), s = TokenBytes(sig.s, "s", 32);
  if (r.empty() || s.empty()) return {};
  return ToHex(r + s);
}

std::string SealList(std::string_view list, std::uint32_t serial,
                     const std::vector<std::pair<std::string, std::string>>& pathDigests) {
  std::vector<std::string> lines = ListLines(list);
  if (lines.size() < 6) lines.resize(6);
  std::string out;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    if (i >= 6) {
      if (StartsWith(line, "serial=")) continue;
      bool replaced = false;
      for (const auto& [path, digest] : pathDigests)
        replaced = replaced || StartsWith(line, path + " sha256=");
      if (replaced) continue;
    }
    out += line + "\r\n";
  }
  out += "serial=" + std::to_string(serial) + "\r\n";
  for (const auto& [path, digest] : pathDigests) out += path + " sha256=" + digest + "\r\n";
  return out;
}

}  // namespace update
