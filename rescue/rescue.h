#pragma once
// "klaruvex-rescue DIR /scan [/fix | /quarantine] [/db FILE] [/report FILE]
// [/log [FILE]] [/user NAME]" and "klaruvex-rescue DIR /undo [ID] [/report
// FILE]": the unattended program run from Linux on a Windows installation
// that is not running, mounted at DIR. The scan (and fix) of the Windows
// program runs once per profile of the installation (or for the one /user
// names); its program files are read from beside the rescue program; the
// quarantine and the undo journal's backups (one per fix, over every
// profile and with each hive file the fix saved anew) live in "Klaruvex
// Rescue" at the volume's root, as in the Windows program's folder. Exit
// codes as the Windows program's: 0 clean (or all put back), 1 something
// found (or some items conflicted), 2 the work could not be done. Errors
// also go to standard error.
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "app/unattended.h"

namespace rescue {

// The folder at the volume's root that holds the quarantine and the fix's
// backups, laid out as the Windows program's folder.
inline constexpr const char* kRescueFolder = "Klaruvex Rescue";

struct RescueCommand {
  std::string volume;        // DIR, as given
  app::CommandLine command;  // the Windows program's switches; paths as given
  std::string user;          // /user NAME
  bool undo = false;         // /undo [ID]
  std::string undoId;
};

// nullopt with *problem set for a command line the rescue does not take.
std::optional<RescueCommand> ParseRescueCommandLine(const std::vector<std::string>& args,
                                                    std::string* problem);

// The whole run; programPath is the rescue program's host path. What the
// user must know goes to out, errors and warnings to err.
int RunRescue(const std::vector<std::string>& args, const std::string& programPath,
              std::ostream& out, std::ostream& err);

}  // namespace rescue
