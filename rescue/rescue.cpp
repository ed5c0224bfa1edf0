#include "rescue/rescue.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <ostream>
#include <set>
#include <unordered_map>

#include "app/program.h"
#include "app/winver.h"
#include "engine/startup_registry.h"
#include "kvx_config.h"
#include "logopt/report_build.h"
#include "platform/offline/offline_machine.h"
#include "platform/text.h"
#include "undo/undo_journal.h"

namespace rescue {
namespace {

namespace fs = std::filesystem;
using platform::offline::OfflineMachine;

constexpr const char* kUsage =
    "usage: klaruvex-rescue DIR /scan [/fix | /quarantine] [/db FILE] [/report FILE] [/log [FILE]] "
    "[/user NAME]\n"
    "       klaruvex-rescue DIR /undo [ID] [/report FILE]\n";

// A path given on the command line, as an absolute host path.
std::string Absolute(const std::string& path) {
  if (path.empty() || path[0] == '/') return path;
  std::error_code ec;
  return (fs::current_path(ec) / path).lexically_normal().string();
}

// The file written whole beside its place, then renamed over it.
bool WriteReplacing(const std::string& path, const std::string& bytes) {
  const std::string temp = path + ".kvxnew";
  {
    std::ofstream f(temp, std::ios::binary | std::ios::trunc);
    f << bytes;
    f.flush();
    if (!f) {
      std::remove(temp.c_str());
      return false;
    }
  }
  if (std::rename(temp.c_str(), path.c_str()) != 0) {
    std::remove(temp.c_str());
    return false;
  }
  return true;
}

// "Information.txt" becomes "Information-Anna.txt" when several profiles
// each write their log.
std::string ProfileLogName(const std::string& path, const std::string& profile) {
  const auto slash = path.find_last_of('/');
  const auto dot = path.find_last_of('.');
  const std::string tag = "-" + profile;
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return path + tag;
  return path.substr(0, dot) + tag + path.substr(dot);
}

// The reports of the runs (one per profile) as one report. A scan of a
// large installation has many findings: they are moved, not copied.
class Merge {
 public:
  void Add(nlohmann::json& run, const std::string& profile) {
    for (const char* key : {"databaseFile", "databaseDate"})
      if (run.contains(key) && !report_.contains(key)) report_[key] = run[key];
    if (run.contains("findings"))
      for (auto& f : run["findings"]) {
        std::string id = platform::LowerCase(f.value("path", "")) + "\n" + f.value("threat", "");
        auto [it, added] = findingIndex_.try_emplace(std::move(id), findings_.size());
        if (added) {
          findings_.push_back(std::move(f));
          findings_.back()["profiles"] = nlohmann::json::array();
        }
        if (!profile.empty()) findings_[it->second]["profiles"].push_back(profile);
      }
    if (run.contains("inventory"))
      for (auto& e : run["inventory"]) inventory_.insert(std::move(e.get_ref<std::string&>()));
    for (const char* key : {"ignored", "protected", "reportManager"})
      if (run.contains(key))
        for (const auto& row : run[key]) {
          auto& list = lists_[key];
          if (std::find(list.begin(), list.end(), row) == list.end()) list.push_back(row);
        }
    if (run.contains("fixed")) fixed_ = fixed_.value_or(true) && run["fixed"].get<bool>();
    if (run.contains("error") && error_.empty()) error_ = run["error"].get<std::string>();
  }
  // Once, at the end.
  void Into(nlohmann::json& report) {
    for (const auto& [key, value] : report_.items()) report[key] = value;
    report["findings"] = std::move(findings_);
    for (const char* key : {"ignored", "protected", "reportManager"}) {
      auto it = lists_.find(key);
      report[key] = it == lists_.end() ? nlohmann::json::array() : nlohmann::json(it->second);
    }
    report["inventory"] = inventory_;
    if (fixed_) report["fixed"] = *fixed_;
  }
  std::size_t Findings() const { return findingIndex_.size(); }
  // What rules named that no rule may remove: left in place, counted as found.
  const std::vector<nlohmann::json>& Protected() const {
    static const std::vector<nlohmann::json> none;
    auto it = lists_.find("protected");
    return it == lists_.end() ? none : it->second;
  }
  const std::vector<nlohmann::json>& FindingList() const { return findings_; }
  const std::string& Error() const { return error_; }

