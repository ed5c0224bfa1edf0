#include "app/fix_ui.h"

#include <chrono>
#include <cstdio>
#include <optional>
#include <thread>

#include <nlohmann/json.hpp>

#include "app/all_windows.h"
#include "engine/helpers.h"
#include "engine/protected_places.h"
#include "platform/text.h"
#include "app/unattended.h"
#include "undo/journal_ui.h"
#include "undo/undo_journal.h"
#include "update/log_upload.h"

namespace app {
namespace {

using engine::TFileList;

// A file the clean timer gave up on is left after at most this much time on
// the host's clock, even when the timer stopped ticking (a modal loop).
constexpr std::uint64_t kDeleteBackstopMs = 10000;

std::string StatusText(platform::Status s) {
  switch (s) {
    case platform::kAccessDenied: return "access is denied";
    case platform::kSharingViolation: return "the file is in use by another program";
    case platform::kOk: return "the file is still there";
    default: return "system error " + std::to_string(s);
  }
}

// "Clean...[%f sec]" with the seconds in two decimals.
std::string CleanedLine(const std::string& text, long double seconds) {
  char number[32];
  std::snprintf(number, sizeof number, "%.2f", static_cast<double>(seconds));
  std::string out = text;
  if (auto at = out.find("%f"); at != std::string::npos) out.replace(at, 2, number);
  return out;
}

// The buttons while Fix or Add to Quarantine works, and after.
void Busy(TForm1& f, bool busy) {
  f.Find("Button2")->SetEnabled(false);
  f.Find("Button1")->SetEnabled(!busy);
  f.Find("Button3")->SetEnabled(busy);
  f.Find("Button6")->SetVisible(!busy);
}

// The infection summary line of a file ("!infected name=..."), or -1.
int SummaryLine(engine::InfectionSummary& summary, const std::string& path) {
  const std::string key = platform::LowerCase("!Infected " + platform::ExtractFileName(path));
  const auto& lines = summary.Lines();
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const auto eq = lines[i].find('=');
    if (eq != std::string::npos && platform::LowerCase(lines[i].substr(0, eq)) == key)
      return static_cast<int>(i);
  }
  return -1;
}

class Fixer {
 public:
  Fixer(Program& p, const FixOptions& o)
      : p_(p),
        o_(o),
        f_(*p.form1),
        msg_(p.msg),
        fs_(p.machine.Files()),
        time_(f_.scan.Now()),
        places_(engine::ReadProtectedPlaces(p.machine)),
        ownBackup_(o.backup ? nullptr : std::make_unique<undo::Backup>(*p.journal, "Fix")),
        backup_(o.backup ? *o.backup : *ownBackup_) {}

  void Run() {
    JobScope job(p_, Job::Fix, o_.boxes);
    if (!job) return;
    auto& records = f_.scan.findings.Records();
    if (o_.outcomes) o_.outcomes->resize(records.size());
    f_.Memo2->Add("");
    f_.Memo2->Add(time_ + ": " + msg_[31]);
    f_.abortRequest = false;
    Busy(f_, true);
    upload_ = p_.updater && p_.updater->logUploadSwitch;

    bool aborted = false;
    for (std::size_t i = 0; i < records.size() && !aborted; ++i) {
      if (f_.abortRequest) break;
      const TFileList r = records[i];  // window messages run below
      if (r.IsFolder || r.IsSubfolder || !IsSelected(r, *f_.List1)) continue;
      aborted = !File(i, r);
    }
    if (!aborted && !f_.abortRequest) Folders();
    if (ownBackup_) ownBackup_->Finish();
    if (!f_.abortRequest) Finished();
    Close();
  }

