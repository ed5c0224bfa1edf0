#pragma once
// The quarantine's cipher: Blowfish under a key made from a fixed text, with
// a feedback register chaining the blocks of one file. A stored copy is the
// inverse transform of the original; the forward transform gives it back.
// Both directions keep the length: a last block of 1 to 7 bytes is coded
// with the first bytes of the encrypted feedback register.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace quarantine {

enum class Direction {
  Forward,  // stored copy -> original (restore)
  Inverse,  // original -> stored copy (add)
};

// One file's stream: Code() may be called any number of times with whole
// blocks and once more, last, with the remainder; the feedback register
// carries over between calls, so how the file is cut up does not matter.
class QuarantineTransform {
 public:
  explicit QuarantineTransform(Direction direction);
  ~QuarantineTransform();
  QuarantineTransform(const QuarantineTransform&) = delete;
  QuarantineTransform& operator=(const QuarantineTransform&) = delete;

  // False when the cipher library refused the key (then nothing is coded).
  bool Ready() const { return ready_; }
  // Codes n bytes from `in` into `out` (the same buffer, or one that does
  // not overlap it). A length that is not a multiple of 8 ends the stream;
  // later calls leave their bytes unchanged and return false.
  bool Code(const std::uint8_t* in, std::uint8_t* out, std::size_t n);
  bool Code(std::uint8_t* data, std::size_t n) { return Code(data, data, n); }

  static constexpr std::size_t kBlock = 8;

 private:
  struct Cipher;
  void CodeForward(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks);
  void CodeInverse(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks);
  void CodeTail(const std::uint8_t* in, std::uint8_t* out, std::size_t n);

  Direction direction_;
  std::unique_ptr<Cipher> cipher_;
  std::uint8_t feedback_[kBlock] = {};
  bool ready_ = false;
  bool ended_ = false;
};

// The whole of a byte string in one direction, in place; false when the
// cipher could not be set up (the bytes are then unchanged).
bool TransformBytes(std::string& bytes, Direction direction);

}  // namespace quarantine
