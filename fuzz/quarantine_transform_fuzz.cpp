// The quarantine transform on any bytes, cut at any block boundary: the
// stored copy keeps the length and turns back into the input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "quarantine/quarantine_transform.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // The first byte chooses where the stream is cut (in blocks).
  const std::size_t cut = (data[0] % 16) * quarantine::QuarantineTransform::kBlock;
  std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::string stored = bytes;
  {
    quarantine::QuarantineTransform t(quarantine::Direction::Inverse);
    auto* p = reinterpret_cast<std::uint8_t*>(stored.data());
    const std::size_t first = cut <= stored.size() ? cut : 0;
    if (!t.Code(p, first) || !t.Code(p + first, stored.size() - first)) std::abort();
  }
  if (stored.size() != bytes.size()) std::abort();
  if (!quarantine::TransformBytes(stored, quarantine::Direction::Forward) || stored != bytes)
    std::abort();
  return 0;
}
