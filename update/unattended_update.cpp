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

}  // namespace update
