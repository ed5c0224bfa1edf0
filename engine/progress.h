#pragma once
// How far a long scan has come, and how often it says so.
#include <chrono>
#include <cstdint>
#include <string>

namespace engine {

// What a scan shows besides the item in the status panel: the quick scan its
// rules, the full scan its files, their bytes and the folder it walks.
struct ScanProgress {
  enum class Of { Rules, Files } of = Of::Rules;
  std::uint64_t rulesChecked = 0;
  std::uint64_t rules = 0;  // passes the whole database makes
  std::uint64_t files = 0;
  std::uint64_t bytes = 0;
  std::string folder;
};

// True about ten times a second (and at the first call): a scan passes on
// where it is no more often than a user can read it, so showing it costs
// the scan nothing it could measure.
class NewsClock {
 public:
  bool Due() {
    const auto now = std::chrono::steady_clock::now();
    if (now - last_ < std::chrono::milliseconds(100)) return false;
    last_ = now;
    return true;
  }

 private:
  std::chrono::steady_clock::time_point last_{};
};

}  // namespace engine
