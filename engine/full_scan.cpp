#include "engine/full_scan.h"

#include "engine/helpers.h"
#include "platform/text.h"

namespace engine {

FullScanWalk::FullScanWalk(platform::Machine& m, ScanState& s, ScanHost& h)
    : machine_(m), state_(s), host_(h) {
  progress_.of = ScanProgress::Of::Files;
  state_.protectedPlaces = ReadProtectedPlaces(machine_);
  for (const auto& r : state_.findings.Records()) {
    if (r.IsFolder || r.IsSubfolder || r.FromFullScan || r.Md5.empty()) continue;
    platform::FindData d;
    auto found = machine_.Files().FindFirst(r.Path, d);
    // An empty file is never a pattern: nothing of size 0 is compared.
    if (found && !d.IsDirectory() && d.size > 0) patterns_.push_back({d.size, r.Path, r.Md5, r.Name});
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
  std::optional<std::string> md5;
  bool read = false;
  for (const auto& p : patterns_) {
    if (p.size != size || platform::SameText(p.path, path)) continue;
    host_.ProcessMessages();
    if (!read) {
      read = true;
      md5 = ReadFileMd5(fs, path);
      // Part of a file is not a copy of anything: say so and go on.
      if (!md5) {
        host_.AddLogLine(time + host_.Text(6) + path + ") " + path);
        return;
      }
    }
    if (*md5 != p.md5 || state_.findings.Contains(path)) continue;
    if (state_.SkipIgnored(path, p.name, host_, time) ||
        state_.SkipProtected(fs, path, p.name, false, host_, time))
      return;
    ++state_.findingCount;
    host_.AddLogLine(time + host_.Text(5) + p.name + ") " + path);
    TFileList copy;
    copy.Path = path;
    copy.Name = p.name;
    copy.Md5 = p.md5;
    copy.FromFullScan = true;
    state_.findings.Add(std::move(copy));
    return;
  }
}

}  // namespace engine
