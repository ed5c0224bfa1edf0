#pragma once
// "Scan with Options": the chosen drives and folders (kept in the options
// key), and the scan that checks every file below them against the hash
// rules of the database, its matches joining the main window's findings.
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "engine/folder_scan.h"
#include "platform/registry.h"

namespace app {
class Program;
}

namespace scanopt {

struct ScanChoices {
  std::vector<std::string> folders;  // drives ("C:\") and folders, in the user's order
  bool followIgnoreList = true;
};

// Values "ScanFolders" ("C:\;D:\Data;") and "FollowIgnoreList" (1 or 0).
// Nothing stored: no folders, the ignore list followed.
ScanChoices ReadScanChoices(platform::Registry& reg);
bool WriteScanChoices(platform::Registry& reg, const ScanChoices& choices);

// One run of the folder scan as the program shows it: the findings list and
// the scan log of the main window take the matches as they come in.
class OptionsScan {
 public:
  explicit OptionsScan(app::Program& program);
  ~OptionsScan();

  // Clears the previous findings and starts on the folders. `onNews` runs on
  // the user-interface thread after each batch of news has been applied.
  // False (the user told to wait) while another scan, fix, log or update runs.
  bool Start(const ScanChoices& choices, std::function<void(const engine::FolderScanNews&)> onNews,
             unsigned workers = 0);
  void Abort() { scan_->Abort(); }
  bool Running() const { return running_; }
  // Waits for the end, keeping the user-interface thread answering.
  void Wait();

  const engine::FolderScanNews& Totals() const { return totals_; }
  // Every unreadable file and every ignored folder of the run.
  const std::vector<std::string>& Unreadable() const { return unreadable_; }
  const std::vector<std::string>& Ignored() const { return ignored_; }

 private:
  void Apply();  // user-interface thread

  app::Program& program_;
  std::unique_ptr<engine::FolderScan> scan_;
  std::function<void(const engine::FolderScanNews&)> onNews_;
  engine::FolderScanNews totals_;
  std::vector<std::string> unreadable_, ignored_;
  bool running_ = false;
};

// "/scan /path DIR ...": the folder scan of the given folders, following the
// ignore list, with "filesChecked", "bytesChecked" and "unreadable" added to
// the report. The reason when it cannot run (a folder missing), else empty.
std::string RunUnattendedFolderScan(app::Program& program, const std::vector<std::string>& folders,
                                    nlohmann::json& report);

}  // namespace scanopt
