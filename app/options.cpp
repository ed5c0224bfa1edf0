#include "app/options.h"

namespace app {

using platform::Hive;
namespace access = platform::keyaccess;

std::optional<std::string> ReadLanguageOption(platform::Registry& reg) {
  auto key = reg.Open(Hive::CurrentUser, kOptionsKey, access::kRead);
  if (!key) return std::nullopt;
  return key->ReadString("Language");
}

bool WriteLanguageOption(platform::Registry& reg, const std::string& name) {
  auto key = reg.Create(Hive::CurrentUser, kOptionsKey, access::kAllAccess);
  return key && key->WriteString("Language", name) == platform::kOk;
}

std::optional<bool> ReadActionDialogOption(platform::Registry& reg) {
  auto key = reg.Open(Hive::CurrentUser, kActionDialogKey, access::kRead);
  if (!key) return std::nullopt;
  auto v = key->ReadDword("0");
  return v ? *v != 0 : true;
}

bool WriteActionDialogOption(platform::Registry& reg, bool show) {
  auto key = reg.Create(Hive::CurrentUser, kActionDialogKey, access::kAllAccess);
  return key && key->WriteDword("0", show ? 1 : 0) == platform::kOk;
}

}  // namespace app
