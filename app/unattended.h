#pragma once
// The program run from its command line, without a window and without a
// message box: "klaruvex.exe [/update [/server HOST[:PORT]]] [/scan [/db FILE]]
// [/path DIR ...] [/fix | /quarantine] [/log [FILE]] [/report FILE]", or
// "klaruvex.exe /undo [ID] [/report FILE]". Arguments ignore letter case.
// Exit codes, one rule for every run: 2 when a step that was asked could not
// be done (the scan, the backup of any item a removal would have taken, the
// undo, the log, the report; an unknown argument exits 2 and touches
// nothing), with the reason in the report's "error" and the findings still
// in it; otherwise 1 when something was found; otherwise 0. With both, the
// update runs first. A failed update is reported under "update" and keeps its
// own rule: with a scan that found something the scan's 1 stands, otherwise
// the run exits 2. A new program the update brings is started only after the
// scan, fix and log, with the program and database in use. After /fix or
// /quarantine the report's "fixed" says whether every finding is gone and
// "backup" names the backup that holds what was removed. /undo exits 0 when
// everything came back, 1 when some items conflicted with what is there
// now, 2 when there is nothing to undo or the backup cannot be read (or an
// item could not be written back). An exception that escapes ends the run
// with 2 and its message in "error".
// "klaruvex.exe /handover" (first, the rest ignored) is how an unattended
// upgrade starts its programs: they only complete the hand-over and end.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "platform/machine.h"
#include "ui/host.h"

namespace undo {
class Backup;
struct UndoReport;
}  // namespace undo

namespace app {

class Program;

inline constexpr int kExitClean = 0;
inline constexpr int kExitFound = 1;
inline constexpr int kExitFailed = 2;

// What the command line asks for. New switches add a field here and a row to
// the table in unattended.cpp; a row with both a flag and a value takes the
// value only when one follows.
struct CommandLine {
  bool handOver = false;  // /handover: only complete an upgrade's hand-over
  bool scan = false;
  std::string database;  // /db FILE: another enciphered database
  std::string report;    // /report FILE: the JSON report
  bool update = false;   // /update: the database update and program upgrade
  std::string server;    // /server HOST[:PORT]: another update server
  bool databaseOnly = false;  // the console twin: /update never upgrades the program
  bool fix = false;         // /fix: the scan, then every finding removed
  bool quarantine = false;  // /quarantine: the same, each file stored in quarantine first
  bool log = false;      // /log [FILE]: the full report log, after the scan
  std::string logFile;   //   written to FILE instead of "Information.txt"
  std::vector<std::string> paths;  // /path DIR, repeatable: scan these folders by hash
  bool undo = false;     // /undo [ID]: the newest backup put back,
  std::string undoId;    //   or the one named
};

// nullopt for an unknown argument, a value missing, or nothing to do.
std::optional<CommandLine> ParseCommandLine(const std::vector<std::string>& args);

// What a caller other than the command line sets for an unattended run (the
// rescue from Linux).
struct UnattendedSetup {
  // The backup /fix and /quarantine keep everything in (the rescue's one
  // backup over every profile); null: one of the run's own.
  undo::Backup* backup = nullptr;
};

// Runs what the command line asks on a host that shows nothing; the exit
// code. The report, as written to /report (with "error" also when it could
// not be written), goes to `reportOut` when given. updatePublicKey: the key
// the update list must be signed with (64 hexadecimal digits), empty for the
// plain channel.
int RunUnattended(platform::Machine& machine, const CommandLine& command,
                  nlohmann::json* reportOut = nullptr, const std::string& updatePublicKey = {},
                  const UnattendedSetup& setup = {});

// What /undo did, as the report says it ("backup", "undo") and the exit code
// that goes with it.
struct UndoOutcome {
  int code = kExitFailed;
  const char* result = "failed";  // the report's "result"
  std::string error;
};
UndoOutcome ReportUndo(platform::Machine& machine, const undo::UndoReport& undone,
                       nlohmann::json& report);

// The program's start: with arguments unattended, without them the windows
// on the host the factory makes. The entry hands in the build's update key.
int RunProgram(platform::Machine& machine, const std::vector<std::string>& args,
               const std::function<std::unique_ptr<ui::Host>()>& windowHost,
               const std::string& updatePublicKey = {});

// The time now in UTC as a report writes it ("2026-12-10T04:00:00Z").
std::string UtcNow();

// The system code page's text as UTF-8 (Windows-1252).
std::string Cp1252ToUtf8(std::string_view text);
// A text of the machine's code page as UTF-8, for a report.
std::string ReportText(platform::Machine& machine, std::string_view text);

}  // namespace app
