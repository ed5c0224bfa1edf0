// "Scan with Options" on a generated tree of 20,480 files and 1 GiB, as
// ratios measured in one run on the same files:
//  - against `md5sum` over the same files run serially (one process after
//    another through xargs): md5sum time / folder scan time;
//  - against the tree walk alone (the same folders listed through the
//    simulated machine, nothing read): walk time / folder scan time, the
//    share of the scan that is not hashing.
#include <benchmark/benchmark.h>
#include <unistd.h>

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

void BM_FolderScanAgainstMd5sumAndWalk(benchmark::State& state) {
  Tree tree;
  const std::string top = (tree.root / "tree").string();
  // The files were just written and are in memory for every contender.
  const std::string md5sum =
      "find '" + top + "' -type f -print0 | xargs -0 -P 1 md5sum > /dev/null";
  std::map<std::string, std::string> rules{{engine::Md5Hex("not in the tree"), "Nothing"}};
  for (auto _ : state) {
    auto t = Clock::now();
    if (std::system(md5sum.c_str()) != 0) state.SkipWithError("md5sum failed");
    const double md5sumTime = Seconds(t);

    t = Clock::now();
    engine::FolderScan scan(tree.machine.Files(), rules);
    scan.Start({"C:\\tree"});
    scan.Wait();
    const double scanTime = Seconds(t);
    const auto news = scan.Take();
    if (news.files != kFolders * kFilesPerFolder) state.SkipWithError("files missed");

    t = Clock::now();
    benchmark::DoNotOptimize(Walk(tree.machine.Files(), "C:\\tree"));
    const double walkTime = Seconds(t);

    state.counters["md5sum_over_scan"] = md5sumTime / scanTime;
    state.counters["walk_over_scan"] = walkTime / scanTime;
    state.counters["scan_MiB_per_s"] = static_cast<double>(news.bytes) / (1 << 20) / scanTime;
    state.counters["scan_s"] = scanTime;
    state.counters["md5sum_s"] = md5sumTime;
  }
}
BENCHMARK(BM_FolderScanAgainstMd5sumAndWalk)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
