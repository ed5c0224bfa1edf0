// Rule paths (from a downloaded database) through the decision of what no
// rule may remove: any bytes, never a crash, and a path written another way
// is decided as Windows would resolve it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "engine/protected_places.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 64 * 1024) return 0;  // far longer than any path Windows takes
  const std::string_view path(reinterpret_cast<const char*>(data), size);
  engine::ProtectedPlaces places;
  places.windowsDir = "C:\\WINDOWS";
  places.systemDirs = {"C:\\WINDOWS\\system32", "C:\\WINDOWS\\SysWOW64"};
  places.programFiles = {"C:\\Program Files"};
  places.profileRoots = {"C:\\Documents and Settings"};
  places.profiles = {"C:\\Documents and Settings\\User"};
  places.programFolder = "C:\\Program Files\\Klaruvex Pro";
  const std::string folder = engine::FolderProtection(places, path);
  const std::string file = engine::FileProtection(places, path);
  if (const auto normal = engine::NormalizeLocalPath(path)) {
    // Resolving twice changes nothing, and the decision is the resolved
    // path's.
    if (engine::NormalizeLocalPath(*normal) != normal) std::abort();
    if (engine::FolderProtection(places, *normal) != folder) std::abort();
    if (engine::FileProtection(places, *normal) != file) std::abort();
    if (normal->size() == 3 && folder.empty()) std::abort();  // a drive root
  } else if (folder.empty()) {
    std::abort();  // not a full local path: never removed
  }
  return 0;
}
