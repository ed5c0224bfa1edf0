#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/text.h"
#include "platform/win32/machine.h"
#include "tests/contract/bench.h"

namespace contract {
namespace {

class Win32Bench final : public TestBench {
 public:
  Win32Bench() : machine_(platform::win32::CreateMachine()) {
    auto& fs = machine_->Files();
    fs.CreateDirectory("C:\\kvxtest");
    scratch_ = "C:\\kvxtest\\" + std::to_string(machine_->Procs().CurrentPid()) + "-" +
               std::to_string(++count_);
    fs.CreateDirectory(scratch_);
    sleeper_ = platform::ExtractFilePath(machine_->Sys().ModulePath()) + "kvx_sleeper.exe";
  }
  ~Win32Bench() override {
    for (auto pid : started_) machine_->Procs().Terminate(pid, 0);
    RemoveTree(scratch_);
  }
  platform::Machine& M() override { return *machine_; }
  std::string Scratch() override { return scratch_; }
  std::uint32_t StartProgram(const std::string& winPath) override {
    if (machine_->Files().CopyFile(sleeper_, winPath, false) != platform::kOk) return 0;
    auto pid = platform::win32::LaunchProgram(winPath);
    if (pid) started_.push_back(pid);
    return pid;
  }
  bool PlaceServiceProgram(const std::string& winPath) override {
    const std::string service =
        platform::ExtractFilePath(machine_->Sys().ModulePath()) + "kvx_testsvc.exe";
    return machine_->Files().CopyFile(service, winPath, false) == platform::kOk;
  }
  std::string ScratchKey() override { return "Software\\KvxContract"; }
  bool MakeDirectoryLink(const std::string& link, const std::string& target) override {
    // Wine answers success without making a link: believe what is on disk.
    return platform::win32::CreateDirectoryLink(link, target) &&
           machine_->Files().GetAttributes(link) != platform::FileSystem::kInvalidAttributes;
  }

 private:
  void RemoveTree(const std::string& dir) {
    auto& fs = machine_->Files();
    platform::FindData d;
    if (auto h = fs.FindFirst(dir + "\\*", d)) {
      do {
        if (d.name == "." || d.name == "..") continue;
        const std::string p = dir + "\\" + d.name;
        if (d.IsDirectory()) {
          if (!(d.attributes & platform::fileattr::kReparsePoint)) RemoveTree(p);
          fs.RemoveDirectory(p);
        } else {
          fs.SetAttributes(p, platform::fileattr::kNormal);
          // A stopped service's process may still hold its file for a moment.
          for (int i = 0; i < 150 && fs.DeleteFile(p) != platform::kOk; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
      } while (h->Next(d));
    }
    fs.RemoveDirectory(dir);
  }

  static inline int count_ = 0;
  std::unique_ptr<platform::Machine> machine_;
  std::string scratch_;
  std::string sleeper_;
  std::vector<std::uint32_t> started_;
};

}  // namespace

std::unique_ptr<TestBench> MakeBench() { return std::make_unique<Win32Bench>(); }

}  // namespace contract
