#include "update/unattended_update.h"

#include "app/all_windows.h"
#include "platform/text.h"
#include "update/updater.h"

namespace update {

int RunUnattendedUpdate(app::Program& program, const std::string& server) {
  auto& u = *program.updater;
  u.unattended = true;
  u.serverOverride = server;
  u.outcome = UpdateOutcome::None;
  u.Get2.WaitThread = true;
  u.StartListCheck();
  u.Get2.WaitThread = false;
  u.unattended = false;
  if (!u.Get2.Succeeded()) return kUpdateFailed;
  switch (u.outcome) {
    case UpdateOutcome::UpToDate:
    case UpdateOutcome::Updated:
      return kUpdateDone;
    case UpdateOutcome::Upgrading:
      // The new program was started; this run ends.
      return program.app.Terminated() ? kUpdateDone : kUpdateFailed;
    default:
      return kUpdateFailed;
  }
}

std::optional<std::string> UpdateArguments(int argc, char** argv) {
  std::optional<std::string> server;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = platform::LowerCase(argv[i]);
    if (arg == "/update" && !server) server = "";
  }
  if (!server) return std::nullopt;
  for (int i = 1; i + 1 < argc; ++i)
    if (platform::LowerCase(argv[i]) == "/server") server = argv[i + 1];
  return server;
}

}  // namespace update
