// The quarantine on a 64 MiB file: adding it (read, inverse transform, write
// through a temporary file) and restoring it, against libgcrypt's bulk
// Blowfish ECB decryption of the same bytes in memory, the floor the add's
// inverse direction is built on (bulk decryption plus a xor chain).
#include <benchmark/benchmark.h>
#include <gcrypt.h>
#include <unistd.h>

#include <filesystem>

#include "platform/sim/sim_machine.h"
#include "quarantine/quarantine_store.h"
#include "quarantine/ripemd256.h"

namespace {

constexpr std::size_t kSize = 64u << 20;
constexpr const char* kSource = "C:\\Samples\\big.bin";

struct Fixture {
  Fixture() : store(machine.Files(), "C:\\Kvx\\") {
    char tmpl[] = "/tmp/kvx-bench-XXXXXX";
    root = mkdtemp(tmpl);
    machine.SimFiles().MapDrive('C', root);
    std::filesystem::create_directories(root / "Kvx");
    std::filesystem::create_directories(root / "Samples");
    data.resize(kSize);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 131 + (i >> 9));
    platform::WriteWholeFile(machine.Files(), kSource, data);
  }
  ~Fixture() { std::filesystem::remove_all(root); }
  std::filesystem::path root;
  platform::sim::SimMachine machine;
  quarantine::QuarantineStore store;
  std::string data;
};

Fixture& F() {
  static Fixture f;
  return f;
}

void BM_BlowfishEcbBulkDecrypt(benchmark::State& state) {
  auto& f = F();
  quarantine::QuarantineTransform warm(quarantine::Direction::Inverse);  // library set up
  const auto key = quarantine::Ripemd256::Of("61840397");
  gcry_cipher_hd_t h;
  gcry_cipher_open(&h, GCRY_CIPHER_BLOWFISH, GCRY_CIPHER_MODE_ECB, 0);
  gcry_cipher_setkey(h, key.data(), key.size());
  std::string out(kSize, '\0');
  for (auto _ : state) {
    gcry_cipher_decrypt(h, out.data(), out.size(), f.data.data(), f.data.size());
    benchmark::DoNotOptimize(out.data());
  }
  gcry_cipher_close(h);
  state.SetBytesProcessed(state.iterations() * kSize);
}

void BM_TransformInverseInMemory(benchmark::State& state) {
  auto& f = F();
  std::string out(kSize, '\0');
  const auto* in = reinterpret_cast<const std::uint8_t*>(f.data.data());
  for (auto _ : state) {
    quarantine::QuarantineTransform t(quarantine::Direction::Inverse);
    t.Code(in, reinterpret_cast<std::uint8_t*>(out.data()), kSize);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(state.iterations() * kSize);
}

void BM_QuarantineAdd(benchmark::State& state) {
  auto& f = F();
  for (auto _ : state) {
    if (!f.store.Add(kSource, "Bench", "")) state.SkipWithError(f.store.LastError().c_str());
    state.PauseTiming();
    f.store.Clear();
    state.ResumeTiming();
  }
  state.SetBytesProcessed(state.iterations() * kSize);
}

void BM_QuarantineRestore(benchmark::State& state) {
  auto& f = F();
  for (auto _ : state) {
    state.PauseTiming();
    f.store.Clear();
    f.store.Add(kSource, "Bench", "");
    state.ResumeTiming();
    if (!f.store.Restore(kSource, "C:\\Samples\\"))
      state.SkipWithError(f.store.LastError().c_str());
  }
  state.SetBytesProcessed(state.iterations() * kSize);
}

BENCHMARK(BM_BlowfishEcbBulkDecrypt)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_TransformInverseInMemory)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_QuarantineAdd)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_QuarantineRestore)->Unit(benchmark::kMillisecond)->MinTime(2);

}  // namespace
