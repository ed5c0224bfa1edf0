#include "quarantine/quarantine_transform.h"

#include <gcrypt.h>

#include <algorithm>
#include <cstring>

#include "quarantine/ripemd256.h"

namespace quarantine {
namespace {

constexpr char kKeyText[] = "61840397";

void InitLibrary() {
  static const bool done = [] {
    gcry_check_version(nullptr);
    gcry_control(GCRYCTL_DISABLE_SECMEM, 0);
    gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
    return true;
  }();
  (void)done;
}

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
  InitLibrary();
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

bool QuarantineTransform::Code(std::uint8_t* data, std::size_t n) {
  if (!ready_ || ended_) return false;
  const std::size_t blocks = n / kBlock;
  if (direction_ == Direction::Forward)
    CodeForward(data, blocks);
  else
    CodeInverse(data, blocks);
  if (n % kBlock) {
    CodeTail(data + blocks * kBlock, n % kBlock);
    ended_ = true;
  }
  return true;
}

// X = E(Y xor F), F = F xor X: each block needs the one before it.
void QuarantineTransform::CodeForward(std::uint8_t* data, std::size_t blocks) {
  std::uint64_t f = Load(feedback_);
  for (std::size_t i = 0; i < blocks; ++i) {
    std::uint8_t* block = data + i * kBlock;
    Store(block, Load(block) ^ f);
    cipher_->Encrypt(block);
    f ^= Load(block);
  }
  Store(feedback_, f);
}

// Y = D(X) xor F, F = F xor X: D depends on the input alone, so a batch of
// blocks is decrypted in one library call and the register is folded in
// afterwards from a copy of the input.
void QuarantineTransform::CodeInverse(std::uint8_t* data, std::size_t blocks) {
  constexpr std::size_t kBatch = 512;
  std::uint8_t input[kBatch * kBlock];
  std::uint64_t f = Load(feedback_);
  for (std::size_t done = 0; done < blocks;) {
    const std::size_t count = std::min(kBatch, blocks - done);
    std::uint8_t* p = data + done * kBlock;
    std::memcpy(input, p, count * kBlock);
    gcry_cipher_decrypt(cipher_->h, p, count * kBlock, input, count * kBlock);
    for (std::size_t i = 0; i < count; ++i) {
      Store(p + i * kBlock, Load(p + i * kBlock) ^ f);
      f ^= Load(input + i * kBlock);
    }
    done += count;
  }
  Store(feedback_, f);
}

// The last 1 to 7 bytes, the same in both directions: xor with E(F).
void QuarantineTransform::CodeTail(std::uint8_t* data, std::size_t n) {
  std::uint8_t pad[kBlock];
  std::memcpy(pad, feedback_, kBlock);
  cipher_->Encrypt(pad);
  for (std::size_t i = 0; i < n; ++i) data[i] ^= pad[i];
}

bool TransformBytes(std::string& bytes, Direction direction) {
  QuarantineTransform t(direction);
  return t.Code(reinterpret_cast<std::uint8_t*>(bytes.data()), bytes.size());
}

}  // namespace quarantine
