// The scans against the bare file-system work they rest on, each as a ratio
// measured in one run on the same data:
//  - the full scan's walk of a tree of 100,000 files against a bare walk of
//    the same tree (readdir plus one stat per entry): bare time / scan time;
//  - the quick scan of 50,000 path rules against 50,000 bare existence checks
//    (one stat each) of the same paths: scan time / bare time.
// Both scans run with their progress on, as the main window shows it.
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "app/scan_ui.h"
#include "engine/full_scan.h"
#include "engine/quick_scan.h"
#include "platform/sim/sim_machine.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// A drive C: on a fresh host folder, removed at the end.
struct Drive {
  Drive() {
    char tmpl[] = "/tmp/kvx-bench-XXXXXX";
    root = mkdtemp(tmpl);
    machine.SimFiles().MapDrive('C', root);
    fs::create_directories(root / "WINDOWS" / "system32");
  }
  ~Drive() { fs::remove_all(root); }
  fs::path root;
  platform::sim::SimMachine machine;
};

// 100 folders of 10 folders of 100 files (100,000 files), each a few bytes.
void MakeTree(const fs::path& top) {
  for (int a = 0; a < 100; ++a)
    for (int b = 0; b < 10; ++b) {
      const fs::path dir = top / ("d" + std::to_string(a)) / ("e" + std::to_string(b));
      fs::create_directories(dir);
      for (int c = 0; c < 100; ++c)
        std::ofstream(dir / ("f" + std::to_string(c) + ".dat")) << "file " << a << b << c;
    }
}

std::size_t BareWalk(const std::string& dir) {
  std::size_t n = 0;
  DIR* d = opendir(dir.c_str());
  if (!d) return 0;
  while (dirent* e = readdir(d)) {
    if (e->d_name[0] == '.') continue;
    const std::string p = dir + "/" + e->d_name;
    struct stat st {};
    if (lstat(p.c_str(), &st) != 0) continue;
    ++n;
    if (S_ISDIR(st.st_mode)) n += BareWalk(p);
  }
  closedir(d);
  return n;
}

// What the main window does with a scan's news, without the window.
class ProgressHost final : public engine::ScanHost {
 public:
  std::string Text(int entry) override { return entry == 16 ? "Checking " : ""; }
  bool AbortRequested() override { return false; }
  void ClearAbortRequest() override {}
  void SetStatus(const std::string& text) override { status = text; }
  void ClearFindingLines() override { lines = 0; }
  int FindingLineCount() override { return lines; }
  void AddFindingLine(const std::string&) override { ++lines; }
  void ClearLog() override {}
  void AddLogLine(const std::string&) override {}
  void ShowProgress(const engine::ScanProgress& p) override {
    progress = app::ScanProgressText(p);
    ++news;
  }
  std::string status, progress;
  int lines = 0, news = 0;
};

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

void BM_FullScanWalkAgainstBareWalk(benchmark::State& state) {
  Drive drive;
  MakeTree(drive.root / "tree");
  engine::ScanState scan;
  std::ofstream(drive.root / "found.exe") << "a finding of a size no tree file has";
  engine::TFileList finding;
  finding.Path = "C:\\found.exe";
  finding.Name = "Found";
  scan.findings.Add(finding);
  ProgressHost host;
  double bare = 0, walk = 0;
  for (auto _ : state) {
    auto t = Clock::now();
    benchmark::DoNotOptimize(BareWalk((drive.root / "tree").string()));
    bare += Seconds(t);
    t = Clock::now();
    engine::FullScanWalk(drive.machine, scan, host).Walk("C:\\tree");
    walk += Seconds(t);
  }
  state.counters["bare_s"] = bare / state.iterations();
  state.counters["scan_s"] = walk / state.iterations();
  state.counters["bare/scan"] = bare / walk;
  state.counters["news"] = static_cast<double>(host.news) / static_cast<double>(state.iterations());
}

void BM_QuickScanAgainstExistenceChecks(benchmark::State& state) {
  Drive drive;
  constexpr int kRules = 50000;
  std::string text = "Database date: 2026-12-01 (r0001)\r\n[Start]\r\n";
  std::vector<std::string> host;
  for (int i = 0; i < kRules; ++i) {
    const std::string rel = "rules\\d" + std::to_string(i % 50) + "\\file" + std::to_string(i) + ".exe";
    text += "[Trojan.Gen" + std::to_string(i) + "]:C:\\" + rel + "\r\n";
    std::string h = (drive.root / rel).string();
    for (auto& c : h)
      if (c == '\\') c = '/';
    host.push_back(std::move(h));
  }
  text += "_end\r\n";
  // The rules' folders exist (as system folders do), every 100th file too;
  // a few programs run.
  for (int i = 0; i < kRules; ++i) fs::create_directories(fs::path(host[i]).parent_path());
  for (int i = 0; i < kRules; i += 100) std::ofstream(host[i + i / 100 % 50]) << "planted " << i;
  for (int i = 0; i < 10; ++i) {
    const std::string p = "C:\\WINDOWS\\system32\\prog" + std::to_string(i) + ".exe";
    std::ofstream(drive.root / "WINDOWS" / "system32" / ("prog" + std::to_string(i) + ".exe")) << "MZ";
    drive.machine.SimProcs().Start(p);
  }
  engine::ThreatDatabase db;
  db.SetText(text);
  engine::ScanState scan;
  scan.logBuildingMode = true;  // no inventory build: the rules alone are measured
  ProgressHost progressHost;
  double bare = 0, quick = 0;
  for (auto _ : state) {
    auto t = Clock::now();
    int found = 0;
    for (const auto& p : host) {
      struct stat st {};
      found += stat(p.c_str(), &st) == 0;
    }
    benchmark::DoNotOptimize(found);
    bare += Seconds(t);
    t = Clock::now();
    engine::QuickScan(drive.machine, db, scan, progressHost);
    quick += Seconds(t);
  }
  state.counters["bare_s"] = bare / state.iterations();
  state.counters["scan_s"] = quick / state.iterations();
  state.counters["scan/bare"] = quick / bare;
  state.counters["findings"] = static_cast<double>(scan.findings.Size());
  state.counters["news"] = static_cast<double>(progressHost.news) / static_cast<double>(state.iterations());
}

BENCHMARK(BM_FullScanWalkAgainstBareWalk)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_QuickScanAgainstExistenceChecks)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
