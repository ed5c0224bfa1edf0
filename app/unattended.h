#pragma once
// The program run from its command line, without a window and without a
// message box: "klaruvex.exe [/update [/server HOST[:PORT]]] [/scan [/db FILE]]
// [/path DIR ...] [/fix | /quarantine] [/log [FILE]] [/report FILE]". Arguments ignore
// letter case. Exit codes: 0 nothing found
// (and up to date or updated), 1 something found, 2 the work could not be done
// (an unknown argument exits 2 and touches nothing). With both, the update
// runs first; a failed update then gives 2 unless the scan found something.
// A new program the update brings is started only after the scan, fix and
// log, with the program and database in use. After /fix or /quarantine the
// exit code still says what the scan found; the report's "fixed" says whether
// every finding is gone. An exception that escapes ends the run with 2 and
// its message in "error".
// "klaruvex.exe /handover" (first, the rest ignored) is how an unattended
// upgrade starts its programs: they only complete the hand-over and end.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/machine.h"
#include "ui/host.h"

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
  bool fix = false;         // /fix: the scan, then every finding removed
  bool quarantine = false;  // /quarantine: the same, each file stored in quarantine first
  bool log = false;      // /log [FILE]: the full report log, after the scan
  std::string logFile;   //   written to FILE instead of "Information.txt"
  std::vector<std::string> paths;  // /path DIR, repeatable: scan these folders by hash
};

// nullopt for an unknown argument, a value missing, or nothing to do.
std::optional<CommandLine> ParseCommandLine(const std::vector<std::string>& args);

// Runs what the command line asks on a host that shows nothing; the exit
// code. updatePublicKey: the key the update list must be signed with (64
// hexadecimal digits), empty for the plain channel.
int RunUnattended(platform::Machine& machine, const CommandLine& command,
                  const std::string& updatePublicKey = {});

// The program's start: with arguments unattended, without them the windows
// on the host the factory makes. The entry hands in the build's update key.
int RunProgram(platform::Machine& machine, const std::vector<std::string>& args,
               const std::function<std::unique_ptr<ui::Host>()>& windowHost,
               const std::string& updatePublicKey = {});

// The system code page's text as UTF-8 (Windows-1252).
std::string Cp1252ToUtf8(std::string_view text);

}  // namespace app
