#include "scanopt/options_scan.h"

#include "app/all_windows.h"
#include <nlohmann/json.hpp>

#include "app/options.h"
#include "app/scan_ui.h"
#include "app/unattended.h"
#include "engine/helpers.h"
#include "ignore/ignore_lists.h"
#include "platform/text.h"

namespace scanopt {

using platform::Hive;
namespace access = platform::keyaccess;

ScanChoices ReadScanChoices(platform::Registry& reg) {
  ScanChoices c;
  auto key = reg.Open(Hive::CurrentUser, app::kOptionsKey, access::kRead);
  if (!key) return c;
  const std::string list = key->ReadString("ScanFolders").value_or("");
  for (int i = 0, n = engine::CountFields(list, ';'); i < n; ++i) {
    std::string folder = engine::GetField(list, i, ';');
    if (!folder.empty()) c.folders.push_back(std::move(folder));
  }
  if (auto v = key->ReadDword("FollowIgnoreList")) c.followIgnoreList = *v != 0;
  return c;
}

bool WriteScanChoices(platform::Registry& reg, const ScanChoices& c) {
  auto key = reg.Create(Hive::CurrentUser, app::kOptionsKey, access::kAllAccess);
  if (!key) return false;
  std::string list;
  for (const auto& f : c.folders) list += f + ";";
  return key->WriteString("ScanFolders", list) == platform::kOk &&
         key->WriteDword("FollowIgnoreList", c.followIgnoreList ? 1 : 0) == platform::kOk;
}

OptionsScan::OptionsScan(app::Program& program) : program_(program) {}

OptionsScan::~OptionsScan() {
  if (!scan_) return;
  scan_->Abort();
  Wait();
  if (running_) program_.EndJob(app::Job::Scan);
}

bool OptionsScan::Start(const ScanChoices& choices,
                        std::function<void(const engine::FolderScanNews&)> onNews,
                        unsigned workers) {
  auto& p = program_;
  // Held until the last news is shown.
  if (!p.BeginJob(app::Job::Scan)) return false;
  auto& f = *p.form1;
  scan_ = std::make_unique<engine::FolderScan>(p.machine.Files(),
                                               engine::ReadHashRules(p.machine, f.database));
  if (choices.followIgnoreList && f.scan.isIgnored) {
    scan_->isIgnored = f.scan.isIgnored;
    // The walking thread gets its own copy: the window may change the list
    // while the scan runs.
    if (p.formIG)
      scan_->isIgnored = [list = p.formIG->fileList](const std::string& path) {
        return ignore::IsIgnoredPath(list, path);
      };
  }
  // The walking thread hands the news over and waits until it is shown.
  scan_->onNews = [this] { program_.app.GetHost().Synchronize([this] { Apply(); }); };
  onNews_ = std::move(onNews);
  totals_ = {};
  unreadable_.clear();
  ignored_.clear();

  // A new scan: the findings of the previous one go.
  f.scan.findings.Clear();
  f.scan.summary.Clear();
  f.scan.terminated.clear();
  f.scan.ignored.clear();
  f.scan.protectedFindings.clear();
  f.scan.protectedPlaces = engine::ReadProtectedPlaces(p.machine);
  f.scan.threatsFound = false;
  f.scan.findingCount = 0;
  f.List1->Clear();
  f.Memo2->Clear();
  f.Memo2->Add(f.scan.Now() + p.msg[7]);
  f.Find("Button2")->SetEnabled(false);
  running_ = true;
  scan_->Start(choices.folders, workers);
  return true;
}

void OptionsScan::Apply() {
  if (!scan_) return;
  auto& p = program_;
  auto& f = *p.form1;
  auto news = scan_->Take();
  const std::string time = f.scan.Now();
  app::WindowScanHost host(p);
  for (const auto& m : news.found) {
    // A hash rule may name a program Windows needs: it is listed, never a finding.
    if (f.scan.SkipProtected(p.machine.Files(), m.path, m.name, false, host, time)) continue;
    engine::TFileList record;
    record.Path = m.path;
    record.Name = m.name;
    record.Md5 = m.md5;
    record.ListIndex = static_cast<int>(f.List1->Items().size());
    if (!f.scan.findings.Add(std::move(record))) continue;
    f.List1->Add(p.msg[11] + m.name);
    f.List1->SetChecked(f.List1->Items().size() - 1, true);
    ++f.scan.findingCount;
    f.scan.threatsFound = true;
    f.Memo2->Add(time + p.msg[5] + m.name + ") " + m.path);
  }
  for (const auto& u : news.unreadable) {
    f.Memo2->Add(time + p.msg[6] + u + ") " + u);
    unreadable_.push_back(u);
  }
  for (const auto& i : news.ignored) {
    f.Memo2->Add(time + ": Ignored (ignore list) " + i);
    f.scan.ignored.push_back({i, ""});
    ignored_.push_back(i);
  }
  totals_.files = news.files;
  totals_.bytes = news.bytes;
  totals_.unreadableCount = news.unreadableCount;
  totals_.folder = news.folder;
  totals_.finished = news.finished;
  totals_.aborted = news.aborted;
  if (news.finished) {
    running_ = false;
    p.EndJob(app::Job::Scan);
    f.Find("Button2")->SetEnabled(f.scan.findingCount > 0);
    f.Memo2->Add(time + ": " + std::to_string(f.scan.findingCount) + p.msg[17]);
  }
  if (onNews_) onNews_(totals_);
}

void OptionsScan::Wait() {
  if (!scan_) return;
  scan_->Wait([this] { program_.app.ProcessMessages(); });
  program_.app.ProcessMessages();
  // The last news may still be queued behind the end.
  if (running_) Apply();
}

std::string RunUnattendedFolderScan(app::Program& program, const std::vector<std::string>& folders,
                                    nlohmann::json& report) {
  auto& fs = program.machine.Files();
  for (const auto& f : folders)
    if (!platform::DirectoryExists(fs, f)) return "The folder \"" + f + "\" does not exist.";
  OptionsScan scan(program);
  if (!scan.Start({folders, true}, {})) return "Another scan is running.";
  scan.Wait();
  report["filesChecked"] = scan.Totals().files;
  report["bytesChecked"] = scan.Totals().bytes;
  auto unreadable = nlohmann::json::array();
  for (const auto& u : scan.Unreadable()) unreadable.push_back(app::ReportText(program.machine, u));
  report["unreadable"] = std::move(unreadable);
  return {};
}

}  // namespace scanopt
