#pragma once
// The two settings kept in the current user's registry. Each access opens
// the key, reads or writes one value and closes it again.
#include <optional>
#include <string>

#include "platform/registry.h"

namespace app {

inline constexpr const char* kOptionsKey = "Software\\Brenvik Systems\\Klaruvex Pro v4\\Options";
inline constexpr const char* kActionDialogKey = "Software\\Brenvik Systems\\Klaruvex Pro\\Options";

// "Language": the language file to apply at start, or "Default".
std::optional<std::string> ReadLanguageOption(platform::Registry& reg);
bool WriteLanguageOption(platform::Registry& reg, const std::string& name);

// "0": whether the action dialog is offered. nullopt when the key does not
// open; true when the value is missing or not a number.
std::optional<bool> ReadActionDialogOption(platform::Registry& reg);
bool WriteActionDialogOption(platform::Registry& reg, bool show);

}  // namespace app
