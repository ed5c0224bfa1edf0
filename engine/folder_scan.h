#pragma once
// The folder scan behind "Scan with Options": every file below the chosen
// folders hashed (MD5) and compared with the database's hash rules. One
// thread walks the folders, worker threads (one per core) open, read and hash
// the files, all at once; the user-interface thread takes the news whenever
// it is told there is some.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/progress.h"
#include "engine/threat_database.h"
#include "platform/machine.h"

namespace engine {

// Lower-case MD5 text to threat name, from every hash rule of the database.
std::map<std::string, std::string> ReadHashRules(platform::Machine& machine, ThreatDatabase& db);

struct FolderScanMatch {
  std::string path;
  std::string name;
  std::string md5;
};

// What happened since the last Take, plus the running totals.
struct FolderScanNews {
  std::uint64_t files = 0;  // files checked so far
  std::uint64_t bytes = 0;  // bytes hashed so far
  std::uint64_t unreadableCount = 0;
  std::string folder;       // the folder being walked
  std::vector<FolderScanMatch> found;
  std::vector<std::string> unreadable;  // files that could not be read
  std::vector<std::string> ignored;     // folders left out for the ignore list
  bool finished = false;
  bool aborted = false;
};

class FolderScan {
 public:
  // The walking thread and the workers call the file system at the same
  // time, as they may (platform::FileSystem).
  FolderScan(platform::FileSystem& fs, std::map<std::string, std::string> hashRules);
  ~FolderScan();  // aborts and waits
  FolderScan(const FolderScan&) = delete;
  FolderScan& operator=(const FolderScan&) = delete;

  // Called on the walking thread whenever there is news (at most about ten
  // times a second, and once at the end). It may block, e.g. to hand the
  // news to the user-interface thread.
  std::function<void()> onNews;
  // Folders (and files) for which this is true are not entered.
  std::function<bool(const std::string&)> isIgnored;

  void Start(std::vector<std::string> roots, unsigned workers = 0);
  void Abort() { abort_ = true; }
  FolderScanNews Take();
  bool Finished() const { return finished_; }
  // Waits for the end; `whileWaiting` runs between looks (to keep a
  // user-interface thread answering the news).
  void Wait(const std::function<void()>& whileWaiting = {});

 private:
  struct Job {
    std::string path;
  };
  void WalkThread(std::vector<std::string> roots, unsigned workers);
  void Walk(const std::string& folder);
  void Worker();
  struct WorkerState;
  void Hash(const std::string& path, WorkerState& worker);
  void MaybeNotify(bool force);

  platform::FileSystem& fs_;
  std::map<std::string, std::string> rules_;
  std::mutex lock_;  // guards news_ and jobs_
  std::condition_variable jobReady_, jobTaken_;
  std::deque<Job> jobs_;
  bool walkDone_ = false;
  FolderScanNews news_;
  std::atomic<bool> abort_{false};
  std::atomic<bool> finished_{true};
  std::atomic<bool> threadDone_{true};  // the walking thread has nothing left to do
  std::thread walker_;
  std::vector<std::thread> workers_;
  NewsClock newsClock_;  // the walking thread's
};

}  // namespace engine