 private:
  FindingOutcome* Outcome(std::size_t i) {
    return o_.outcomes && i < o_.outcomes->size() ? &(*o_.outcomes)[i] : nullptr;
  }
  void Line(const TFileList& r, const std::string& text) {
    if (HasOwnLine(r)) f_.List1->SetItem(static_cast<std::size_t>(r.ListIndex), text);
  }
  void Pump() { p_.app.ProcessMessages(); }
  void MarkSummary(const std::string& path, const char* text) {
    const int summary = upload_ ? SummaryLine(f_.scan.summary, path) : -1;
    if (summary >= 0) f_.scan.summary.Lines()[static_cast<std::size_t>(summary)] += text;
  }

  // A finding the backup could not keep stays where it is.
  bool NotBackedUp(std::size_t i, const TFileList& r, const std::string& why) {
    f_.Timer1->SetEnabled(false);
    if (!r.IsFolder && !r.IsSubfolder) Line(r, "[Err] " + r.Path);
    if (r.IsFolder) Line(r, "Err...");
    f_.Memo2->Add(time_ + ": Cannot back up " + r.Path + " (" + why + "), it was left in place.");
    if (!r.IsFolder && !r.IsSubfolder) MarkSummary(r.Path, "Err;");
    if (FindingOutcome* out = Outcome(i)) {
      out->notBackedUp = true;
      out->error = "left in place: it could not be backed up: " + why;
    }
    return true;
  }

  // One file; false when the user aborted.
  bool File(std::size_t i, const TFileList& r) {
    FindingOutcome* out = Outcome(i);
    if (o_.keep.count(i)) {
      if (out) out->attempted = true;
      return true;  // the reason is already recorded
    }
    if (out) out->attempted = true;
    f_.SetStatus(msg_[32] + r.Name);
    f_.Memo2->Add(time_ + msg_[33] + r.Name);
    Line(r, msg_[34]);
    f_.cleanTimer = 0;
    f_.Timer1->SetEnabled(true);
    Pump();

    // No finding should name one, but whatever put it in the register, a
    // place Windows needs is never touched.
    if (const std::string reason = engine::FileProtection(fs_, places_, r.Path); !reason.empty()) {
      f_.Timer1->SetEnabled(false);
      Line(r, "[Err] " + r.Path);
      f_.Memo2->Add(time_ + ": Protected (" + r.Name + ") " + r.Path + " (" + reason + ")");
      if (out) out->error = "protected: " + reason;
      return true;
    }
    const bool locked = IsLockedFinding(r);
    platform::Status lastError = platform::kOk;
    const bool present = engine::IsValidFile(fs_, r.Path);
    undo::Kept kept;
    // An abort may leave the file: then it needs no place in the backup.
    auto aborted = [&] {
      if (platform::FileExists(fs_, r.Path)) backup_.NotDone(kept);
      return false;
    };
    if (present) {
      if (f_.abortRequest) return false;
      engine::TerminateProgramsOf(p_.machine, r.Path);
      if (!locked) {
        Pump();
        auto& host = p_.app.GetHost();
        std::uint64_t start = host.NowMs();
        // The file is kept in the backup before any attempt to delete it. A
        // file its own program holds is kept once that program has ended,
        // so keeping is tried again at each round; the four seconds are for
        // deleting, not for copying.
        bool hopeless = false;  // the backup itself cannot be written
        auto keep = [&] {
          if (kept) return true;
          if (hopeless) return false;
          kept = backup_.KeepFile(r.Path, false);
          hopeless = !kept && !kept.inUse;
          if (!kept) return false;
          f_.cleanTimer = 0;
          start = host.NowMs();
          return true;
        };
        if (keep()) lastError = Delete(r.Path);
        RemoveStartupValues(r.Path);
        for (;;) {
          engine::TerminateProgramsOf(p_.machine, r.Path);
          Pump();
          if (keep()) lastError = Delete(r.Path);
          const bool gone = !platform::FileExists(fs_, r.Path);
          if (f_.abortRequest) return aborted();
          if (gone || hopeless || f_.cleanTimer > 4.0L || host.NowMs() - start > kDeleteBackstopMs)
            break;
          host.Sleep(10);  // lets the ended programs go and the clean timer tick
          if (o_.pause) o_.pause();
        }
        if (!kept && platform::FileExists(fs_, r.Path)) {
          backup_.NotKept(r.Path, kept.error);
          return NotBackedUp(i, r, kept.error);
        }
      }
    }
    auto mark = [&](const char* text) { MarkSummary(r.Path, text); };

    if (!(locked && present) && !engine::IsValidFile(fs_, r.Path)) {
      f_.Timer1->SetEnabled(false);
      ++cleaned_;
      Line(r, CleanedLine(msg_[35], f_.cleanTimer));
      f_.Memo2->Add(time_ + msg_[36] + r.Path);
      mark("Ok;");
      if (out) out->removed = true;
      return true;
    }
    f_.Timer1->SetEnabled(false);
    backup_.NotDone(kept);
    Line(r, "[Err] " + r.Path);
    f_.Memo2->Add(time_ + msg_[37]);
    f_.SetEnabled(false);
    mark(locked && present ? "Locked_Err;" : "Err;");
    if (o_.boxes) p_.Box(msg_[38] + r.Path + msg_[39], msg_[2], ui::Buttons::Ok, ui::Icon::Error);
    f_.SetEnabled(true);
    RemoveStartupValues(r.Path);
    if (out)
      out->error = locked && present ? "a locked finding: its program was ended, the file is left in place"
                          : "the file could not be deleted: " + StatusText(lastError);
    return true;
  }

