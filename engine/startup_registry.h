#pragma once
// The registry base "RegBase.rgk" (keys whose values start programs), the
// start-up values read from it, and the start-up registry scan over the keys
// that load code into Windows and Explorer.
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/machine.h"

namespace undo {
class Backup;
}

// One start-up value: where it lives and what it says.
class StartupF {
 public:
  platform::Hive root = platform::Hive::CurrentUser;
  std::string keyPath;
  std::string valueName;
  std::string valueData;
};

namespace engine {

inline constexpr const char* kRegBaseName = "RegBase.rgk";

// The root key table of the registry base; indexes outside 0 to 4 give
// HKEY_CURRENT_USER and the empty name.
platform::Hive RootKeyOfIndex(int index);
std::string RootKeyName(int index);

struct RegBaseRecord {
  int rootIndex = 0;
  std::string keyPath;
};

// The records of a registry base, in file order. Reading stops at the first
// thing outside the format (what came before it stays) and never holds more
// than the text itself. `complete` tells whether all N records were read.
std::vector<RegBaseRecord> ParseRegBase(std::string_view text, bool* complete = nullptr);
// Reads "RegBase.rgk" of the program folder; false when it cannot be read.
bool LoadRegBase(platform::FileSystem& fs, const std::string& programFolder,
                 std::vector<RegBaseRecord>& out);

// Every value of the listed keys that reads as text, in key and value order.
// Keys are opened with full access; one that does not open is skipped.
// `log`, when given, receives the log-building lines of each value.
std::vector<StartupF> ReadStartupValues(platform::Registry& reg,
                                        const std::vector<RegBaseRecord>& records,
                                        const std::function<void(const std::string&)>& log = {});

// Deletes the values of the registry base's keys whose data contains `path`
// or equals its file name (both lower case), each kept in the backup first
// (one that cannot be kept stays); true when any was deleted. After a
// deletion the keys are walked again, at most kMaxRemovalPasses times in
// all: a value written back at once (a watchdog) cannot keep it going.
// `left`, when given, receives "ROOT\key\name" of every value that still
// points at the path at the end.
inline constexpr int kMaxRemovalPasses = 8;
bool RemoveStartupValuesFor(platform::Machine& machine, const std::string& programFolder,
                            const std::string& path, undo::Backup& backup,
                            std::vector<std::string>* left = nullptr);

// The registry server list: files named by shell service objects, Winlogon
// notification packages, the shared task scheduler, browser helper objects,
// shell execute hooks, AppInit_DLLs and uninstall commands. `pump` lets
// pending window messages run during the longer walks.
std::vector<std::string> ScanStartupRegistry(platform::Machine& machine,
                                             const std::function<void()>& pump = {});

}  // namespace engine
