#include "engine/folder_scan.h"

#include <memory>

#include "engine/helpers.h"
#include "engine/rules.h"
#include "platform/text.h"

namespace engine {

namespace {
constexpr std::size_t kQueueLimit = 4096;  // paths waiting for a worker
// A full queue wakes the walker again only when it has drained to half:
// waking it for every file taken costs a switch of threads per file.
constexpr std::size_t kQueueRefill = kQueueLimit / 2;
constexpr std::size_t kChunk = 256 * 1024;
}  // namespace

std::map<std::string, std::string> ReadHashRules(platform::Machine& machine, ThreatDatabase& db) {
  std::map<std::string, std::string> rules;
  RuleWalker walker(db, ReadScanRoots(machine));
  RulePass pass;
  while (walker.Next(pass))
    if (pass.rule.Kind() == RuleKind::Hash) rules.emplace(platform::LowerCase(pass.rule.hash), pass.rule.name);
  return rules;
}

FolderScan::FolderScan(platform::FileSystem& fs, std::map<std::string, std::string> hashRules)
    : fs_(fs), rules_(std::move(hashRules)) {}

FolderScan::~FolderScan() {
  Abort();
  if (walker_.joinable()) walker_.join();
}

void FolderScan::Start(std::vector<std::string> roots, unsigned workers) {
  if (walker_.joinable()) walker_.join();
  if (workers == 0) workers = std::max(1u, std::thread::hardware_concurrency());
  abort_ = false;
  finished_ = false;
  threadDone_ = false;
  news_ = {};
  jobs_.clear();
  walkDone_ = false;
  walker_ = std::thread([this, roots = std::move(roots), workers]() mutable {
    WalkThread(std::move(roots), workers);
  });
}

// What each worker keeps from file to file: its buffer and its digest.
struct FolderScan::WorkerState {
  std::unique_ptr<char[]> buffer = std::make_unique_for_overwrite<char[]>(kChunk);
  Md5 md5;
};

void FolderScan::WalkThread(std::vector<std::string> roots, unsigned workers) {
  for (unsigned i = 0; i < workers; ++i) workers_.emplace_back([this] { Worker(); });
  for (const auto& root : roots) {
    if (abort_) break;
    Walk(root);
  }
  {
    std::lock_guard<std::mutex> g(lock_);
    walkDone_ = true;
  }
  jobReady_.notify_all();
  // The workers finish the queue; the news keeps coming meanwhile.
  for (;;) {
    std::unique_lock<std::mutex> g(lock_);
    if (jobs_.empty()) break;
    jobTaken_.wait_for(g, std::chrono::milliseconds(100));
    g.unlock();
    MaybeNotify(false);
  }
  for (auto& w : workers_) w.join();
  workers_.clear();
  {
    std::lock_guard<std::mutex> g(lock_);
    news_.finished = true;
    news_.aborted = abort_;
  }
  finished_ = true;
  MaybeNotify(true);
  threadDone_ = true;
}

void FolderScan::Walk(const std::string& folder) {
  if (isIgnored && isIgnored(folder)) {
    std::lock_guard<std::mutex> g(lock_);
    news_.ignored.push_back(folder);
    return;
  }
  const std::string dir = platform::IncludeTrailingBackslash(folder);
  {
    std::lock_guard<std::mutex> g(lock_);
    news_.folder = dir;
  }
  MaybeNotify(false);
  // The folder is read whole before its files are queued: the listing is
  // not held open while a full queue waits for the workers.
  std::vector<std::string> subfolders, files;
  {
    platform::FindData d;
    auto h = fs_.FindFirst(dir + "*.*", d);
    if (!h) return;
    do {
      if (abort_) return;
      if (d.name.empty() || d.name == "." || d.name == "..") continue;
      // A junction or link may lead back up the tree: never follow one.
      if (d.attributes & platform::fileattr::kReparsePoint) continue;
      (d.IsDirectory() ? subfolders : files).push_back(dir + d.name);
    } while (h->Next(d));
  }
  for (auto& file : files) {
    if (isIgnored && isIgnored(file)) {
      std::lock_guard<std::mutex> g(lock_);
      news_.ignored.push_back(std::move(file));
      continue;
    }
    std::unique_lock<std::mutex> g(lock_);
    if (jobs_.size() >= kQueueLimit)
      jobTaken_.wait(g, [this] { return jobs_.size() <= kQueueRefill || abort_; });
    if (abort_) return;
    jobs_.push_back({std::move(file)});
    g.unlock();
    jobReady_.notify_one();
  }
  for (const auto& sub : subfolders) {
    if (abort_) return;
    Walk(sub);
  }
}

void FolderScan::Worker() {
  WorkerState state;
  for (;;) {
    Job job;
    bool wakeWalker;
    {
      std::unique_lock<std::mutex> g(lock_);
      jobReady_.wait(g, [this] { return !jobs_.empty() || walkDone_; });
      if (jobs_.empty()) return;
      job = std::move(jobs_.front());
      jobs_.pop_front();
      wakeWalker = jobs_.size() == kQueueRefill || jobs_.empty();
    }
    if (wakeWalker) jobTaken_.notify_all();
    if (!abort_) Hash(job.path, state);
  }
}

void FolderScan::Hash(const std::string& path, WorkerState& worker) {
  auto f = fs_.Open(path, platform::OpenMode::Read);
  const std::uint64_t size = f ? f->Size() : 0;
  const bool opened = f != nullptr;
  Md5& md5 = worker.md5;
  md5.Reset();
  std::uint64_t total = 0;
  while (f && !abort_) {
    const std::size_t n = f->Read(worker.buffer.get(), kChunk);
    if (n == 0) break;
    md5.Add(worker.buffer.get(), n);
    total += n;
  }
  f.reset();
  if (abort_) return;
  std::lock_guard<std::mutex> g(lock_);
  ++news_.files;
  news_.bytes += total;
  // A file that cannot be opened or ends early was not checked: say so.
  if (!opened || total != size) {
    ++news_.unreadableCount;
    news_.unreadable.push_back(path);
    return;
  }
  auto rule = rules_.find(md5.Hex());
  if (rule != rules_.end()) news_.found.push_back({path, rule->second, rule->first});
}

void FolderScan::MaybeNotify(bool force) {
  if ((newsClock_.Due() || force) && onNews) onNews();
}

FolderScanNews FolderScan::Take() {
  std::lock_guard<std::mutex> g(lock_);
  FolderScanNews out = news_;
  news_.found.clear();
  news_.unreadable.clear();
  news_.ignored.clear();
  return out;
}

void FolderScan::Wait(const std::function<void()>& whileWaiting) {
  while (!threadDone_) {
    if (whileWaiting) whileWaiting();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  if (walker_.joinable()) walker_.join();
}

}  // namespace engine