  // The start-up values that start the file, each kept in the backup first;
  // those the registry keeps (a watchdog writing one back at once, or one
  // that could not be backed up) are named in the log.
  void RemoveStartupValues(const std::string& path) {
    std::vector<std::string> left;
    f_.RemoveStartupValuesFor(path, &backup_, &left);
    for (const auto& value : left)
      f_.Memo2->Add(time_ + ": Cannot remove start-up value " + value);
  }

  platform::Status Delete(const std::string& path) {
    fs_.SetAttributes(path, platform::fileattr::kNormal);
    return fs_.DeleteFile(path);
  }

  // Inner folders come after the folders that hold them in the register.
  void Folders() {
    auto& records = f_.scan.findings.Records();
    for (std::size_t k = records.size(); k-- > 0;) {
      Pump();
      if (f_.abortRequest) return;
      if (k >= records.size()) continue;
      const TFileList r = records[k];
      if (!r.IsFolder && !r.IsSubfolder) continue;
      FindingOutcome* out = Outcome(k);
      if (out) out->attempted = true;
      if (const std::string reason = engine::FolderProtection(fs_, places_, r.Path); !reason.empty()) {
        f_.Memo2->Add(time_ + ": Protected (" + r.Name + ") " + r.Path + " (" + reason + ")");
        if (r.IsFolder) Line(r, "Err...");
        if (out) out->error = "protected: " + reason;
        continue;
      }
      undo::Kept kept;
      if (platform::DirectoryExists(fs_, r.Path)) {
        kept = backup_.KeepFolder(r.Path);
        if (!kept) {
          NotBackedUp(k, r, kept.error);
          continue;
        }
      }
      const platform::Status s = fs_.RemoveDirectory(r.Path);
      if (s != platform::kOk) backup_.NotDone(kept);
      if (s == platform::kOk) {
        ++cleaned_;
        f_.Memo2->Add(time_ + msg_[40] + r.Path);
        if (r.IsFolder) Line(r, msg_[41]);
        if (out) out->removed = true;
      } else {
        f_.Memo2->Add(time_ + msg_[42] + r.Path);
        if (r.IsFolder) Line(r, "Err...");
        if (out)
          out->error = s == platform::kDirNotEmpty ? "the folder still holds files"
                                                   : "the folder could not be removed: " +
                                                         StatusText(s);
      }
    }
  }

