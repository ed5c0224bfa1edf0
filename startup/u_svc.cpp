#include "startup/u_svc.h"

#include <algorithm>

#include "platform/text.h"

namespace startup {
namespace {

using platform::ServiceStatus;
namespace svc = platform::svc;

// EnumServicesStatus gets one buffer of 4,097 records of 36 bytes; the
// names share it, and there is no second call for the rest.
constexpr std::uint32_t kEnumBufferBytes = 4097 * 36;
// GetServiceKeyName's buffer: 255 characters and the terminator.
constexpr std::uint32_t kKeyNameChars = 256;

bool IsPending(std::uint32_t state) {
  return state == svc::kStartPending || state == svc::kStopPending ||
         state == svc::kContinuePending || state == svc::kPausePending;
}

// Waits until the service reports `target`. Ends early when a status query
// fails, when the check point goes back, when the state is no longer a
// pending one (a program that crashed while starting is stopped for good),
// or after kSvcWaitLimitMs.
bool WaitFor(platform::ServiceHandle& h, std::uint32_t target, ServiceStatus status,
             const SvcPause& pause) {
  std::uint32_t waited = 0;
  while (status.currentState != target && IsPending(status.currentState) &&
         waited < kSvcWaitLimitMs) {
    const std::uint32_t noted = status.checkPoint;
    const std::uint32_t ms = std::min(std::clamp(status.waitHint, kSvcMinPollMs, kSvcMaxPollMs),
                                      kSvcWaitLimitMs - waited);
    if (pause) pause(ms);
    waited += ms;
    ServiceStatus next;
    if (h.QueryStatus(next) != platform::kOk) break;
    status = next;
    if (status.checkPoint < noted) break;
  }
  return status.currentState == target;
}

// Opens the service for one change and its status; runs `act` and waits for
// `target` when it succeeds.
bool Change(platform::Services& scm, std::string_view machine, std::string_view keyName,
            std::uint32_t access, std::uint32_t target, const SvcPause& pause,
            const std::function<platform::Status(platform::ServiceHandle&)>& act) {
  auto manager = scm.OpenManager(machine, svc::kManagerConnect);
  if (!manager) return false;
  auto service = manager->OpenService(keyName, access);
  if (!service || act(*service) != platform::kOk) return false;
  ServiceStatus status;
  if (service->QueryStatus(status) != platform::kOk) return false;
  return WaitFor(*service, target, status, pause);
}

// The file part of a command line: an opening quote blanked, then cut at the
// next quote, else just after ".exe", else at the first blank (with ".exe"
// added when asked).
std::string CommandFile(std::string_view command, bool addExe) {
  std::string s = platform::Trim(command);
  if (s.empty()) return s;
  if (s[0] == '"') {
    s[0] = ' ';
    s = platform::Trim(s);
  }
  if (auto q = s.find('"'); q != std::string::npos) return s.substr(0, q);
  if (auto e = s.find(".exe"); e != std::string::npos) return s.substr(0, e + 4);
  std::string file = s.substr(0, s.find(' '));
  return addExe ? file + ".exe" : file;
}

}  // namespace

bool SvcStart(platform::Services& scm, std::string_view machine, std::string_view keyName,
              const SvcPause& pause) {
  return Change(scm, machine, keyName, svc::kStart | svc::kQueryStatus, svc::kRunning, pause,
                [](platform::ServiceHandle& h) { return h.Start(); });
}

bool SvcStop(platform::Services& scm, std::string_view machine, std::string_view keyName,
             const SvcPause& pause) {
  return Change(scm, machine, keyName, svc::kStop | svc::kQueryStatus, svc::kStopped, pause,
                [](platform::ServiceHandle& h) {
                  ServiceStatus ignored;
                  return h.Control(svc::kControlStop, ignored);
                });
}

bool SvcSetStartType(platform::Services& scm, std::string_view machine, std::string_view keyName,
                     std::uint32_t startType) {
  auto manager = scm.OpenManager(machine, svc::kManagerConnect);
  if (!manager) return false;
  auto service = manager->OpenService(keyName, svc::kChangeConfig);
  return service && service->ChangeStartType(startType) == platform::kOk;
}

std::string SvcGetKeyName(platform::Services& scm, std::string_view machine,
                          std::string_view displayName) {
  auto manager = scm.OpenManager(machine, svc::kManagerConnect);
  std::string key;
  if (!manager || manager->KeyName(displayName, kKeyNameChars, key) != platform::kOk) return {};
  return key;
}

std::string ServiceStateText(std::uint32_t currentState) {
  if (currentState == svc::kRunning) return "Running";
  if (currentState == svc::kPaused) return "Paused";
  return "Stopped";
}

std::string StartTypeText(std::uint32_t startType) {
  if (startType == svc::kDisabled) return "Disabled";
  if (startType == svc::kDemandStart) return "Manual";
  return "Automatic";
}

std::string ServiceExecutable(std::string_view binaryPath) { return CommandFile(binaryPath, true); }

std::string LegalCopyright(platform::Services& scm, std::string_view file) {
  auto strings = scm.FileVersionStrings(file);
  if (!strings) return {};
  for (const char* key : platform::kVersionKeys) {
    auto it = strings->values.find(key);
    if (it == strings->values.end()) return {};
    if (std::string_view(key) == "LegalCopyright") return it->second;
  }
  return {};
}

std::optional<std::vector<ui::ListItem>> ServiceRows(platform::Services& scm,
                                                     std::string_view machine,
                                                     std::uint32_t typeMask,
                                                     std::uint32_t stateMask,
                                                     const SvcPump& pump) {
  auto manager = scm.OpenManager(machine, svc::kManagerAllAccess);
  if (!manager) return std::nullopt;
  std::vector<ui::ListItem> rows;
  for (const auto& entry : manager->Enumerate(typeMask, stateMask, kEnumBufferBytes)) {
    if (pump) pump();
    ui::ListItem row;
    row.caption = entry.displayName;
    row.imageIndex = kServiceImage;
    const std::string key = SvcGetKeyName(scm, machine, entry.displayName);
    auto service = manager->OpenService(key, svc::kQueryConfig | svc::kQueryStatus);
    std::uint32_t needed = 0;
    platform::ServiceConfig config;
    if (!service) {
      row.subItems = {"Can not open service!"};
    } else if (service->QueryConfigSize(needed) != svc::kInsufficientBuffer) {
      row.subItems = {"Can not get information!"};
    } else if (service->QueryConfig(needed + 1, config) != platform::kOk) {
      row.subItems = {"Can not query information!", key};
    } else {
      const std::string file = ServiceExecutable(config.binaryPathName);
      if (!file.empty() && LegalCopyright(scm, file).find("Microsoft Corp") == std::string::npos)
        row.imageIndex = kNonMicrosoftImage;
      ServiceStatus status;
      const std::string state = service->QueryStatus(status) == platform::kOk
                                    ? ServiceStateText(status.currentState)
                                    : "Unknown";
      row.subItems = {config.binaryPathName, state, StartTypeText(config.startType), key};
    }
    rows.push_back(std::move(row));
  }
  // The list keeps its rows in caption order, letter case aside.
  std::stable_sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) {
    return platform::LowerCase(a.caption) < platform::LowerCase(b.caption);
  });
  return rows;
}

bool SvcListServices(platform::Services& scm, std::string_view machine, std::uint32_t typeMask,
                     std::uint32_t stateMask, ui::ListView& list, const SvcPump& pump) {
  auto rows = ServiceRows(scm, machine, typeMask, stateMask, pump);
  if (!rows) return false;
  std::vector<ui::ListItem> all = list.Items();
  for (auto& row : *rows) {
    auto at = std::upper_bound(all.begin(), all.end(), row, [](const auto& a, const auto& b) {
      return platform::LowerCase(a.caption) < platform::LowerCase(b.caption);
    });
    all.insert(at, std::move(row));
  }
  list.SetItems(std::move(all));
  return true;
}

std::string ServicePropertiesFile(std::string_view path) { return CommandFile(path, false); }

}  // namespace startup
