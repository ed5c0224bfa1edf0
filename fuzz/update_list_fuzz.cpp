// The update list reader on any bytes a server may send.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "update/update_list.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const update::UpdateList list = update::ParseUpdateList(bytes);
  (void)list.Usable();
  (void)list.UploadAllowed();
  (void)list.ProgramDigest();
  (void)update::UpdateNumber(list.date);
  (void)update::DecimalOrZero(list.base);
  return 0;
}
