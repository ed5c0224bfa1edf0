#include <algorithm>

#include "platform/sim/sim_machine.h"
#include "platform/text.h"

namespace platform::sim {

std::vector<ProcessEntry> SimProcesses::Snapshot() {
  std::lock_guard lock(mutex_);
  std::vector<ProcessEntry> out;
  for (const auto& p : table_) out.push_back({p.pid, p.parentPid, p.snapshotName});
  return out;
}

std::vector<std::uint32_t> SimProcesses::EnumerateIds() {
  std::lock_guard lock(mutex_);
  std::vector<std::uint32_t> out;
  for (const auto& p : table_) out.push_back(p.pid);
  return out;
}

std::optional<std::string> SimProcesses::MainModulePath(std::uint32_t pid) {
  std::lock_guard lock(mutex_);
  auto* p = Get(pid);
  if (!p || !p->canOpen || p->imagePath.empty()) return std::nullopt;
  return p->imagePath;
}

Status SimProcesses::Terminate(std::uint32_t pid, std::uint32_t exitCode) {
  std::lock_guard lock(mutex_);
  auto it = std::find_if(table_.begin(), table_.end(), [&](const auto& p) { return p.pid == pid; });
  if (it == table_.end()) return kInvalidParameter;
  if (!it->canTerminate) return kAccessDenied;
  terminated_.push_back({pid, it->imagePath, exitCode});
  table_.erase(it);
  return kOk;
}

std::uint32_t SimProcesses::Start(std::string_view imagePath) {
  std::lock_guard lock(mutex_);
  SimProcess p;
  p.pid = nextPid_;
  nextPid_ += 4;
  p.imagePath = std::string(imagePath);
  p.snapshotName = ExtractFileName(imagePath);
  table_.push_back(p);
  return p.pid;
}

SimProcess* SimProcesses::Get(std::uint32_t pid) {
  std::lock_guard lock(mutex_);
  for (auto& p : table_)
    if (p.pid == pid) return &p;
  return nullptr;
}

void SimProcesses::AddSystemProcesses() {
  std::lock_guard lock(mutex_);
  SimProcess idle{0, 0, "", "[System Process]", false, false};
  SimProcess system{4, 0, "", "System", false, false};
  table_.insert(table_.begin(), {idle, system});
}

bool SimProcesses::IsRunningImage(std::string_view path) {
  std::lock_guard lock(mutex_);
  auto want = SimFileSystem::Normalize(path);
  return std::any_of(table_.begin(), table_.end(), [&](const auto& p) {
    return !p.imagePath.empty() && SameText(SimFileSystem::Normalize(p.imagePath), want);
  });
}

SimSystem::SimSystem() : version_(WindowsXpSp3()) {}

OsVersion SimSystem::WindowsXpSp3() {
  OsVersion v;
  v.major = 5;
  v.minor = 1;
  v.build = 2600;
  v.platformId = 2;
  v.servicePack = "Service Pack 3";
  v.servicePackMajor = 3;
  v.suiteMask = 0x100;
  v.productType = 1;
  return v;
}


}  // namespace platform::sim
