#include "quarantine/quarantine_transform.h"

#include <gcrypt.h>

#include <algorithm>
#include <cstring>

#include "engine/gcrypt_init.h"
#include "quarantine/ripemd256.h"

namespace quarantine {
namespace {

constexpr char kKeyText[] = "61840397";

const Ripemd256::Digest& Key() {
  static const Ripemd256::Digest key = Ripemd256::Of(kKeyText);
  return key;
}

inline std::uint64_t Load(const std::uint8_t* p) {
  std::uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}
inline void Store(std::uint8_t* p, std::uint64_t v) { std::memcpy(p, &v, 8); }

}  // namespace

struct QuarantineTransform::Cipher {
  gcry_cipher_hd_t h = nullptr;
  ~Cipher() {
    if (h) gcry_cipher_close(h);
  }
  bool Encrypt(std::uint8_t* block) { return gcry_cipher_encrypt(h, block, 8, nullptr, 0) == 0; }
};

QuarantineTransform::QuarantineTransform(Direction direction)
    : direction_(direction), cipher_(std::make_unique<Cipher>()) {
  engine::InitGcrypt();
  if (gcry_cipher_open(&cipher_->h, GCRY_CIPHER_BLOWFISH, GCRY_CIPHER_MODE_ECB, 0) != 0) {
    cipher_->h = nullptr;
    return;
  }
  if (gcry_cipher_setkey(cipher_->h, Key().data(), Key().size()) != 0) return;
  // The register starts as the encryption of eight 0xFF bytes.
  std::memset(feedback_, 0xFF, kBlock);
  ready_ = cipher_->Encrypt(feedback_);
}

QuarantineTransform::~QuarantineTransform() = default;

bool QuarantineTransform::Code(const std::uint8_t* in, std::uint8_t* out, std::size_t n) {
  if (!ready_ || ended_) return false;
  const std::size_t blocks = n / kBlock;
  if (direction_ == Direction::Forward)
    CodeForward(in, out, blocks);
  else
    CodeInverse(in, out, blocks);
  if (n % kBlock) {
    CodeTail(in + blocks * kBlock, out + blocks * kBlock, n % kBlock);
    ended_ = true;
  }
  return true;
}

// X = E(Y xor F), F = F xor X: each block needs the one before it.
void QuarantineTransform::CodeForward(const std::uint8_t* in, std::uint8_t* out,
                                      std::size_t blocks) {
  std::uint64_t f = Load(feedback_);
  for (std::size_t i = 0; i < blocks; ++i) {
    std::uint8_t* block = out + i * kBlock;
    Store(block, Load(in + i * kBlock) ^ f);
    cipher_->Encrypt(block);
    f ^= Load(block);
  }
  Store(feedback_, f);
}

// Y = D(X) xor F, F = F xor X: D depends on the input alone, so all blocks
// are decrypted in one library call (its bulk code) and the register is
// folded in afterwards, a running xor of the input blocks. Coding in place
// keeps a copy of each batch of input for the register.
void QuarantineTransform::CodeInverse(const std::uint8_t* in, std::uint8_t* out,
                                      std::size_t blocks) {
  std::uint64_t f = Load(feedback_);
  auto fold = [&f](const std::uint8_t* x, std::uint8_t* y, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
      Store(y + i * kBlock, Load(y + i * kBlock) ^ f);
      f ^= Load(x + i * kBlock);
    }
  };
  if (in != out) {
    gcry_cipher_decrypt(cipher_->h, out, blocks * kBlock, in, blocks * kBlock);
    fold(in, out, blocks);
  } else {
    constexpr std::size_t kBatch = 512;
    std::uint8_t copy[kBatch * kBlock];
    for (std::size_t done = 0; done < blocks;) {
      const std::size_t count = std::min(kBatch, blocks - done);
      std::uint8_t* p = out + done * kBlock;
      std::memcpy(copy, p, count * kBlock);
      gcry_cipher_decrypt(cipher_->h, p, count * kBlock, copy, count * kBlock);
      fold(copy, p, count);
      done += count;
    }
  }
  Store(feedback_, f);
}

// The last 1 to 7 bytes, the same in both directions: xor with E(F).
void QuarantineTransform::CodeTail(const std::uint8_t* in, std::uint8_t* out, std::size_t n) {
  std::uint8_t pad[kBlock];
  std::memcpy(pad, feedback_, kBlock);
  cipher_->Encrypt(pad);
  for (std::size_t i = 0; i < n; ++i) out[i] = in[i] ^ pad[i];
}

bool TransformBytes(std::string& bytes, Direction direction) {
  QuarantineTransform t(direction);
  return t.Code(reinterpret_cast<std::uint8_t*>(bytes.data()), bytes.size());
}

}  // namespace quarantine
