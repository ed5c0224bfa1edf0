#include "engine/quick_scan.h"

#include <ctime>

#include "engine/helpers.h"
#include "engine/rules.h"
#include "platform/text.h"

namespace engine {

std::string LocalTimeText() {
  thread_local std::time_t formatted = -1;
  thread_local char text[16] = "";
  const std::time_t now = std::time(nullptr);
  if (now != formatted) {
    std::tm local{};
    if (const std::tm* t = std::localtime(&now)) local = *t;
    std::strftime(text, sizeof text, "%H:%M:%S", &local);
    formatted = now;
  }
  return text;
}

bool ScanState::SkipIgnored(const std::string& path, const std::string& name, ScanHost& host,
                            const std::string& time) {
  if (!isIgnored || !isIgnored(path)) return false;
  ignored.push_back({path, name});
  host.AddLogLine(time + ": Ignored (" + (name.empty() ? "ignore list" : name) + ") " + path);
  return true;
}

bool ScanState::SkipProtected(platform::FileSystem& fs, const std::string& path,
                              const std::string& name, bool folder, ScanHost& host,
                              const std::string& time) {
  const std::string reason = folder ? FolderProtection(fs, protectedPlaces, path)
                                    : FileProtection(fs, protectedPlaces, path);
  if (reason.empty()) return false;
  for (const auto& p : protectedFindings)
    if (platform::SameText(p.path, path)) return true;  // several rules may name it
  std::string shown = name;
  if (auto lock = shown.find("Lock:"); lock != std::string::npos) shown.erase(lock, 5);
  protectedFindings.push_back({path, shown, reason});
  threatsFound = true;
  host.AddNoteLine("Protected (" + shown + ") " + path);
  host.AddLogLine(time + ": Protected (" + shown + ") " + path + " (" + reason + ")");
  return true;
}

namespace {

using platform::ExtractFileName;
using platform::ExtractFilePath;
using platform::FileNamePart;
using platform::LowerCase;

class Scan {
 public:
  Scan(platform::Machine& m, ThreatDatabase& db, ScanState& s, ScanHost& h)
      : machine_(m), fs_(m.Files()), db_(db), state_(s), host_(h),
        match_{m, s.inventory, [this] { host_.ProcessMessages(); }} {}

  void Run();

 private:
  std::string Expand(const std::string& text) {
    return state_.expandFolderMacros ? state_.expandFolderMacros(text) : text;
  }
  void Pass(ScanRule& rule);
  void FromRulePath(const ScanRule& rule, const std::string& path, const std::string& name);
  void Check(const std::string& path, const std::string& name);
  void Candidate(const std::string& path, const std::string& name);
  void Folder(const ScanRule& rule);
  void FolderContents(const std::string& dir, const std::string& name);
  void Report(const std::string& line);
  // The item being checked in the status panel and the counts, when due.
  void ShowNews();
  void Tick() {
    if (clock_.Due()) ShowNews();
  }
  // Ends the finding's programs and notes whether one ran from its own path.
  void Terminate(const std::string& path) {
    const Termination t = TerminateProgramsOf(machine_, path);
    if (t.result > 0) match_.ForgetRunningPrograms();
    if (t.ownPath) state_.terminated.insert(LowerCase(path));
  }
  bool Protected(const std::string& path, const std::string& name, bool folder) {
    return state_.SkipProtected(fs_, path, name, folder, host_, time_);
  }

