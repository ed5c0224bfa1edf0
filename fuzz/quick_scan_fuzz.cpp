// The quick scan over any database text: section lines, rule parsing,
// folder rules, ranges and every pattern kind, against a small simulated
// disk with a running program and a start-up entry.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "engine/quick_scan.h"
#include "platform/sim/sim_machine.h"

namespace {

struct Disk {
  Disk() {
    char tmpl[] = "/tmp/kvx-fuzz-XXXXXX";
    root = mkdtemp(tmpl);
    machine.SimFiles().MapDrive('C', root);
    for (const char* d : {"WINDOWS/system32", "r/sub", "Program Files"})
      std::filesystem::create_directories(root / d);
    for (const char* f : {"r/abc1.exe", "r/abca.exe", "r/abc.exe", "r/dialb1.exe", "r/spyware.exe",
                          "r/sub/x.dll", "WINDOWS/run.exe"})
      std::ofstream(root / f) << "sample " << f;
    machine.SimProcs().Start("C:\\WINDOWS\\run.exe");
  }
  ~Disk() { std::filesystem::remove_all(root); }
  std::filesystem::path root;
  platform::sim::SimMachine machine;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 4096) return 0;
  static Disk disk;
  engine::ThreatDatabase db;
  db.SetText(std::string(reinterpret_cast<const char*>(data), size));
  engine::ScanState state;
  state.timeText = [] { return std::string("00:00:00"); };
  state.inventorySources = [] {
    engine::InventorySources s;
    s.startupValues = {"\"C:\\r\\abca.exe\" /min", "garbage"};
    s.servicePaths = {"c:\\r\\sub\\x.dll -k"};
    return s;
  };
  engine::QuietScanHost host;
  engine::QuickScan(disk.machine, db, state, host);
  // Running programs the scan ended come back for the next input.
  if (disk.machine.SimProcs().Snapshot().empty()) disk.machine.SimProcs().Start("C:\\WINDOWS\\run.exe");
  return 0;
}