 private:
  nlohmann::json report_ = nlohmann::json::object();
  std::vector<nlohmann::json> findings_;
  std::unordered_map<std::string, std::size_t> findingIndex_;
  std::set<std::string> inventory_;
  std::map<std::string, std::vector<nlohmann::json>> lists_;
  std::optional<bool> fixed_;
  std::string error_;
};

// `what`: "a fix" or "an undo"; `again`: "the fix" or "the undo".
std::string DirtyHiveMessage(const std::vector<std::string>& dirty, const std::string& what,
                             const std::string& again) {
  std::string names, logs;
  for (const auto& d : dirty) {
    const std::string name = platform::ExtractFileName(d);
    names += (names.empty() ? "" : ", ") + d;
    logs += (logs.empty() ? "" : ", ") + name + ".LOG1, " + name + ".LOG2";
  }
  return "the registry hive" + std::string(dirty.size() > 1 ? "s " : " ") + names +
         (dirty.size() > 1 ? " were" : " was") +
         " not closed cleanly (Windows crashed or lost power): their newest changes are still "
         "in the transaction logs, and " + what + " would lose them. Nothing was changed. Start Windows "
         "once and shut it down normally, or replay the transaction logs (" +
         logs + ") with a tool that can, then run " + again + " again. /scan reads the installation as it is.";
}

// A fix or an undo must be able to write where it will write, or it changes
// nothing: a new file beside each hive, and (for a fix) the rescue's folder
// at the volume's root.
std::string WritableProblem(OfflineMachine& m, bool makeFolder) {
  auto& f = m.Files();
  // The probes leave nothing behind; the folder is made last, when it is sure to be used.
  for (const auto& h : m.Hives()) {
    const std::string probe = platform::ReplacementTempPath(h.path);
    const platform::Status s = platform::WriteWholeFile(f, probe, "");
    f.DeleteFile(probe);
    if (s != platform::kOk)
      return "the registry hive " + h.label + " cannot be replaced (error " + std::to_string(s) +
             "); nothing was changed";
  }
  const std::string folder = m.Sys().DataFolder();
  if (makeFolder && !platform::DirectoryExists(f, folder)) {
    const platform::Status s = f.CreateDirectory(folder);
    if (s != platform::kOk)
      return "the volume cannot be written (the folder " + folder + " cannot be made, error " +
             std::to_string(s) + "); nothing was changed";
  }
  return {};
}

// The journal of the installation's rescue folder, naming values as they
// live in the hives and saving the hives an undo changes.
struct VolumeJournal {
  explicit VolumeJournal(OfflineMachine& m) : journal(m, DataFolder(m)) {
    journal.valuePlace = [&m](platform::Hive& root, std::string& key, std::string_view name) {
      m.ValuePlace(root, key, name);
    };
    journal.save = [&m](std::string& why) { return m.CommitHives(&why) == platform::kOk; };
  }
  static std::string DataFolder(OfflineMachine& m) {
    return m.Sys().DataFolder() + "\\";
  }
  undo::Journal journal;
};

// One line per item /undo handled, from the report.
void TellUndo(const nlohmann::json& report, std::ostream& out) {
  const auto& u = report["undo"];
  if (!report["backup"].is_string()) return;
  out << "klaruvex-rescue: backup " << report["backup"].get<std::string>();
  if (u["action"].is_string()) out << " (" << u["action"].get<std::string>() << ")";
  out << "\n";
  for (const auto& i : u["items"]) {
    const std::string result = i["result"];
    out << "  " << (result == "restored" ? "restored: " : result == "conflict" ? "conflict, left alone: " : "not restored: ")
        << i["item"].get<std::string>();
    if (i["reason"].is_string()) out << " (" << i["reason"].get<std::string>() << ")";
    out << "\n";
  }
}

}  // namespace

std::optional<RescueCommand> ParseRescueCommandLine(const std::vector<std::string>& args,
                                                    std::string* problem) {
  auto fail = [&](std::string text) -> std::optional<RescueCommand> {
    if (problem) *problem = std::move(text);
    return std::nullopt;
  };
  if (args.empty()) return fail("the folder of the Windows volume is missing");
  RescueCommand r;
  r.volume = args[0];
  if (r.volume.empty()) return fail("the folder of the Windows volume is missing");
  std::vector<std::string> rest;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (platform::SameText(a, "/user")) {
      if (i + 1 >= args.size() || args[i + 1].empty()) return fail("/user needs a profile name");
      r.user = args[++i];
    } else if (platform::SameText(a, "/update") || platform::SameText(a, "/server") ||
               platform::SameText(a, "/path")) {
      return fail(a + " is not available in the rescue");
    } else {
      rest.push_back(a);
    }
  }
  auto command = app::ParseCommandLine(rest);
  if (command && command->undo) {
    // Every profile's values may be in the backup: /user has no place here.
    if (!r.user.empty()) return fail("/undo takes no /user");
    r.undo = true;
    r.undoId = command->undoId;
    r.command = *command;
    return r;
  }
  if (!command || !command->scan) return fail("unknown or incomplete switches");
  if (command->fix && command->quarantine) return fail("/fix and /quarantine exclude each other");
  r.command = *command;
  return r;
}

