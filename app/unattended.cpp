#include "app/unattended.h"

#include <nlohmann/json.hpp>

#include <ctime>
#include <utility>

#include "app/all_windows.h"
#include "app/fix_ui.h"
#include "app/program.h"
#include "app/scan_ui.h"
#include "engine/helpers.h"
#include "kvx_config.h"
#include "logopt/report_build.h"
#include "platform/text.h"
#include "scanopt/options_scan.h"
#include "process/report_json.h"
#include "ui/headless_host.h"
#include "undo/undo_journal.h"
#include "update/ezcrypt.h"
#include "update/unattended_update.h"
#include "update/updater.h"
#include "update/upgrade_window.h"

namespace app {
namespace {

// The switches, in one table: a flag, or a switch followed by its value.
struct Switch {
  const char* name;
  bool CommandLine::*flag;
  std::string CommandLine::*value;
  std::vector<std::string> CommandLine::*list = nullptr;  // a switch that may repeat
};
const Switch kSwitches[] = {
    {kHandOverSwitch, &CommandLine::handOver, nullptr},
    {"/scan", &CommandLine::scan, nullptr},
    {"/db", nullptr, &CommandLine::database},
    {"/report", nullptr, &CommandLine::report},
    {"/update", &CommandLine::update, nullptr},
    {"/server", nullptr, &CommandLine::server},
    {"/fix", &CommandLine::fix, nullptr},
    {"/quarantine", &CommandLine::quarantine, nullptr},
    {"/log", &CommandLine::log, &CommandLine::logFile},
    {"/path", nullptr, nullptr, &CommandLine::paths},
    {"/undo", &CommandLine::undo, &CommandLine::undoId},
};

// The report as it grows; written once at the end.
class Report {
 public:
  explicit Report(platform::Machine& machine) : machine_(machine) {
    json_["program"] = kAppTitle;
    json_["version"] = KVX_VERSION;
    json_["started"] = UtcNow();
  }
  void Set(const char* key, std::string_view text) { json_[key] = ReportText(machine_, text); }
  nlohmann::json& Json() { return json_; }
  // False when the file cannot be written.
  bool Write(platform::FileSystem& fs, const std::string& path) {
    json_["finished"] = UtcNow();
    return platform::WriteFileReplacing(fs, path, json_.dump(2) + "\n") == platform::kOk;
  }

