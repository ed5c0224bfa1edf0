#pragma once
// The main window's side of keeping current: the update list check, the
// database update (incremental packages or the complete database) and the
// state they leave for the "Update" command, the start-up check and the log
// upload offer.
#include <cstdint>
#include <functional>
#include <map>
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

// How the last update run ended, for the unattended update. UpgradeReady:
// the new program is downloaded and checked, and waits for the run to start
// it (handOverLater).
enum class UpdateOutcome { None, UpToDate, Updated, Failed, Upgrading, UpgradeReady };

// What the log upload sends: the system inventory and the infection summary.
struct LogLines {
  std::vector<std::string> inventory;
  std::vector<std::string> summary;
};

class Updater {
 public:
  // publicKey: the key the update list must be signed with (64 hexadecimal
  // digits); empty for the plain channel.
  Updater(app::Program& program, std::string publicKey = {});
  Updater(const Updater&) = delete;
  Updater& operator=(const Updater&) = delete;

  app::Program& program;
  THTTPGet Get1;  // database files; waits
  THTTPGet Get2;  // the update list; returns at once
  THTTPGet Get3;  // the list's signature; waits
  std::string publicKey;

  int updateState = 0;  // 0 none yet, 3 no usable list, 1 nothing offered, 2 offered
  bool logUploadSwitch = false;
  bool incrementalRun = false;
  std::uint32_t currentNumber = 0, lastNumber = 0;

  // Set for the unattended update: every question is answered yes, no box
  // is shown, and the outcome is recorded.
  bool unattended = false;
  // Unattended: a downloaded program is not started at once; the run starts
  // it once its scan, fix and log are done.
  bool handOverLater = false;
  // Unattended from the console twin: a new program is never downloaded;
  // its version is kept in `announcedVersion` and the run goes on as if
  // the user had said no.
  bool neverUpgrade = false;
  std::string announcedVersion;
  UpdateOutcome outcome = UpdateOutcome::None;
  // Why the last update run failed, in a few words ("the update list is not
  // signed"); empty when it did not.
  std::string failure;
  // A server given on the command line; wins over the options value.
  std::string serverOverride;
  // The program digest line 4 of the last usable list asks for (may be empty).
  std::string programDigest;
  // Whether the last usable list vouches for these bytes downloaded from the
  // server path: they have the SHA-256 its hash line gives. Without a hash
  // line only the plain channel takes them.
  bool Vouches(const std::string& serverPath, std::string_view bytes) const;
  // Ends every download of the update before the program goes away.
  void Shutdown();

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
  // Checks the list (and its signature and serial, with a key) and records
  // its serial; the reason it may not be used, empty when it may.
  std::string Accept(const UpdateList& list, std::string_view bytes);
  bool SignatureVerifies(std::string_view bytes);
  void DownloadDatabase(const UpdateList& list);
  void StartGet1(const std::string& path, const std::string& file, std::uint64_t cap);
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
  std::map<std::string, std::string> hashes_;  // of the last usable list
};

}  // namespace update