  void Finished() {
    f_.Memo2->Add(time_ + msg_[43]);
    if (!o_.boxes) return;
    f_.SetEnabled(false);
    undo::TellNotBackedUp(p_, backup_);
    p_.Box(std::to_string(cleaned_) + msg_[44] + "\r\r" + msg_[131] + "\r" + msg_[132], msg_[23],
           ui::Buttons::Ok, ui::Icon::Information);
    update::OfferLogUpload(p_, true);
    f_.SetEnabled(true);
  }

  void Close() {
    f_.Timer1->SetEnabled(false);  // an abort inside the deletion loop leaves it running
    if (f_.abortRequest) f_.Memo2->Add(time_ + msg_[46]);
    f_.Memo2->Add(msg_[47]);
    Busy(f_, false);
    f_.SetStatus(msg_[f_.abortRequest ? 48 : 49]);
  }

  Program& p_;
  const FixOptions& o_;
  TForm1& f_;
  const MessageTable& msg_;
  platform::FileSystem& fs_;
  const std::string time_;
  const engine::ProtectedPlaces places_;
  std::unique_ptr<undo::Backup> ownBackup_;
  undo::Backup& backup_;
  bool upload_ = false;
  int cleaned_ = 0;
};

}  // namespace

bool IsSelected(const TFileList& r, const ui::ListBox& list) {
  if (r.IsFolder || r.IsSubfolder) return false;
  return r.FromFullScan || r.InFolder || r.ListIndex == -1 ||
         list.Checked(static_cast<std::size_t>(r.ListIndex));
}

bool HasOwnLine(const TFileList& r) { return !r.FromFullScan && !r.InFolder && r.ListIndex != -1; }

bool IsLockedFinding(const TFileList& r) {
  return platform::LowerCase(r.Name).find("lock:") != std::string::npos;
}

void RunFix(Program& program, const FixOptions& options) { Fixer(program, options).Run(); }

void RunAddToQuarantine(Program& p, const FixOptions& o) {
  // Ended before the hand-over to Fix below.
  std::optional<JobScope> job;
  job.emplace(p, Job::Quarantine, o.boxes);
  if (!*job) return;
  auto& f = *p.form1;
  const auto places = engine::ReadProtectedPlaces(p.machine);
  const auto& msg = p.msg;
  auto& fs = p.machine.Files();
  auto& store = p.form9->store;
  const std::string time = f.scan.Now();
  auto& records = f.scan.findings.Records();
  if (o.outcomes) o.outcomes->resize(records.size());

  f.Memo2->Add("");
  f.Memo2->Add(time + ": " + msg[50]);
  f.abortRequest = false;
  int added = 0;
  Busy(f, true);
  for (std::size_t i = 0; i < records.size() && !f.abortRequest; ++i) {
    const TFileList r = records[i];
    if (r.IsFolder || r.IsSubfolder || !IsSelected(r, *f.List1)) continue;
    FindingOutcome* out = o.outcomes ? &(*o.outcomes)[i] : nullptr;
    f.SetStatus(msg[51] + r.Name);
    f.Memo2->Add(time + msg[52] + r.Name);
    if (!engine::IsValidFile(fs, r.Path)) continue;
    if (f.abortRequest) break;
    if (const std::string reason = engine::FileProtection(fs, places, r.Path); !reason.empty()) {
      if (out) out->error = "protected: " + reason;
      continue;
    }
    engine::TerminateProgramsOf(p.machine, r.Path);
    if (IsLockedFinding(r)) continue;
    if (store.Add(r.Path, r.Name, r.Md5)) {
      f.Memo2->Add(time + msg[53] + r.Path);
      ++added;
      if (out) out->quarantined = true;
    } else {
      f.Memo2->Add(time + msg[54] + r.Path);
      // One entry per path: the one there counts only when it is this file.
      // A file not read whole has no digest and is never taken for it.
      const TQFileList* held = out ? store.Find(r.Path) : nullptr;
      if (!held) {
        if (out) out->error = "not stored in quarantine: " + store.LastError();
      } else if (!held->Checksum.empty() && engine::ReadFileMd5(fs, r.Path) == held->Checksum) {
        out->quarantined = true;
      } else {
        out->olderInQuarantine = held->Checksum;
      }
    }
  }
  if (p.form9->Visible()) p.form9->Refresh();
  f.Memo2->Add(time + msg[55]);
  f.Memo2->Add(time + msg[56]);
  if (o.boxes) {
    f.SetEnabled(false);
    p.Box(std::to_string(added) + msg[57] + "\r\r" + msg[136] + "\r" + msg[137], msg[23],
          ui::Buttons::Ok, ui::Icon::Information);
    f.SetEnabled(true);
  }
  f.SetStatus(msg[58]);
  Busy(f, false);
  f.Find("Button2")->SetEnabled(true);
  job.reset();
  if (o.boxes) f.Button2Click();
}

