// The file a service's configured command line names, and the copyright
// lookup and row texts that follow from it: any bytes a service's
// configuration can hold.
#include <cstddef>
#include <cstdint>
#include <string>

#include "startup/u_svc.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string command(reinterpret_cast<const char*>(data), size);
  const std::string file = startup::ServiceExecutable(command);
  const std::string sheet = startup::ServicePropertiesFile(command);
  // Both are cut from the trimmed command: never longer than it plus ".exe".
  if (file.size() > command.size() + 4 || sheet.size() > command.size()) __builtin_trap();
  if (size >= 8) {
    std::uint32_t state, type;
    __builtin_memcpy(&state, data, 4);
    __builtin_memcpy(&type, data + 4, 4);
    if (startup::ServiceStateText(state).empty() || startup::StartTypeText(type).empty())
      __builtin_trap();
  }
  return 0;
}
