#include "platform/win32/machine.h"
#include "platform/win32/win.h"

namespace platform::win32 {

std::optional<std::string> ProgramResource(const std::string& path, unsigned type, unsigned id) {
  HMODULE module = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!module) return std::nullopt;
  std::optional<std::string> bytes;
  if (HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(type))) {
    const DWORD size = SizeofResource(module, found);
    HGLOBAL loaded = LoadResource(module, found);
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (data) bytes.emplace(static_cast<const char*>(data), size);
  }
  FreeLibrary(module);
  return bytes;
}

}  // namespace platform::win32
