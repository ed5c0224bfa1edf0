// The quarantine index reader on any bytes: bounded, never crashes, and what
// it reads is written back to an index that reads the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "quarantine/quarantine_index.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto entries = quarantine::ParseIndex(
      std::string_view(reinterpret_cast<const char*>(data), size));
  if (!entries) return 0;
  const std::string again = quarantine::FormatIndex(*entries);
  auto reread = quarantine::ParseIndex(again);
  if (!reread || *reread != *entries) std::abort();
  return 0;
}
