#include <unistd.h>

#include <filesystem>

#include "platform/sim/sim_machine.h"
#include "tests/contract/bench.h"

namespace contract {
namespace {

class SimBench final : public TestBench {
 public:
  SimBench() {
    char tmpl[] = "/tmp/kvx-sim-XXXXXX";
    root_ = mkdtemp(tmpl);
    machine_.SimFiles().MapDrive('C', root_);
    machine_.Files().CreateDirectory("C:\\WINDOWS");
    machine_.Files().CreateDirectory("C:\\WINDOWS\\system32");
    machine_.Files().CreateDirectory("C:\\kvxtest");
  }
  ~SimBench() override { std::filesystem::remove_all(root_); }
  platform::Machine& M() override { return machine_; }
  std::string Scratch() override { return "C:\\kvxtest"; }
  std::uint32_t StartProgram(const std::string& winPath) override {
    platform::WriteWholeFile(machine_.Files(), winPath, "MZ simulated program image");
    return machine_.SimProcs().Start(winPath);
  }
  bool PlaceServiceProgram(const std::string& winPath) override {
    platform::VersionStrings v;
    for (const char* key : platform::kVersionKeys) v.values[key] = "x";
    v.values["LegalCopyright"] = "Copyright (C) Brenvik Systems";
    machine_.SimSvc().SetVersionStrings(winPath, v);
    return platform::WriteWholeFile(machine_.Files(), winPath, "MZ simulated service") ==
           platform::kOk;
  }
  std::string ScratchKey() override { return "Software\\KvxContract"; }
  bool MakeDirectoryLink(const std::string& link, const std::string& target) override {
    std::error_code ec;
    std::filesystem::create_directory_symlink(machine_.SimFiles().HostPath(target),
                                              machine_.SimFiles().HostPath(link), ec);
    return !ec;
  }

 private:
  std::filesystem::path root_;
  platform::sim::SimMachine machine_;
};

}  // namespace

std::unique_ptr<TestBench> MakeBench() { return std::make_unique<SimBench>(); }

}  // namespace contract
