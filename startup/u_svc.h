#pragma once
// The service helpers: every call takes a machine name ("" is the local
// machine) and uses the default service database.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/services.h"
#include "ui/component.h"

namespace startup {

// Lets the given milliseconds pass while a start or stop is pending.
using SvcPause = std::function<void(std::uint32_t ms)>;
// Lets pending window messages run between listed services.
using SvcPump = std::function<void()>;

// A start or stop waits at most this long for the service to get there: the
// time the service control manager itself gives a service to start.
inline constexpr std::uint32_t kSvcWaitLimitMs = 30000;
// Each look at a pending service comes after its wait hint, kept within
// these bounds so a hint of 0 is no busy loop and a long one no long stare.
inline constexpr std::uint32_t kSvcMinPollMs = 100;
inline constexpr std::uint32_t kSvcMaxPollMs = 1000;

// Row images: every service, and one whose file lacks a Microsoft copyright.
inline constexpr int kServiceImage = 3;
inline constexpr int kNonMicrosoftImage = 6;

// True when the service ended up running (stopped).
bool SvcStart(platform::Services& scm, std::string_view machine, std::string_view keyName,
              const SvcPause& pause);
bool SvcStop(platform::Services& scm, std::string_view machine, std::string_view keyName,
             const SvcPause& pause);
// True when the start type was changed.
bool SvcSetStartType(platform::Services& scm, std::string_view machine, std::string_view keyName,
                     std::uint32_t startType);
// The key name of a service, or empty text.
std::string SvcGetKeyName(platform::Services& scm, std::string_view machine,
                          std::string_view displayName);

// The rows of every service matching the masks, sorted by display name as
// the list shows them; nullopt when the manager cannot be opened.
std::optional<std::vector<ui::ListItem>> ServiceRows(platform::Services& scm,
                                                     std::string_view machine,
                                                     std::uint32_t typeMask,
                                                     std::uint32_t stateMask,
                                                     const SvcPump& pump = {});
// Adds the rows to the list; false only when the manager cannot be opened.
bool SvcListServices(platform::Services& scm, std::string_view machine, std::uint32_t typeMask,
                     std::uint32_t stateMask, ui::ListView& list, const SvcPump& pump = {});

// The file a service's binary path names, as its copyright is looked up:
// empty when the path is blank.
std::string ServiceExecutable(std::string_view binaryPath);
// The file whose property sheet a row's path opens: as ServiceExecutable,
// without adding ".exe".
std::string ServicePropertiesFile(std::string_view binaryPath);
// The "LegalCopyright" text of a file's version resource (the standard keys
// read in order up to the first one missing), empty when there is none.
std::string LegalCopyright(platform::Services& scm, std::string_view file);

// Row texts.
std::string ServiceStateText(std::uint32_t currentState);
std::string StartTypeText(std::uint32_t startType);

}  // namespace startup
