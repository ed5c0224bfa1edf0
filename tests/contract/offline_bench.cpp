// The contract suite on the offline machine: a small installation in a
// fresh host folder, opened for changes.
#include <unistd.h>

#include <filesystem>

#include "platform/offline/offline_machine.h"
#include "tests/contract/bench.h"
#include "tools/hivemake/installation.h"

namespace contract {
namespace {

class OfflineBench final : public TestBench {
 public:
  OfflineBench() {
    char tmpl[] = "/tmp/kvx-offline-contract-XXXXXX";
    root_ = mkdtemp(tmpl);
    std::filesystem::create_directories(root_ / "program");
    {
      hivemake::Installation inst(root_ / "volume");
      inst.Save();
    }
    std::filesystem::create_directories(root_ / "volume" / "kvxtest");
    platform::offline::OfflineOptions o;
    o.volume = (root_ / "volume").string();
    o.programPath = (root_ / "program" / "klaruvex-rescue").string();
    o.writable = true;
    std::string error;
    machine_ = platform::offline::OfflineMachine::Open(o, &error);
    if (!machine_) throw std::runtime_error(error);
  }
  ~OfflineBench() override {
    machine_.reset();
    std::filesystem::remove_all(root_);
  }
  platform::Machine& M() override { return *machine_; }
  std::string Scratch() override { return "C:\\kvxtest"; }
  std::uint32_t StartProgram(const std::string&) override { return 0; }
  bool PlaceServiceProgram(const std::string&) override { return false; }
  std::string ScratchKey() override { return "Software\\KvxContract"; }
  bool MakeDirectoryLink(const std::string& link, const std::string& target) override {
    auto host = [&](std::string win) {
      for (auto& c : win)
        if (c == '\\') c = '/';
      return root_ / "volume" / win.substr(3);
    };
    std::error_code ec;
    std::filesystem::create_directory_symlink(std::filesystem::relative(host(target), host(link).parent_path()),
                                              host(link), ec);
    return !ec;
  }
  bool RunsPrograms() override { return false; }
  bool RunsServices() override { return false; }
  bool FollowsDirectoryLinks() override { return false; }

 private:
  std::filesystem::path root_;
  std::unique_ptr<platform::offline::OfflineMachine> machine_;
};

}  // namespace

std::unique_ptr<TestBench> MakeBench() { return std::make_unique<OfflineBench>(); }

}  // namespace contract
