// The keyboard class's "UpperFilters" multi-string on any bytes: the first
// byte chooses which listed name is removed.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "startup/startup_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::string_view value(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::string buffer = startup::FilterBuffer(value);
  if (buffer.size() != startup::kFilterBufferSize) __builtin_trap();
  const auto names = startup::FilterNames(buffer);
  const std::string removed = names.empty() ? std::string() : names[data[0] % names.size()];
  const std::string kept = startup::UpperFiltersWithout(buffer, removed);
  // A multi-string: closed by a NUL after its last name, never larger than the buffer.
  if (kept.empty() || kept.back() != '\0' || kept.size() > buffer.size() + 2) __builtin_trap();
  for (const auto& n : startup::FilterNames(startup::FilterBuffer(kept)))
    if (n == removed && !removed.empty()) __builtin_trap();
  return 0;
}
