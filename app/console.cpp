#include "app/console.h"

#include <nlohmann/json.hpp>

#include "app/unattended.h"
#include "platform/text.h"

namespace app {
namespace {

constexpr const char* kName = "klaruvexc";

// A text of the report (UTF-8) in the system code page; empty when missing.
std::string Text(const nlohmann::json& report, const char* key) {
  if (!report.is_object()) return {};
  auto it = report.find(key);
  return it != report.end() && it->is_string() ? platform::Utf8ToCp1252(it->get<std::string>())
                                               : std::string();
}

std::size_t Count(const nlohmann::json& report, const char* key) {
  if (!report.is_object()) return 0;
  auto it = report.find(key);
  if (it == report.end()) return 0;
  if (it->is_array()) return it->size();
  return it->is_number_unsigned() ? it->get<std::size_t>() : 0;
}

bool Removed(const nlohmann::json& finding) {
  const std::string action = Text(finding, "action");
  return action == "removed" || action == "quarantined and removed";
}

// "Found THREAT: PATH (folder), program ended; removed (error)".
std::string FindingLine(const nlohmann::json& f) {
  std::string line = "Found " + Text(f, "threat") + ": " + Text(f, "path");
  if (Text(f, "type") == "folder") line += " (folder)";
  if (f.value("processTerminated", false)) line += ", program ended";
  if (f.contains("action")) {
    const std::string action = Text(f, "action");
    line += "; " + (action == "none" ? std::string("not removed") : action);
    if (const std::string error = Text(f, "error"); !error.empty()) line += " (" + error + ")";
  }
  return line;
}

}  // namespace

const std::vector<std::string>& ConsoleUsage() {
  static const std::vector<std::string> usage = {
      "Klaruvex Pro v4 - SE, command line",
      "Usage: klaruvexc [/update [/server HOST[:PORT]]] [/scan [/db FILE] [/path DIR]...] "
      "[/fix | /quarantine] [/log [FILE]] [/report FILE]",
      "       klaruvexc /undo [ID] [/report FILE]",
      "  /update        bring the threat database up to date (a new program is only announced)",
      "  /server HOST   another update server",
      "  /scan          the quick scan with the threat database \"files.dat\" beside the program",
      "  /db FILE       another threat database",
      "  /path DIR      scan every file below DIR by its hash instead (may repeat)",
      "  /fix           remove every finding after the scan",
      "  /quarantine    store each found file in the quarantine, then remove it",
      "  /log [FILE]    write the full report log (\"Information.txt\" beside the program)",
      "  /undo [ID]     put back what the newest backup (or backup ID) holds",
      "  /report FILE   write the JSON report to FILE",
      "  /?             this text",
      "Exit codes: 0 nothing found, 1 something found, 2 the work could not be done;",
      "  /undo: 0 all put back, 1 some items conflicted, 2 nothing to undo or not readable.",
  };
  return usage;
}

ConsoleText ConsoleLines(const nlohmann::json& report) {
  ConsoleText text;
  auto& out = text.out;
  if (const std::string update = Text(report, "update"); !update.empty())
    out.push_back(update == "done" ? "Update: done" : "Update: failed");
  if (const std::string version = Text(report, "newProgram"); !version.empty())
    out.push_back("A new program is announced: version " + version +
                  "; \"klaruvex.exe /update\" installs it.");
  if (const std::string db = Text(report, "databaseFile"); !db.empty()) {
    const std::string date = Text(report, "databaseDate");
    out.push_back("Database " + db + (date.empty() ? "" : ": " + date));
  }
  const bool scanned = report.is_object() && report.contains("findings");
  if (scanned) {
    if (report.contains("unreadable"))
      for (const auto& u : report["unreadable"])
        out.push_back("Unreadable: " + platform::Utf8ToCp1252(u.is_string() ? u.get<std::string>() : ""));
    for (const auto& i : report.value("ignored", nlohmann::json::array()))
      out.push_back("Ignored " + Text(i, "threat") + ": " + Text(i, "path"));
    // What a rule named in a place no rule may remove: never touched.
    for (const auto& k : report.value("protected", nlohmann::json::array()))
      out.push_back("Protected " + Text(k, "threat") + ": " + Text(k, "path") +
                    "; left in place: it is " + Text(k, "reason"));
    for (const auto& f : report["findings"]) out.push_back(FindingLine(f));
  }
  if (scanned && report.contains("backup")) {
    if (const std::string backup = Text(report, "backup"); !backup.empty())
      out.push_back("Backup: " + backup);
  }
  if (const std::string log = Text(report, "log"); !log.empty())
    out.push_back("Full report log: " + log);
  const bool undone = report.is_object() && report.contains("undo") && report["undo"].is_object();
  std::size_t restored = 0, conflicts = 0, notRestored = 0;
  if (undone) {
    if (const std::string backup = Text(report, "backup"); !backup.empty())
      out.push_back("Backup " + backup + ": " + Text(report["undo"], "action"));
    for (const auto& i : report["undo"].value("items", nlohmann::json::array())) {
      const std::string result = Text(i, "result");
      const std::string reason = Text(i, "reason");
      std::string line = result == "restored"   ? (++restored, "Restored: ")
                         : result == "conflict" ? (++conflicts, "Conflict, left alone: ")
                                                : (++notRestored, "Not restored: ");
      line += Text(i, "item");
      if (!reason.empty()) line += " (" + reason + ")";
      out.push_back(line);
    }
  }

  const std::string result = Text(report, "result");
  std::string last = "Result: " + (result.empty() ? std::string("failed") : result);
  if (scanned) {
    const auto& findings = report["findings"];
    last += ", " + std::to_string(findings.size()) + " found";
    bool acted = false;
    std::size_t removed = 0;
    for (const auto& f : findings) {
      acted = acted || f.contains("action");
      removed += Removed(f) ? 1 : 0;
    }
    if (acted)
      last += ", " + std::to_string(removed) + " removed, " +
              std::to_string(findings.size() - removed) + " not removed";
    if (const auto ignored = Count(report, "ignored")) last += ", " + std::to_string(ignored) + " ignored";
    if (const auto kept = Count(report, "protected")) last += ", " + std::to_string(kept) + " protected";
    if (report.contains("filesChecked"))
      last += ", " + std::to_string(Count(report, "filesChecked")) + " files checked, " +
              std::to_string(Count(report, "unreadable")) + " unreadable";
  } else if (undone && (restored || conflicts || notRestored)) {
    last += ", " + std::to_string(restored) + " restored, " + std::to_string(conflicts) +
            " conflicts, " + std::to_string(notRestored) + " not restored";
  } else if (result == "clean") {
    last = "Result: done";
  }
  out.push_back(last);

  if (const std::string error = Text(report, "error"); !error.empty())
    text.err.push_back(std::string(kName) + ": " + error);
  else if (result == "failed" || result.empty())
    text.err.push_back(std::string(kName) + ": the work could not be done.");
  return text;
}

int RunConsole(platform::Machine& machine, const std::vector<std::string>& args,
               const LineWriter& out, const LineWriter& err, const std::string& updatePublicKey) {
  if (args.size() == 1 && args[0] == "/?") {
    for (const auto& line : ConsoleUsage()) out(line);
    return kExitClean;
  }
  const auto command = args.empty() ? std::nullopt : ParseCommandLine(args);
  if (!command) {
    if (!args.empty()) {
      std::string given;
      for (const auto& a : args) given += (given.empty() ? "" : " ") + a;
      err(std::string(kName) + ": the command line \"" + given + "\" is not understood.");
    }
    for (const auto& line : ConsoleUsage()) err(line);
    return kExitFailed;
  }
  // A script's run never replaces the program: the database alone is
  // brought up to date.
  CommandLine run = *command;
  run.databaseOnly = true;
  nlohmann::json report;
  const int code = RunUnattended(machine, run, &report, updatePublicKey);
  const ConsoleText text = ConsoleLines(report);
  for (const auto& line : text.out) out(line);
  for (const auto& line : text.err) err(line);
  return code;
}

}  // namespace app
