#pragma once
// The system inventory (every program that runs or starts with Windows, with
// its MD5 and size) and the tests a rule path is put to: file-name patterns
// against the inventory and the disk, running programs, hashes.
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/findings.h"
#include "platform/machine.h"

namespace engine {

// Where the inventory comes from besides the running processes: the start-up
// manager's lists and the start-up registry scan, gathered by the program.
struct InventorySources {
  std::vector<std::string> startupValues;          // data of each registry start-up value
  std::vector<std::string> startupFolderCommands;  // "Command" of each Startup folder entry
  std::vector<std::string> servicePaths;           // "Path" of each service
  std::vector<std::string> systemIniEntries;       // each System.ini line
  std::vector<std::string> serverFiles;            // collected by the start-up registry scan
};

// The prefixes of the Startup folder and service entries (message table
// entries 180 and 181) and what to do between items.
struct InventoryCallbacks {
  std::string startupPrefix = "Startup ";
  std::string servicePrefix = "Service ";
  std::function<void()> processMessages;
  std::function<void(const std::string&)> showPath;  // status panel while building
};

// Entries "Prefix path[md5][size]", sorted without regard to case.
class SystemInventory {
 public:
  void Clear();
  bool Add(std::string entry);
  const std::vector<std::string>& Entries() const { return list_.Texts(); }
  // ResolvePath of entry i; resolved once per build (resolution probes the
  // disk once per dropped character).
  const std::string& Resolved(platform::FileSystem& fs, std::size_t i) const;

 private:
  SortedTextList list_;
  mutable std::vector<std::string> resolved_;
  mutable std::vector<bool> done_;
};

void BuildSystemInventory(platform::Machine& machine, const InventorySources& sources,
                          SystemInventory& inventory, const InventoryCallbacks& cb = {});

// What the matchers need besides the machine: the inventory and a way to
// keep the windows alive.
struct MatchContext {
  MatchContext(platform::Machine& m, const SystemInventory& inv, std::function<void()> pump = {})
      : machine(m), inventory(inv), processMessages(std::move(pump)) {}
  MatchContext(const MatchContext&) = delete;  // it holds views of its own texts
  MatchContext& operator=(const MatchContext&) = delete;
  platform::Machine& machine;
  const SystemInventory& inventory;
  std::function<void()> processMessages;
  void Pump() const {
    if (processMessages) processMessages();
  }
  // Paths of the running programs that are valid files. A scan asks for
  // them once per rule: they are listed once and kept until the scan
  // terminates a program (ForgetRunningPrograms).
  const std::vector<std::string>& RunningPrograms() const;
  // The index in RunningPrograms of the first path that contains the
  // fragment, letter case ignored; -1 when none does.
  int FindRunningProgram(std::string_view fragment) const;
  void ForgetRunningPrograms() const { runningListed_ = false; }

 private:
  mutable std::vector<std::string> running_, runningLower_;
  // Every tail of a lower-case path that starts at a backslash, sorted, with
  // its path's index: a scan asks for "\" and a rule's file once per rule,
  // and the tails that begin with it lie together.
  mutable std::vector<std::pair<std::string_view, int>> tails_;
  mutable std::string fragment_;
  mutable bool runningListed_ = false;
};

// Paths (each followed by ";") that a file-name pattern of the rule path
// names among the inventory (and, for the prefix kind, on disk).
std::string MatchInventory(const MatchContext& ctx, std::string_view rulePath);
// Files matching a pattern whose first "<>" stands for "*", each followed by ";".
std::string FindFilesByPattern(const MatchContext& ctx, std::string_view pattern);
// First running program's path containing fragment (letter case ignored), or
// else whose MD5 is hash; empty when none.
std::string FindRunningProcessPath(const MatchContext& ctx, std::string_view fragment,
                                   std::string_view hash);
// The first inventory entry holding the hash text, resolved; empty when none.
std::string FindInventoryPathByHash(const MatchContext& ctx, std::string_view hash);

// The prefix-and-set test of a lower-case file name against the set text.
bool PassesSuffixTest(std::string_view name, std::string_view set);

// The file name up to its first "." (the whole name when that is empty).
std::string BaseName(std::string_view path);

// The names a "??FROM?TO?" range in a rule path's file name stands for, in
// order, each with the folder in front. At most kMaxRangeNames.
inline constexpr std::size_t kMaxRangeNames = 10000;
std::vector<std::string> ExpandRange(std::string_view rulePath,
                                     const std::function<bool()>& keepGoing = {});

}  // namespace engine
