#pragma once
// The main window's side of keeping current: the update list check, the
// database update (incremental packages or the complete database) and the
// state they leave for the "Update" command, the start-up check and the log
// upload offer.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "update/http_get.h"
#include "update/update_list.h"

namespace app {
class Program;
}

namespace update {

// A server named in the options key ("UpdateServer", "UploadServer");
// empty when not set.
std::string ServerOption(app::Program& program, const char* value);

// Host or host:port of the update web server: the options value
// "UpdateServer" when set, otherwise the vendor's server.
std::string UpdateServer(app::Program& program);

// How the last update run ended, for the unattended update.
enum class UpdateOutcome { None, UpToDate, Updated, Failed, Upgrading };

// What the log upload sends: the system inventory and the infection summary.
struct LogLines {
  std::vector<std::string> inventory;
  std::vector<std::string> summary;
};

class Updater {
 public:
  explicit Updater(app::Program& program);
  Updater(const Updater&) = delete;
  Updater& operator=(const Updater&) = delete;

  app::Program& program;
  THTTPGet Get1;  // database files; waits
  THTTPGet Get2;  // the update list; returns at once

  int updateState = 0;  // 0 none yet, 3 no usable list, 1 nothing offered, 2 offered
  bool logUploadSwitch = false;
  bool incrementalRun = false;
  std::uint32_t currentNumber = 0, lastNumber = 0;

  // Set for the unattended update: every question is answered yes, no box
  // is shown, and the outcome is recorded.
  bool unattended = false;
  UpdateOutcome outcome = UpdateOutcome::None;
  // A server given on the command line; wins over the options value.
  std::string serverOverride;
  // The program digest line 4 of the last usable list asks for (may be empty).
  std::string programDigest;

  // The log's lines; the quick scan and the inventory supply them.
  std::function<LogLines()> logLines;

  void StartListCheck();
  void Button7Click();  // "Update"
  void Timer3Timer();   // the start-up check
  std::string Url(const std::string& path);

  // Message boxes of the update: none when unattended (questions say yes).
  bool AskYes(const std::string& text, const std::string& caption);
  void Tell(const std::string& text, const std::string& caption, ui::Icon icon);

 private:
  void Get2DoneFile(const std::string& fileName, std::uint64_t size);
  void Get1Progress(std::uint64_t total, std::uint64_t readed);
  void Get1DoneFile(const std::string& fileName, std::uint64_t size);
  void Get1Error();
  void DownloadDatabase(const UpdateList& list);
  void StartGet1(const std::string& path, const std::string& file);
  bool MergeDownloadedPackage();
  bool TakeCompleteDatabase();
  void Finished(std::uint64_t size);
  void DownloadFailed();
  void SetButtons(bool enabled);
  void StartProgramDownload(const std::string& version);

  // Set while the update job is held for a check the user asked for.
  bool holding_ = false;
  enum class Package { Merged, Failed, Reported };
  Package package_ = Package::Failed;
  std::string pending_;  // the database text the chain merges into
};

}  // namespace update