  platform::Machine& machine_;
  platform::FileSystem& fs_;
  ThreatDatabase& db_;
  ScanState& state_;
  ScanHost& host_;
  MatchContext match_;
  std::string time_;
  bool reported_ = false;
  // Texts every pass builds, kept so their memory is reused.
  std::string path_, fragment_;
  std::string checking_;  // the display name last checked
  ScanProgress progress_;
  NewsClock clock_;
};

void Scan::Run() {
  time_ = state_.Now();
  host_.ClearLog();
  host_.AddLogLine(time_ + host_.Text(7));
  state_.findings.Clear();
  host_.ClearAbortRequest();
  state_.threatsFound = false;
  state_.findingCount = 0;
  state_.summary.Clear();
  state_.terminated.clear();
  state_.ignored.clear();
  state_.protectedFindings.clear();
  state_.protectedPlaces = ReadProtectedPlaces(machine_);
  host_.ClearFindingLines();
  if (!state_.logBuildingMode) {
    host_.BeginInteractiveScan();
    try {
      if (state_.refreshStartupValues) state_.refreshStartupValues();
      InventoryCallbacks cb;
      cb.startupPrefix = host_.Text(180);
      cb.servicePrefix = host_.Text(181);
      cb.processMessages = [this] { host_.ProcessMessages(); };
      cb.showPath = [this](const std::string& p) { host_.SetStatus(p); };
      BuildSystemInventory(machine_, state_.inventorySources ? state_.inventorySources()
                                                             : InventorySources{},
                           state_.inventory, cb);
    } catch (...) {
      host_.SetStatus(host_.Text(10));
    }
  }
  progress_.rules = CountRulePasses(db_);
  RuleWalker walker(db_, ReadScanRoots(machine_));
  RulePass pass;
  for (;;) {
    time_ = state_.Now();
    if (host_.AbortRequested()) break;
    host_.ProcessMessages();
    if (!walker.Next(pass)) break;
    Pass(pass.rule);
    ++progress_.rulesChecked;
    Tick();
  }
  ShowNews();
}

void Scan::ShowNews() {
  if (!checking_.empty()) host_.SetStatus(host_.Text(16) + checking_);
  host_.ShowProgress(progress_);
}

void Scan::Pass(ScanRule& rule) {
  // Windows reads a path only up to its first NUL: cut there, so that what
  // the scan shows is what it acts on, and a folder walk always sees its
  // path grow.
  for (auto* part : {&rule.dir, &rule.file})
    if (auto nul = part->find('\0'); nul != std::string::npos) part->resize(nul);
  rule.dir = Expand(rule.dir);
  rule.file = Expand(rule.file);
  const bool hashRule = rule.file.empty() && rule.dir.empty() && !rule.hash.empty();
  if (!rule.file.empty() && !rule.dir.empty() && rule.dir.back() != '\\') rule.dir += '\\';

  if (rule.file.empty()) {
    if (!rule.dir.empty()) {
      Folder(rule);
      return;
    }
    if (!hashRule) return;  // inert: nothing to look for
    std::string path = FindInventoryPathByHash(match_, rule.hash);
    if (path.empty()) return;
    if (IsValidFile(fs_, path)) {
      // A file that cannot be read whole matches no digest.
      if (ReadFileMd5(fs_, path) != rule.hash) return;
      if (state_.SkipIgnored(path, rule.name, host_, time_)) return;
      if (Protected(path, rule.name, false)) return;
      Terminate(path);
    }
    Check(path, rule.name);
    return;
  }

  path_.assign(rule.dir).append(rule.file);
  if (auto wild = rule.file.find("<>"); wild != std::string::npos) {
    const std::string prefix = LowerCase(path_.substr(0, rule.dir.size() + wild));
    const std::string found = FindFilesByPattern(match_, path_);
    if (!prefix.empty() && LowerCase(found).find(prefix) != std::string::npos) {
      for (int i = 0, n = CountFields(found, ';'); i < n; ++i) {
        if (host_.AbortRequested()) return;
        host_.ProcessMessages();
        const std::string file = GetField(found, i, ';');
        ScanRule one = rule;
        one.file = ExtractFileName(file);
        FromRulePath(one, file, "Lock:Sys32." + BaseName(file));
      }
      return;
    }
  }
  FromRulePath(rule, path_, rule.name);
}

// Steps from the process lookup on, for a file rule whose path is known.
void Scan::FromRulePath(const ScanRule& rule, const std::string& rulePath, const std::string& name) {
  std::string running;
  if (!rule.noProcessLookup) {
    fragment_.assign(1, '\\').append(rule.file);
    running = FindRunningProcessPath(match_, fragment_, "");
    // A Windows shell program found running is listed as protected, and the
    // rule's own path is checked instead: a sample may bear its name.
    if (!running.empty() && (!IsValidFile(fs_, running) || Protected(running, name, false)))
      running.clear();
  }
  const std::string& path = running.empty() ? rulePath : running;
  if (FileNamePart(path).find("??") == std::string_view::npos) {
    Check(path, name);
    return;
  }
  auto keepGoing = [this] {
    if (host_.AbortRequested()) return false;
    host_.ProcessMessages();
    return true;
  };
  for (const auto& expanded : ExpandRange(path, keepGoing)) {
    if (host_.AbortRequested()) return;
    Check(expanded, "Sys32." + BaseName(expanded));
    Tick();
  }
}

void Scan::Check(const std::string& path, const std::string& name) {
  checking_.assign(name);
  std::string matches;
  try {
    matches = MatchInventory(match_, path);
  } catch (...) {
    matches.clear();
  }
  if (matches.empty()) {
    Candidate(path, name);
    return;
  }
  for (int i = 0, n = CountFields(matches, ';'); i < n; ++i) {
    if (host_.AbortRequested()) return;
    const std::string p = GetField(matches, i, ';');
    Candidate(p, "Lock:Sys32." + BaseName(p));
    Tick();
  }
}

void Scan::Candidate(const std::string& path, const std::string& name) {
  if (!IsValidFile(fs_, path)) return;
  std::string shown = name;
  if (auto lock = shown.find("Lock:"); lock != std::string::npos) shown.erase(lock, 5);
  // Checked before the program is terminated: an ignored file is not touched at all.
  if (state_.SkipIgnored(path, shown, host_, time_)) return;
  if (Protected(path, name, false)) return;
  // A file not read whole has no digest: the full scan never takes it for a
  // pattern, and the log says why.
  const auto md5 = ReadFileMd5(fs_, path);
  if (!md5) host_.AddLogLine(time_ + host_.Text(6) + path + ") " + path);
  Terminate(path);
  // The prefix stays as written; what follows is in lower case.
  state_.summary.Add("!Infected " + LowerCase(ExtractFileName(path) + "=;" + ExtractFilePath(path) +
                                              ";" + name + ";" + md5.value_or("") + ";" +
                                              std::to_string(FileSizeOf(fs_, path)) + ";"));
  state_.threatsFound = true;
  TFileList record;
  record.Path = path;
  record.Name = name;
  record.Md5 = md5.value_or("");
  record.ListIndex = host_.FindingLineCount() - 1;
  if (!state_.findings.Add(std::move(record))) return;
  host_.AddFindingLine(host_.Text(11) + shown);
  ++state_.findingCount;
  host_.AddLogLine(time_ + host_.Text(5) + shown + ") " + path);
  Report(host_.Text(11) + shown + " - File " + path);
}

void Scan::Folder(const ScanRule& rule) {
  if (!platform::DirectoryExists(fs_, rule.dir)) return;
  if (state_.SkipIgnored(rule.dir, rule.name, host_, time_)) return;
  // Neither removed nor walked: its contents are never listed or read.
  if (Protected(rule.dir, rule.name, true)) return;
  state_.threatsFound = true;
  TFileList record;
  record.Path = rule.dir;
  record.Name = rule.name;
  record.IsFolder = true;
  record.ListIndex = host_.FindingLineCount() - 1;
  // A second rule naming the same folder would add a line no record stands for.
  if (!state_.findings.Add(std::move(record))) return;
  host_.AddFindingLine(host_.Text(11) + rule.name);
  ++state_.findingCount;
  host_.AddLogLine(time_ + host_.Text(12) + rule.dir);
  FolderContents(rule.dir, rule.name);
  Report(host_.Text(11) + rule.name + " - Dir " + rule.dir);
}

void Scan::FolderContents(const std::string& dir, const std::string& name) {
  const std::string folder = platform::IncludeTrailingBackslash(dir);
  platform::FindData d;
  auto h = fs_.FindFirst(folder + "*.*", d);
  if (!h) return;
  do {
    const std::string path = folder + d.name;
    if (d.IsDirectory()) {
      // A junction or link may lead back up the tree: never follow one.
      if (d.name.empty() || d.name[0] == '.' || (d.attributes & platform::fileattr::kReparsePoint))
        continue;
      // What the user keeps, and what no rule may remove, stays out with
      // everything below it.
      if (state_.SkipIgnored(path, name, host_, time_)) continue;
      if (!FolderProtection(state_.protectedPlaces, path).empty()) {
        Protected(path, name, true);
        continue;
      }
      TFileList sub;
      sub.Path = path;
      sub.Name = name;
      sub.IsSubfolder = true;
      state_.findings.Add(std::move(sub));
      FolderContents(path, name);
      continue;
    }
    if (state_.SkipIgnored(path, name, host_, time_)) continue;
    if (!FileProtection(state_.protectedPlaces, path).empty()) {
      Protected(path, name, false);
      continue;
    }
    auto md5 = ReadFileMd5(fs_, path);
    if (!md5) {
      host_.AddLogLine(time_ + host_.Text(6) + path + ") " + path);
      continue;
    }
    TFileList file;
    file.Path = path;
    file.Name = name;
    file.InFolder = true;
    file.Md5 = std::move(*md5);
    state_.findings.Add(std::move(file));
    ++state_.findingCount;
    host_.AddLogLine(time_ + host_.Text(5) + name + ") " + path);
  } while (h->Next(d));
}

void Scan::Report(const std::string& line) {
  if (!state_.logBuildingMode || !state_.writeReportLine) return;
  if (!reported_) {
    reported_ = true;
    for (int entry : {-1, 13, 14, 15}) state_.writeReportLine(entry < 0 ? "" : host_.Text(entry));
  }
  state_.writeReportLine(line);
}

}  // namespace

void QuickScan(platform::Machine& machine, ThreatDatabase& db, ScanState& state, ScanHost& host) {
  Scan(machine, db, state, host).Run();
}

}  // namespace engine
