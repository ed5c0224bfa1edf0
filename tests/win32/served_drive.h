#pragma once
// The folder tests/win32/net_servers.sh serves over HTTP and FTP, seen as
// drive S:, and the ports of its servers.
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/machine.h"
#include "platform/text.h"

namespace kvxtest {

inline std::uint16_t Port(const char* name) {
  const char* v = std::getenv(name);
  return v ? static_cast<std::uint16_t>(std::atoi(v)) : 0;
}

// Writes a file, creating its folders.
inline bool Put(platform::FileSystem& fs, const std::string& path, std::string_view bytes) {
  for (std::size_t p = 0; (p = path.find('\\', p + 1)) != std::string::npos;)
    fs.CreateDirectory(path.substr(0, p));
  return platform::WriteWholeFile(fs, path, bytes) == platform::kOk;
}

inline std::string Read(platform::FileSystem& fs, const std::string& path) {
  std::string bytes;
  platform::ReadWholeFile(fs, path, bytes);
  return bytes;
}

// Whether a program runs from the folder ("c:\\upg\\", lower case).
inline bool ProgramRunsFrom(platform::Machine& m, const std::string& folder) {
  for (auto id : m.Procs().EnumerateIds()) {
    auto path = m.Procs().MainModulePath(id);
    if (path && platform::LowerCase(*path).rfind(folder, 0) == 0) return true;
  }
  return false;
}

// The requests the HTTP server has logged, whole lines or request lines only.
inline std::vector<std::string> Requests(platform::FileSystem& fs, bool full) {
  std::vector<std::string> lines;
  const std::string all = Read(fs, "S:\\_requests.log");
  for (std::size_t p = 0, e; (e = all.find('\n', p)) != std::string::npos; p = e + 1)
    lines.push_back(all.substr(p, (full ? e : std::min(e, all.find('\t', p))) - p));
  return lines;
}

}  // namespace kvxtest
