// Loading and walking a large threat database: decipher, bzip2, line reader
// and rule parsing over 200,000 rules.
#include <benchmark/benchmark.h>

#include "engine/rules.h"
#include "engine/threat_database.h"

namespace {

const update::EzKey kKey{0x5BD1, 0x2F1B, 0x9C47};

std::string BigText() {
  std::string t = "Database date: 2026-12-01 (r0001)\r\n[Win32Root]\r\n";
  for (int i = 0; i < 200000; ++i)
    t += "[Trojan.Gen" + std::to_string(i) + "]:sub" + std::to_string(i % 97) + "\\file" +
         std::to_string(i) + ".exe\r\n";
  return t + "_end\r\n";
}

void BM_LoadCompressed(benchmark::State& state) {
  const std::string image = engine::PackDatabase(BigText(), kKey, true);
  for (auto _ : state) {
    engine::ThreatDatabase db;
    benchmark::DoNotOptimize(db.LoadBytes(image, kKey));
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(image.size()));
}

void BM_WalkRules(benchmark::State& state) {
  engine::ThreatDatabase db;
  db.SetText(BigText());
  for (auto _ : state) {
    engine::RuleWalker walker(db, {"C:\\WINDOWS", "C:\\WINDOWS\\system32", "C:\\Program Files"});
    engine::RulePass pass;
    int n = 0;
    while (walker.Next(pass)) ++n;
    benchmark::DoNotOptimize(n);
  }
}

BENCHMARK(BM_LoadCompressed)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WalkRules)->Unit(benchmark::kMillisecond);

}  // namespace
