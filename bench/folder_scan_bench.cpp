// "Scan with Options" on a generated tree of 20,480 files and 1 GiB, as
// ratios measured on the same files, in three rounds that take turns (md5sum,
// then the scan, then the walk), each ratio the median of its rounds:
//  - against `md5sum` over the same files run serially (one process after
//    another through xargs): md5sum time / folder scan time;
//  - against the tree walk alone (the same folders listed through the
//    simulated machine, nothing read): walk time / folder scan time, the
//    share of the scan that is not hashing.
// The argument is the number of workers (the program takes one per core).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

#include "engine/folder_scan.h"
#include "engine/helpers.h"
#include "platform/sim/sim_machine.h"
#include "platform/text.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kFolders = 64;
constexpr int kFilesPerFolder = 320;       // 20,480 files
constexpr std::size_t kFileBytes = 52429;  // about 1 GiB in all

struct Tree {
  Tree() {
    char tmpl[] = "/tmp/kvx-bench-XXXXXX";
    root = mkdtemp(tmpl);
    machine.SimFiles().MapDrive('C', root);
    fs::create_directories(root / "WINDOWS" / "system32");
    std::mt19937 rng(7);
    std::string bytes(kFileBytes, '\0');
    for (int a = 0; a < kFolders; ++a) {
      const fs::path dir = root / "tree" / ("d" + std::to_string(a / 8)) / ("e" + std::to_string(a));
      fs::create_directories(dir);
      for (int c = 0; c < kFilesPerFolder; ++c) {
        for (auto& b : bytes) b = static_cast<char>(rng());
        std::ofstream(dir / ("f" + std::to_string(c) + ".bin"), std::ios::binary) << bytes;
      }
    }
  }
  ~Tree() { fs::remove_all(root); }
  fs::path root;
  platform::sim::SimMachine machine;
};

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

std::size_t Walk(platform::FileSystem& files, const std::string& folder) {
  std::size_t n = 0;
  platform::FindData d;
  auto h = files.FindFirst(platform::IncludeTrailingBackslash(folder) + "*.*", d);
  if (!h) return 0;
  do {
    if (d.name == "." || d.name == "..") continue;
    ++n;
    if (d.IsDirectory()) n += Walk(files, platform::IncludeTrailingBackslash(folder) + d.name);
  } while (h->Next(d));
  return n;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

void BM_FolderScanAgainstMd5sumAndWalk(benchmark::State& state) {
  // Written once for every worker count: 1 GiB takes a while.
  static Tree tree;
  const auto workers = static_cast<unsigned>(state.range(0));
  const std::string top = (tree.root / "tree").string();
  // The files were just written and are in memory for every contender.
  const std::string md5sum =
      "find '" + top + "' -type f -print0 | xargs -0 -P 1 md5sum > /dev/null";
  std::map<std::string, std::string> rules{{engine::Md5Hex("not in the tree"), "Nothing"}};
  constexpr int kRounds = 3;
  for (auto _ : state) {
    std::vector<double> md5sumTimes, scanTimes, walkTimes, overScan, walkOverScan, rates;
    for (int round = 0; round < kRounds; ++round) {
      auto t = Clock::now();
      if (std::system(md5sum.c_str()) != 0) state.SkipWithError("md5sum failed");
      md5sumTimes.push_back(Seconds(t));

      t = Clock::now();
      engine::FolderScan scan(tree.machine.Files(), rules);
      scan.Start({"C:\\tree"}, workers);
      scan.Wait();
      scanTimes.push_back(Seconds(t));
      const auto news = scan.Take();
      if (news.files != kFolders * kFilesPerFolder) state.SkipWithError("files missed");

      t = Clock::now();
      benchmark::DoNotOptimize(Walk(tree.machine.Files(), "C:\\tree"));
      walkTimes.push_back(Seconds(t));

      overScan.push_back(md5sumTimes.back() / scanTimes.back());
      walkOverScan.push_back(walkTimes.back() / scanTimes.back());
      rates.push_back(static_cast<double>(news.bytes) / (1 << 20) / scanTimes.back());
    }
    state.counters["md5sum_over_scan"] = Median(overScan);
    state.counters["md5sum_over_scan_min"] = *std::min_element(overScan.begin(), overScan.end());
    state.counters["md5sum_over_scan_max"] = *std::max_element(overScan.begin(), overScan.end());
    state.counters["walk_over_scan"] = Median(walkOverScan);
    state.counters["scan_MiB_per_s"] = Median(rates);
    state.counters["scan_s"] = Median(scanTimes);
    state.counters["md5sum_s"] = Median(md5sumTimes);
  }
}
BENCHMARK(BM_FolderScanAgainstMd5sumAndWalk)
    ->ArgName("workers")
    ->Arg(2)
    ->Arg(1)
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

}  // namespace