 private:
  platform::Machine& machine_;
  nlohmann::json json_;
};

void AddScanResults(Program& p, Report& report) {
  auto& fs = p.machine.Files();
  auto text = [&p](std::string_view t) { return ReportText(p.machine, t); };
  const auto& scan = p.form1->scan;
  auto findings = nlohmann::json::array();
  for (const auto& r : scan.findings.Records()) {
    std::string name = r.Name;
    if (auto lock = name.find("Lock:"); lock != std::string::npos) name.erase(lock, 5);
    const bool folder = r.IsFolder || r.IsSubfolder;
    nlohmann::json f = {{"threat", text(name)},
                        {"path", text(r.Path)},
                        {"type", folder ? "folder" : "file"},
                        {"inInfectedFolder", r.InFolder || r.IsSubfolder},
                        {"processTerminated",
                         scan.terminated.count(platform::LowerCase(r.Path)) > 0}};
    if (folder) {
      f["size"] = nullptr;
      f["md5"] = nullptr;
    } else {
      f["size"] = engine::FileSizeOf(fs, r.Path);
      // No digest for a file that could not be read whole.
      f["md5"] = r.Md5.empty() ? nlohmann::json() : nlohmann::json(r.Md5);
    }
    findings.push_back(std::move(f));
  }
  auto inventory = nlohmann::json::array();
  for (const auto& e : scan.inventory.Entries()) inventory.push_back(text(e));
  // What the ignore list kept out of the scan, so nothing is left out silently.
  auto ignored = nlohmann::json::array();
  for (const auto& i : scan.ignored)
    ignored.push_back({{"path", text(i.path)}, {"threat", text(i.name)}});
  // What rules named that no rule may remove: listed, never acted on.
  auto kept = nlohmann::json::array();
  for (const auto& k : scan.protectedFindings)
    kept.push_back({{"threat", text(k.name)}, {"path", text(k.path)}, {"reason", text(k.reason)}});
  report.Json()["findings"] = std::move(findings);
  report.Json()["ignored"] = std::move(ignored);
  report.Json()["protected"] = std::move(kept);
  report.Json()["inventory"] = std::move(inventory);
}

// What the report says of a failed update.
std::string UpdateError(Program& p) {
  const std::string& reason = p.updater->failure;
  return "The update failed" + (reason.empty() ? std::string() : ": " + reason) +
         "; the database in use is kept.";
}

// A run an unattended upgrade started: the copy puts itself over the
// program and starts it; the new program deletes the copy. Nothing else.
int CompleteHandOver(platform::Machine& machine) {
  ui::HeadlessHost host;
  host.onUnexpected = [](const std::string&) {};
  Program p(machine, host);
  if (p.StartHandOver() == Program::Role::UpgradeCopy)
    return update::RunUpgradeCopy(p, {}, kHandOverSwitch);
  return kExitClean;
}

// What /undo did, item by item.
nlohmann::json UndoResults(platform::Machine& machine, const undo::UndoReport& u) {
  auto text = [&machine](std::string_view t) { return ReportText(machine, t); };
  auto items = nlohmann::json::array();
  for (const auto& i : u.items) {
    const char* result = i.result == undo::UndoItem::Result::Restored   ? "restored"
                         : i.result == undo::UndoItem::Result::Conflict ? "conflict"
                                                                        : "failed";
    nlohmann::json item = {{"item", text(i.what)}, {"result", result}, {"reason", nullptr}};
    if (!i.reason.empty()) item["reason"] = text(i.reason);
    items.push_back(std::move(item));
  }
  nlohmann::json out = {{"items", std::move(items)}, {"removed", u.removed}, {"action", nullptr}};
  if (!u.action.empty()) out["action"] = text(u.action);
  out["created"] = u.id.empty() ? nlohmann::json() : nlohmann::json(undo::TimeText(u.created));
  return out;
}

}  // namespace

std::string UtcNow() {
  std::time_t now = std::time(nullptr);
  std::tm utc{};
  if (const std::tm* t = std::gmtime(&now)) utc = *t;
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return buf;
}

std::string Cp1252ToUtf8(std::string_view text) { return platform::Cp1252ToUtf8(text); }

std::string ReportText(platform::Machine& machine, std::string_view text) {
  return machine.Sys().TextToUtf8(text);
}

UndoOutcome ReportUndo(platform::Machine& machine, const undo::UndoReport& u, nlohmann::json& report) {
  report["backup"] = u.id.empty() ? nlohmann::json() : nlohmann::json(u.id);
  report["undo"] = UndoResults(machine, u);
  using S = undo::UndoReport::Status;
  switch (u.status) {
    case S::Done: return {kExitClean, "undone", ""};
    case S::Conflicts: return {kExitFound, "conflicts", ""};
    case S::Nothing: return {kExitFailed, "nothing to undo", u.error};
    default: return {kExitFailed, "failed", u.error};
  }
}

std::optional<CommandLine> ParseCommandLine(const std::vector<std::string>& args) {
  auto find = [](const std::string& arg) -> const Switch* {
    for (const auto& s : kSwitches)
      if (platform::SameText(arg, s.name)) return &s;
    return nullptr;
  };
  CommandLine c;
  // Before anything else: whatever follows, such a run only hands over.
  if (!args.empty() && platform::SameText(args[0], kHandOverSwitch)) {
    c.handOver = true;
    return c;
  }
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (platform::SameText(args[i], kHandOverSwitch)) return std::nullopt;
    const Switch* match = find(args[i]);
    if (!match) return std::nullopt;
    if (match->flag) {
      c.*(match->flag) = true;
      if (match->value && i + 1 < args.size() && !args[i + 1].empty() && !find(args[i + 1]))
        c.*(match->value) = args[++i];
    } else {
      if (i + 1 >= args.size() || args[i + 1].empty()) return std::nullopt;
      if (match->list)
        (c.*(match->list)).push_back(args[++i]);
      else
        c.*(match->value) = args[++i];
    }
  }
  // Undo stands alone: it puts back what an earlier run removed.
  if (c.undo && (c.scan || c.fix || c.quarantine || c.update || c.log || !c.database.empty() ||
                 !c.paths.empty() || !c.server.empty()))
    return std::nullopt;
  if (c.fix || c.quarantine) c.scan = true;  // both work on what the scan finds
  if (!c.scan && !c.update && !c.log && !c.undo) return std::nullopt;
  if (!c.server.empty() && !c.update) return std::nullopt;
  if ((!c.database.empty() || !c.paths.empty()) && !c.scan) return std::nullopt;
  return c;
}

