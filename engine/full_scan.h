#pragma once
// The full scan: every file of the chosen drives compared with the files the
// quick scan found, by size first and by MD5 only when the size is equal.
#include <string>

#include "engine/quick_scan.h"

namespace engine {

class FullScanWalk {
 public:
  FullScanWalk(platform::Machine& machine, ScanState& state, ScanHost& host);
  // Walks one folder and everything below it; ends early on the abort
  // request. Folders whose names begin with "." and reparse points
  // (junctions, links) are not entered.
  void Walk(const std::string& folder, const std::string& mask = "*.*");
  // Every piece of a drive list "C:\;D:\;" in order.
  void WalkDrives(const std::string& driveList);

 private:
  // What is compared, copied when the walk starts: the findings may change
  // while messages run during the walk.
  struct Pattern {
    std::uint64_t size;
    std::string path;
    std::string md5;
    std::string name;
  };
  void CheckFile(const std::string& path, std::uint64_t size, const std::string& time);
  bool SizeOfAFinding(std::uint64_t size) const;
  // The file being checked in the status panel (when given) and the counts.
  void ShowNews(const std::string* path);

  platform::Machine& machine_;
  ScanState& state_;
  ScanHost& host_;
  // The findings that copies are looked for, taken when the walk starts;
  // the findings a walk adds are never patterns, nor is a file that could
  // not be read whole.
  std::vector<Pattern> patterns_;
  ScanProgress progress_;
  NewsClock clock_;
  int depth_ = 0;  // of the folder being walked, 1 for the one Walk was given
};

}  // namespace engine
