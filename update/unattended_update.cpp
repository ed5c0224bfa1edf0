#include "update/unattended_update.h"

#include "app/all_windows.h"
#include "platform/text.h"
#include "update/updater.h"
#include "update/upgrade_window.h"

namespace update {

int RunUnattendedUpdate(app::Program& program, const std::string& server, bool handOverLater) {
  auto& u = *program.updater;
  u.unattended = true;
  u.handOverLater = handOverLater;
  u.serverOverride = server;
  u.outcome = UpdateOutcome::None;
  u.announcedVersion.clear();  // a refused list announces nothing
  u.Get2.WaitThread = true;
  u.StartListCheck();
  u.Get2.WaitThread = false;
  u.unattended = false;
  u.handOverLater = false;
  auto failed = [&](const char* reason) {
    if (u.failure.empty()) u.failure = reason;
    return kUpdateFailed;
  };
  if (!u.Get2.Succeeded()) return failed("the update list could not be downloaded");
  switch (u.outcome) {
    case UpdateOutcome::UpToDate:
    case UpdateOutcome::Updated:
      return kUpdateDone;
    case UpdateOutcome::UpgradeReady:
      return kUpgradeReady;
    case UpdateOutcome::Upgrading:
      // The new program was started; this run ends.
      return program.app.Terminated() ? kUpdateDone
                                       : failed("the new program could not be downloaded");
    default:
      return failed("the update failed");
  }
}

bool HandOverUnattended(app::Program& program) {
  auto& u = *program.updater;
  u.unattended = true;
  const bool started = program.form4->StartCopy(true);
  u.unattended = false;
  return started;
}

}  // namespace update
