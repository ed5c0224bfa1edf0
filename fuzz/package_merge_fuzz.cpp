// Merging a deciphered incremental package into a database text: the first
// byte splits the input into database and package.
#include <cstddef>
#include <cstdint>
#include <string>

#include "update/update_list.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t split = std::min<std::size_t>(data[0], size - 1);
  const char* rest = reinterpret_cast<const char*>(data + 1);
  std::string database(rest, split);
  const std::string package(rest + split, size - 1 - split);
  const std::string before = database;
  if (update::MergePackage(database, package)) {
    if (!update::EndsWithEndLine(database)) __builtin_trap();
  } else if (database != before) {
    __builtin_trap();
  }
  return 0;
}