FixSummary FixEveryFinding(Program& p, bool quarantineFirst, nlohmann::json& findings,
                           undo::Backup* given) {
  const auto& records = p.form1->scan.findings.Records();
  std::vector<FindingOutcome> outcomes;
  std::optional<undo::Backup> own;
  if (!given) own.emplace(*p.journal, quarantineFirst ? "Add to Quarantine and Fix" : "Fix");
  undo::Backup& backup = given ? *given : *own;
  FixOptions options;
  options.boxes = false;
  options.outcomes = &outcomes;
  options.backup = &backup;
  options.pause = [] { std::this_thread::sleep_for(std::chrono::milliseconds(10)); };
  if (quarantineFirst) {
    RunAddToQuarantine(p, options);
    // Nothing is deleted that the user wanted kept and the quarantine does
    // not hold (a full disk, a file it could not read).
    for (std::size_t i = 0; i < records.size(); ++i)
      if (!outcomes[i].error.empty() && !IsLockedFinding(records[i]) &&
          !p.form9->store.Contains(records[i].Path))
        options.keep.insert(i);
  }
  RunFix(p, options);
  if (own) own->Finish();
  FixSummary summary;
  summary.backup = backup.Id();
  for (std::size_t i = 0; i < records.size() && i < findings.size(); ++i) {
    const auto& o = outcomes[i];
    std::string action = "none";
    if (o.quarantined) action = o.removed ? "quarantined and removed" : "quarantined";
    else if (o.removed) action = "removed";
    else if (!o.attempted) action = "not reached";
    findings[i]["action"] = action;
    if (o.error.empty()) {
      findings[i]["error"] = nullptr;
    } else {
      findings[i]["error"] = ReportText(p.machine, o.error);
      summary.fixed = false;
    }
    if (o.olderInQuarantine) {
      std::string note = "the quarantine already holds another file from this path";
      if (!o.olderInQuarantine->empty()) note += " (MD5 " + *o.olderInQuarantine + ")";
      note += o.removed ? "; this file is kept in the backup " + summary.backup
                        : "; this file was left in place";
      findings[i]["note"] = ReportText(p.machine, note);
    }
    if (o.notBackedUp) ++summary.notBackedUp;
    if (!o.removed) summary.fixed = false;
  }
  return summary;
}

void ConnectFix(Program& p) {
  auto& f = *p.form1;
  f.startFix = [&p] { RunFix(p); };
  f.startAddToQuarantine = [&p] { RunAddToQuarantine(p); };
  f.scan.logUploadWanted = [&p] { return p.updater && p.updater->logUploadSwitch; };
  f.scan.startLogUpload = [&p] { update::UploadLog(p); };
  if (p.updater)
    p.updater->logLines = [&p] {
      const auto& scan = p.form1->scan;
      return update::LogLines{scan.inventory.Entries(), scan.summary.Lines()};
    };
}

}  // namespace app
