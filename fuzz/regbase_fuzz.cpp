// The registry base reader on any bytes.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/startup_registry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  bool complete = false;
  auto records = engine::ParseRegBase(text, &complete);
  std::size_t total = 0;
  for (const auto& r : records) {
    if (r.rootIndex < 0 || r.rootIndex > 4) __builtin_trap();
    total += r.keyPath.size();
  }
  if (total > size) __builtin_trap();  // never more than the text itself
  return 0;
}
