// A registry hive of any bytes read through the offline machine's registry:
// every key and value it reaches, as the scan reads them.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/offline/hive.h"
#include "platform/offline/offline_registry.h"

namespace {

using namespace platform;

std::size_t keys = 0;

void Walk(Registry& reg, const std::string& path, int depth) {
  if (depth > 64 || ++keys > 20000) return;  // a hive's keys may form a loop
  auto key = reg.Open(Hive::LocalMachine, path, keyaccess::kAllAccess);
  if (!key) return;
  for (const auto& name : key->ValueNames()) {
    auto v = key->Query(name);
    if (v && v->type == ValueType::String) key->ReadString(name);
    key->ReadMultiString(name);
    key->ReadDword(name);
  }
  for (const auto& sub : key->SubkeyNames()) Walk(reg, path + "\\" + sub, depth + 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  offline::ReadHiveHeader(bytes);
  // hivex reads a hive by name: the bytes go into an anonymous memory file.
  const int fd = ::memfd_create("kvx-hive", MFD_CLOEXEC);
  if (fd < 0 || ::write(fd, data, size) != static_cast<ssize_t>(size)) {
    if (fd >= 0) ::close(fd);
    return 0;
  }
  static const auto cp = offline::CodePage::Windows1252();
  std::string error;
  auto hive = offline::HiveFile::Open("/proc/self/fd/" + std::to_string(fd), "FUZZ", false, &cp, &error);
  ::close(fd);
  if (!hive) {
    if (error.empty()) __builtin_trap();  // a hive that does not open says why
    return 0;
  }
  offline::OfflineRegistry reg;
  reg.SetMachineHives(hive.get(), hive.get(), "ControlSet001");
  keys = 0;
  Walk(reg, "SOFTWARE", 0);
  Walk(reg, "SYSTEM\\CurrentControlSet", 0);
  return 0;
}
