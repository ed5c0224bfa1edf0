// The rescue's scan from Linux against the Windows program's scan of the same
// files on the simulated machine, measured in one run on the same data: an
// installation with 100,000 files (hives made from the format), a database
// whose folder rule takes in all of them and whose 1,000 file rules name
// files that are not there. The counter "rescue/sim" is the rescue's time
// over the Windows program's; the goal is at most 1.2.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/unattended.h"
#include "engine/threat_database.h"
#include "platform/sim/sim_machine.h"
#include "rescue/rescue.h"
#include "tools/hivemake/installation.h"
#include "update/ezcrypt.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

struct Installation {
  Installation() {
    char tmpl[] = "/tmp/kvx-rescue-bench-XXXXXX";
    root = mkdtemp(tmpl);
    volume = root / "volume";
    hivemake::Installation inst(volume);
    inst.Save();
    // 100 folders of 10 folders of 100 files (100,000 files), each a few bytes.
    for (int a = 0; a < 100; ++a)
      for (int b = 0; b < 10; ++b) {
        const fs::path dir = volume / "tree" / ("d" + std::to_string(a)) / ("e" + std::to_string(b));
        fs::create_directories(dir);
        for (int c = 0; c < 100; ++c)
          std::ofstream(dir / ("f" + std::to_string(c) + ".dat")) << "file " << a << b << c;
      }
    std::string text = "Database date: 2026-12-10 (r9002)\r\n[Start]\r\n[Worm.Tree]:C:\\tree\\\\\r\n";
    for (int i = 0; i < 1000; ++i)
      text += "[Trojan.Gen" + std::to_string(i) + "]:C:\\tree\\d" + std::to_string(i % 100) +
              "\\missing" + std::to_string(i) + ".exe\r\n";
    text += "_end\r\n";
    const std::string packed = engine::PackDatabase(text, update::LanguageKey());
    // The Windows program's folder on the simulated drive, the rescue's on the host.
    fs::create_directories(volume / "kvx");
    fs::create_directories(root / "program");
    std::ofstream(volume / "kvx" / "files.dat", std::ios::binary) << packed;
    std::ofstream(root / "program" / "files.dat", std::ios::binary) << packed;
    fs::copy_file(fs::path(KVX_SOURCE_DIR) / "tools/sample/RegBase.rgk", volume / "kvx" / "RegBase.rgk");
    fs::copy_file(fs::path(KVX_SOURCE_DIR) / "tools/sample/RegBase.rgk", root / "program" / "RegBase.rgk");
    fs::create_directories(volume / "out");
  }
  ~Installation() { fs::remove_all(root); }
  fs::path root, volume;
};

void BM_RescueScanAgainstSimulatedScan(benchmark::State& state) {
  Installation inst;
  double sim = 0, rescue = 0;
  for (auto _ : state) {
    auto t = Clock::now();
    {
      platform::sim::SimMachine m;
      m.SimFiles().MapDrive('C', inst.volume);
      m.SimSys().SetModulePath("C:\\kvx\\klaruvex.exe");
      app::CommandLine c;
      c.scan = true;
      c.report = "C:\\out\\sim.json";
      if (app::RunUnattended(m, c) != app::kExitFound) state.SkipWithError("the simulated scan failed");
    }
    sim += Seconds(t);
    t = Clock::now();
    std::ostringstream out, err;
    const int rc = rescue::RunRescue({inst.volume.string(), "/scan", "/report", (inst.root / "rescue.json").string()},
                                     (inst.root / "program" / "klaruvex-rescue").string(), out, err);
    if (rc != app::kExitFound) state.SkipWithError("the rescue's scan failed");
    rescue += Seconds(t);
  }
  state.counters["sim_s"] = sim / state.iterations();
  state.counters["rescue_s"] = rescue / state.iterations();
  state.counters["rescue/sim"] = rescue / sim;
}

BENCHMARK(BM_RescueScanAgainstSimulatedScan)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
