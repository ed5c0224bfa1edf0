#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/status.h"

namespace platform {

struct ProcessEntry {
  std::uint32_t pid = 0;
  std::uint32_t parentPid = 0;
  std::string exeFile;  // as the snapshot records it (a bare name on NT)
};

class Processes {
 public:
  virtual ~Processes() = default;
  // Tool Help snapshot of all processes, in enumeration order.
  virtual std::vector<ProcessEntry> Snapshot() = 0;
  // Process status interface: identifiers only.
  virtual std::vector<std::uint32_t> EnumerateIds() = 0;
  // Full path of the main module, read after opening the process for query
  // and memory read; nullopt when it cannot be opened or read.
  virtual std::optional<std::string> MainModulePath(std::uint32_t pid) = 0;
  // Opens with terminate rights and terminates; does not wait.
  virtual Status Terminate(std::uint32_t pid, std::uint32_t exitCode) = 0;
  virtual std::uint32_t CurrentPid() = 0;
};

}  // namespace platform
