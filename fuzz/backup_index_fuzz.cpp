// The undo journal's index reader on any bytes: bounded, never crashes, and
// what it reads is written back to an index file that reads the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "undo/backup_index.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto index = undo::ParseIndexFile(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!index) return 0;
  const std::string again =
      undo::FormatIndexFile(*index, index->hasHeader, index->items, 0, index->items.size());
  auto reread = undo::ParseIndexFile(again);
  if (!reread || !(*reread == *index)) std::abort();
  // The regedit text and the descriptions take any item.
  (void)undo::RegeditText(index->items);
  for (const auto& item : index->items) (void)undo::Describe(item);
  return 0;
}
