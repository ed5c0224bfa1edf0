// MD5 of a file: chunked reads (what FileMd5 does) against a read-only
// mapping, on a 64 MiB file.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>

#include "engine/helpers.h"
#include "platform/sim/sim_machine.h"

namespace {

struct Fixture {
  Fixture() {
    char tmpl[] = "/tmp/kvx-bench-XXXXXX";
    root = mkdtemp(tmpl);
    machine.SimFiles().MapDrive('C', root);
    std::string data(64 << 20, '\0');
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 131 + (i >> 9));
    platform::WriteWholeFile(machine.Files(), "C:\\big.bin", data);
  }
  ~Fixture() { std::filesystem::remove_all(root); }
  std::filesystem::path root;
  platform::sim::SimMachine machine;
};

Fixture& F() {
  static Fixture f;
  return f;
}

void BM_Md5ChunkedReads(benchmark::State& state) {
  auto& fs = F().machine.Files();
  for (auto _ : state) benchmark::DoNotOptimize(engine::FileMd5(fs, "C:\\big.bin"));
  state.SetBytesProcessed(state.iterations() * (64 << 20));
}

void BM_Md5Mapping(benchmark::State& state) {
  auto& fs = F().machine.Files();
  for (auto _ : state) {
    auto view = fs.MapReadOnly("C:\\big.bin");
    benchmark::DoNotOptimize(engine::Md5Hex(
        std::string_view(reinterpret_cast<const char*>(view->Data()), view->Size())));
  }
  state.SetBytesProcessed(state.iterations() * (64 << 20));
}

BENCHMARK(BM_Md5ChunkedReads)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Md5Mapping)->Unit(benchmark::kMillisecond);

}  // namespace