int RunRescue(const std::vector<std::string>& args, const std::string& programPath,
              std::ostream& out, std::ostream& err) {
  std::string problem;
  auto parsed = ParseRescueCommandLine(args, &problem);
  if (!parsed) {
    err << "klaruvex-rescue: " << problem << "\n" << kUsage;
    return app::kExitFailed;
  }
  const RescueCommand& rc = *parsed;
  const std::string reportPath = Absolute(rc.command.report);
  if (!reportPath.empty() && !fs::is_directory(fs::path(reportPath).parent_path())) {
    err << "klaruvex-rescue: the folder of the report " << reportPath << " does not exist\n";
    return app::kExitFailed;
  }
  nlohmann::json report;
  report["program"] = app::kAppTitle;
  report["version"] = KVX_VERSION;
  report["started"] = app::UtcNow();
  auto warnings = nlohmann::json::array();
  auto finish = [&](int code, const std::string& error, const char* result = nullptr) {
    if (!error.empty()) {
      err << "klaruvex-rescue: " << error << "\n";
      report["error"] = error;
    }
    report["warnings"] = warnings;
    if (!result) result = code == app::kExitFailed ? "failed" : code == app::kExitFound ? "infected" : "clean";
    report["result"] = result;
    report["finished"] = app::UtcNow();
    // A message that still holds bytes of another code page is written with
    // replacement characters rather than not at all.
    const std::string json = report.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
    if (!reportPath.empty() && !WriteReplacing(reportPath, json + "\n")) {
      err << "klaruvex-rescue: the report " << reportPath << " cannot be written\n";
      return app::kExitFailed;
    }
    return code;
  };
  const bool changes = rc.command.fix || rc.command.quarantine;
  const std::string database = Absolute(rc.command.database);
  const std::string logFile = Absolute(rc.command.logFile);
  platform::offline::OfflineOptions options;
  options.volume = rc.volume;
  options.programPath = programPath;
  options.writable = changes || rc.undo;
  options.user = rc.user;
  options.dataFolderName = kRescueFolder;
  for (const auto& f : {database, reportPath, logFile})
    if (!f.empty()) options.hostFiles.push_back(f);
  std::string error;
  auto machine = OfflineMachine::Open(options, &error);
  if (!machine) return finish(app::kExitFailed, error);
  OfflineMachine& m = *machine;
  auto text = [&m](const std::string& t) { return m.Sys().TextToUtf8(t); };
  auto programText = [&m](const std::string& hostPath) { return m.Text().FromUtf8(hostPath, false); };

  auto profiles = nlohmann::json::array();
  for (const auto& p : m.Profiles()) profiles.push_back(text(p.name));
  auto hives = nlohmann::json::array();
  const auto dirty = m.DirtyHives();
  for (const auto& h : m.Hives())
    hives.push_back({{"hive", text(h.label)},
                     {"dirty", std::find(dirty.begin(), dirty.end(), h.label) != dirty.end()}});
  report["installation"] = {{"folder", rc.volume},
                            {"windowsFolder", text(m.Files().WindowsDirectory())},
                            {"windowsVersion", text(app::WindowsVersionText(m.Sys(), m.Reg()))},
                            {"codePage", m.Text().Number()},
                            {"profiles", profiles},
                            {"hives", hives}};
  std::size_t told = 0;
  auto tellWarnings = [&] {
    for (; told < m.Warnings().size(); ++told) {
      err << "klaruvex-rescue: warning: " << m.Warnings()[told] << "\n";
      warnings.push_back(text(m.Warnings()[told]));
    }
  };
  tellWarnings();
  if (rc.undo) {
    if (!dirty.empty())
      return finish(app::kExitFailed, text(DirtyHiveMessage(dirty, "an undo", "the undo")));
    if (auto p = WritableProblem(m, false); !p.empty()) return finish(app::kExitFailed, text(p));
    VolumeJournal v(m);
    v.journal.RemoveExpired();
    const app::UndoOutcome u = app::ReportUndo(m, v.journal.Undo(rc.undoId), report);
    tellWarnings();
    TellUndo(report, out);
    return finish(u.code, u.error, u.result);
  }
  if (changes && !dirty.empty())
    return finish(app::kExitFailed, text(DirtyHiveMessage(dirty, "a fix", "the fix")));
  if (changes) {
    if (auto p = WritableProblem(m, true); !p.empty()) return finish(app::kExitFailed, text(p));
  }
  // One backup for the whole fix, every profile's removals and the hives.
  std::optional<VolumeJournal> volumeJournal;
  std::optional<undo::Backup> backup;
  if (changes) {
    volumeJournal.emplace(m);
    backup.emplace(volumeJournal->journal, rc.command.quarantine ? "Add to Quarantine and Fix" : "Fix");
  }

  // One run of the Windows program's unattended scan per profile.
  std::vector<std::string> names;
  for (const auto& p : m.Profiles()) names.push_back(p.name);
  if (names.empty()) names.push_back("");
  const std::string programFolder = fs::path(programPath).parent_path().string() + "/";
  Merge merge;
  bool failed = false;
  auto logs = nlohmann::json::array();
  for (const auto& name : names) {
    if (!name.empty()) {
      m.SelectProfile(name);
      out << "klaruvex-rescue: scanning " << (names.size() > 1 ? "profile " : "") << text(name)
          << (rc.command.fix ? " and fixing" : rc.command.quarantine ? " and quarantining" : "")
          << "\n";
    }
    app::CommandLine c = rc.command;
    c.report.clear();
    c.database = programText(database);
    if (c.log) {
      std::string log = logFile.empty() ? programFolder + logopt::kReportFileName : logFile;
      if (names.size() > 1) {
        log = ProfileLogName(log, name);
        m.AllowHostFile(log);  // beside the one asked for
      }
      c.logFile = programText(log);
      logs.push_back(log);
    }
    app::UnattendedSetup setup;
    setup.backup = backup ? &*backup : nullptr;
    nlohmann::json run;
    const int code = app::RunUnattended(m, c, &run, {}, setup);
    failed = failed || code == app::kExitFailed;
    merge.Add(run, text(name));
    tellWarnings();
  }
  // A file removed in one profile's run is gone for the next ones, whose
  // scans no longer find it: the start-up values of those profiles that
  // started it go now, as the fix removes them with the file.
  if (backup && names.size() > 1) {
    const std::string folder = platform::ExtractFilePath(m.Sys().ModulePath());
    std::vector<std::string> removed;
    for (const auto& f : merge.FindingList())
      if (f.value("type", "") == "file" && f.contains("action") &&
          (f["action"] == "removed" || f["action"] == "quarantined and removed"))
        removed.push_back(programText(f["path"].get<std::string>()));
    for (const auto& name : names) {
      m.SelectProfile(name);
      for (const auto& path : removed) engine::RemoveStartupValuesFor(m, folder, path, *backup);
    }
  }
  // Said before the lists move into the report.
  for (const auto& k : merge.Protected())
    out << "klaruvex-rescue: protected " << k.value("threat", "") << ": " << k.value("path", "")
        << "; left in place: it is " << k.value("reason", "") << "\n";
  const std::size_t found = merge.Findings(), kept = merge.Protected().size();
  merge.Into(report);
  if (rc.command.log) report["logs"] = logs;

  std::string commitError;
  if (changes) {
    auto changed = nlohmann::json::array();
    for (const auto& h : m.Hives())
      if (h.changed) changed.push_back(text(h.label));
    report["installation"]["changedHives"] = changed;
    // Each hive's file as it was goes into the backup before the new one
    // takes its place.
    auto keep = [&](const std::string& hive, const std::string& newFile, std::string* why) {
      const undo::Kept kept = backup->KeepReplacement(hive, newFile);
      if (!kept && why) *why = "the registry hive " + hive + " cannot be backed up: " + kept.error;
      return kept.ok;
    };
    if (m.CommitHives(&commitError, keep) != platform::kOk) {
      failed = true;
      commitError = "the registry changes of the fix could not be saved, the start-up values are "
                    "still there: " + commitError;
      report["fixed"] = false;
    }
    backup->Finish();
    report["backup"] = backup->Id().empty() ? nlohmann::json() : nlohmann::json(backup->Id());
    if (!backup->Id().empty())
      out << "klaruvex-rescue: what the fix removed is kept in the backup " << backup->Id()
          << " (\"klaruvex-rescue " << rc.volume << " /undo " << backup->Id() << "\" puts it back)\n";
  }
  const std::string firstError = !commitError.empty() ? text(commitError) : merge.Error();
  if (failed) return finish(app::kExitFailed, firstError.empty() ? "the scan could not be done" : firstError);
  if (!merge.Error().empty()) err << "klaruvex-rescue: " << merge.Error() << "\n";
  if (found + kept > 0) {
    out << "klaruvex-rescue: " << found << " finding" << (found == 1 ? "" : "s");
    if (kept > 0) out << ", " << kept << " protected";
    out << "\n";
    return finish(app::kExitFound, "");
  }
  out << "klaruvex-rescue: nothing found\n";
  return finish(app::kExitClean, "");
}

}  // namespace rescue
