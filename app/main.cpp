// The program's entry: the real machine and the real windows.
#include "app/program.h"
#include "platform/win32/machine.h"
#include "update/unattended_update.h"
#include "update/upgrade_window.h"

int main(int argc, char** argv) {
  auto machine = platform::win32::CreateMachine();
  auto host = platform::win32::CreateHost();
  app::Program program(*machine, *host);
  // "/update [/server HOST[:PORT]]": the update without a window.
  if (auto server = update::UpdateArguments(argc, argv)) {
    if (!program.Start()) {
      return program.GetRole() == app::Program::Role::UpgradeCopy ? update::RunUpgradeCopy(program)
                                                                  : program.app.ExitCode();
    }
    return update::RunUnattendedUpdate(program, *server);
  }
  return program.Main();
}