int RunUnattended(platform::Machine& machine, const CommandLine& command,
                  nlohmann::json* reportOut, const std::string& updatePublicKey,
                  const UnattendedSetup& setup) {
  auto& fs = machine.Files();
  Report report(machine);
  std::function<void()> addRows;  // the Report Manager's rows, once the windows exist
  std::function<void(int&, std::string&)> handOver;  // an upgrade waiting for the run's end
  // The first exception that escaped a handler: it ends the run with 2.
  std::string escaped;
  auto finish = [&](int code, std::string error, const char* result = nullptr) {
    if (handOver) std::exchange(handOver, nullptr)(code, error);
    if (!escaped.empty()) {
      code = kExitFailed;
      error = escaped;
      result = nullptr;
    }
    if (addRows && !command.report.empty()) addRows();
    if (!result) result = code == kExitFailed ? "failed" : code == kExitFound ? "infected" : "clean";
    report.Set("result", result);
    if (!error.empty()) report.Set("error", error);
    if (!command.report.empty() && !report.Write(fs, command.report)) {
      code = kExitFailed;
      report.Set("result", "failed");
      report.Set("error", "The report \"" + command.report + "\" could not be written.");
    }
    if (reportOut) *reportOut = std::move(report.Json());
    return code;
  };
  // A report that cannot be written is known before anything is scanned.
  if (!command.report.empty()) {
    const std::string folder = platform::ExtractFilePath(command.report);
    if (!folder.empty() && !platform::DirectoryExists(fs, folder)) {
      report.Set("result", "failed");
      report.Set("error", "The report's folder \"" + folder + "\" does not exist.");
      if (reportOut) *reportOut = std::move(report.Json());
      return kExitFailed;
    }
  }

  // Nobody sees this host: its boxes are answered "No" or "OK" at once.
  ui::HeadlessHost host;
  host.onUnexpected = [](const std::string&) {};
  Program p(machine, host);
  p.updatePublicKey = updatePublicKey;
  p.app.OnException = [&](const std::string& message) {
    if (escaped.empty()) escaped = message;
  };
  // Everything after the start, so an exception that escapes still ends in
  // the report.
  auto run = [&]() -> int {
    if (!p.Start()) {
      // Started as the upgrade copy: it only puts the new program in place.
      if (p.GetRole() == Program::Role::UpgradeCopy) return update::RunUpgradeCopy(p);
      return finish(kExitFailed, "The program does not run on this system.");
    }
    if (command.undo) {
      const UndoOutcome u = ReportUndo(machine, p.journal->Undo(command.undoId), report.Json());
      return finish(u.code, u.error, u.result);
    }
    addRows = [&] { process::AddReportManagerRows(p, report.Json()); };

    bool updateFailed = false;
    if (command.update) {
      const bool more = command.scan || command.log;
      p.updater->neverUpgrade = command.databaseOnly;
      const int rc = update::RunUnattendedUpdate(p, command.server, more);
      updateFailed = rc == update::kUpdateFailed;
      report.Json()["signed"] = !p.updatePublicKey.empty();
      if (command.databaseOnly)
        report.Json()["newProgram"] = p.updater->announcedVersion.empty()
                                          ? nlohmann::json()
                                          : nlohmann::json(ReportText(p.machine, p.updater->announcedVersion));
      report.Set("update", updateFailed ? "failed" : p.app.Terminated() ? "upgrade started" : "done");
      // A handed-over upgrade ends this run: the new program is starting.
      if (p.app.Terminated()) return finish(kExitClean, "");
      if (rc == update::kUpgradeReady) {
        // The scan, fix and log run first, with the program and database in use.
        handOver = [&](int& code, std::string& error) {
          if (update::HandOverUnattended(p)) {
            report.Set("update", "upgrade started");
            return;
          }
          report.Set("update", "failed");
          if (code == kExitClean) {
            code = kExitFailed;
            error = UpdateError(p);
          }
        };
      }
      if (!more) return finish(updateFailed ? kExitFailed : kExitClean, updateFailed ? UpdateError(p) : "");
      if (!escaped.empty()) return finish(kExitFailed, "");
    }

    auto writeLog = [&] {
      std::string error = logopt::WriteUnattendedLog(p, command.logFile);
      if (error.empty()) report.Set("log", logopt::UnattendedLogPath(p, command.logFile));
      return error;
    };
    if (!command.scan) {
      const std::string error = writeLog();
      if (!error.empty()) return finish(kExitFailed, error);
      return finish(updateFailed ? kExitFailed : kExitClean, updateFailed ? UpdateError(p) : "");
    }

    const std::string db =
        command.database.empty() ? p.programFolder + "files.dat" : command.database;
    report.Set("databaseFile", db);
    auto& database = p.form1->database;
    if (auto problem = engine::LoadProblem(database.Load(fs, db, update::LanguageKey())); !problem.empty())
      return finish(kExitFailed, "The threat database \"" + db + "\" " + problem);
    if (database.Text().find('\r') == std::string::npos)
      return finish(kExitFailed, "The threat database \"" + db + "\" is damaged.");
    report.Set("databaseDate", database.Date(p.msg[2]));

    if (command.paths.empty()) {
      RunQuickScan(p, false);
    } else if (auto error = scanopt::RunUnattendedFolderScan(p, command.paths, report.Json());
               !error.empty()) {
      return finish(kExitFailed, error);
    }
    AddScanResults(p, report);
    // A rule that named a protected place found something too, though it is never removed.
    const bool found =
        p.form1->scan.findings.Size() > 0 || !p.form1->scan.protectedFindings.empty();
    if (!escaped.empty()) return finish(kExitFailed, "");
    // Steps that were asked and could not be done, in order.
    std::string errors;
    auto failed = [&](const std::string& error) {
      if (!error.empty()) errors += (errors.empty() ? "" : " ") + error;
    };
    if (command.fix || command.quarantine) {
      report.Json()["backup"] = nullptr;
      if (found) {
        const FixSummary fixed =
            FixEveryFinding(p, command.quarantine, report.Json()["findings"], setup.backup);
        report.Json()["fixed"] = fixed.fixed;
        if (!fixed.backup.empty()) report.Json()["backup"] = fixed.backup;
        if (fixed.notBackedUp)
          failed(std::to_string(fixed.notBackedUp) +
                 (fixed.notBackedUp == 1 ? " finding was left in place because it"
                                         : " findings were left in place because they") +
                 " could not be backed up (see each finding's \"error\").");
      }
    }
    // The log scans again: after the findings (and what was done) are in the report.
    if (command.log) failed(writeLog());
    if (!errors.empty()) return finish(kExitFailed, errors);
    if (found) return finish(kExitFound, "");
    if (updateFailed) return finish(kExitFailed, UpdateError(p));
    return finish(kExitClean, "");
  };
  try {
    return run();
  } catch (...) {
    if (escaped.empty()) escaped = ui::ExceptionMessage(std::current_exception());
  }
  try {
    return finish(kExitFailed, escaped);
  } catch (...) {
    return kExitFailed;  // not even the report could be written
  }
}

int RunProgram(platform::Machine& machine, const std::vector<std::string>& args,
               const std::function<std::unique_ptr<ui::Host>()>& windowHost,
               const std::string& updatePublicKey) {
  if (!args.empty()) {
    auto command = ParseCommandLine(args);
    if (command && command->handOver) return CompleteHandOver(machine);
    return command ? RunUnattended(machine, *command, nullptr, updatePublicKey) : kExitFailed;
  }
  auto host = windowHost();
  Program program(machine, *host);
  program.updatePublicKey = updatePublicKey;
  return program.Main();
}

}  // namespace app
