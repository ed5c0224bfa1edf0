#include "engine/full_scan.h"

#include "engine/helpers.h"
#include "platform/text.h"

namespace engine {

FullScanWalk::FullScanWalk(platform::Machine& m, ScanState& s, ScanHost& h)
    : machine_(m), state_(s), host_(h) {
  progress_.of = ScanProgress::Of::Files;
  const auto& records = state_.findings.Records();
  for (std::size_t i = 0; i < records.size(); ++i) {
    const auto& r = records[i];
    if (r.IsFolder || r.IsSubfolder || r.FromFullScan) continue;
    platform::FindData d;
    auto found = machine_.Files().FindFirst(r.Path, d);
    // An empty file is never a pattern: nothing of size 0 is compared.
    if (found && !d.IsDirectory() && d.size > 0) patterns_.push_back({i, d.size});
  }
}

void FullScanWalk::WalkDrives(const std::string& driveList) {
  for (int i = 0, n = CountFields(driveList, ';'); i < n; ++i) {
    if (host_.AbortRequested()) return;
    Walk(GetField(driveList, i, ';'));
  }
}

void FullScanWalk::Walk(const std::string& folder, const std::string& mask) {
  // The counts of the whole walk once more when it ends.
  struct Outermost {
    FullScanWalk& walk;
    ~Outermost() {
      if (--walk.depth_ == 0) walk.ShowNews(nullptr);
    }
  } outermost{*this};
  ++depth_;
  const std::string dir = platform::IncludeTrailingBackslash(folder);
  const std::string time = state_.Now();
  progress_.folder = dir;
  // A drive or folder chosen to walk may itself be on the ignore list.
  if (state_.SkipIgnored(folder, "", host_, time)) return;
  platform::FindData d;
  auto h = machine_.Files().FindFirst(dir + mask, d);
  if (!h) return;
  do {
    host_.ProcessMessages();
    if (d.IsDirectory()) {
      // A junction may lead back to a folder above: following it would never end.
      if (!d.name.empty() && d.name[0] != '.' &&
          !(d.attributes & platform::fileattr::kReparsePoint)) {
        Walk(dir + d.name, mask);
        progress_.folder = dir;  // back from the subfolder
      }
    } else {
      ++progress_.files;
      progress_.bytes += d.size;
      // Most files have no finding's size: their path is never built.
      if (clock_.Due()) {
        const std::string path = dir + d.name;
        ShowNews(&path);
      }
      if (d.size > 0 && SizeOfAFinding(d.size)) CheckFile(dir + d.name, d.size, time);
    }
  } while (!host_.AbortRequested() && h->Next(d));
}

bool FullScanWalk::SizeOfAFinding(std::uint64_t size) const {
  for (const auto& p : patterns_)
    if (p.size == size) return true;
  return false;
}

void FullScanWalk::ShowNews(const std::string* path) {
  if (path) host_.SetStatus(host_.Text(16) + *path);
  host_.ShowProgress(progress_);
}

void FullScanWalk::CheckFile(const std::string& path, std::uint64_t size, const std::string& time) {
  auto& fs = machine_.Files();
  std::string md5;
  bool read = false;
  for (const auto& p : patterns_) {
    if (p.size != size) continue;
    const TFileList& r = state_.findings.Records()[p.record];
    if (platform::SameText(r.Path, path)) continue;
    host_.ProcessMessages();
    if (!read) {
      read = true;
      if (!fs.Open(path, platform::OpenMode::Read)) {
        host_.AddLogLine(time + host_.Text(6) + path + ") " + path);
        return;
      }
      md5 = FileMd5(fs, path);
    }
    if (md5 != r.Md5 || state_.findings.Contains(path)) continue;
    ++state_.findingCount;
    host_.AddLogLine(time + host_.Text(5) + r.Name + ") " + path);
    TFileList copy;
    copy.Path = path;
    copy.Name = r.Name;
    copy.Md5 = r.Md5;
    copy.FromFullScan = true;
    state_.findings.Add(std::move(copy));
    return;
  }
}

}  // namespace engine
