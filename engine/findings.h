#pragma once
// What a scan found: the findings register, the infection summary and the
// system inventory the scan matches rule paths against.
#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace engine {

// One finding, as Fix and the full scan see it.
class TFileList {
 public:
  std::string Path;
  std::string Name;
  bool IsFolder = false;
  bool IsSubfolder = false;
  bool InFolder = false;
  bool FromFullScan = false;
  int ListIndex = -1;  // line in List1 (counted without the placeholder), -1 for none
  std::string Md5;
};

// Findings in the order found; a path (letter case ignored) is held once.
class FindingsRegister {
 public:
  // False, and nothing added, when the path is already present.
  bool Add(TFileList record);
  bool Contains(std::string_view path) const;
  void Clear();
  const std::vector<TFileList>& Records() const { return records_; }
  std::vector<TFileList>& Records() { return records_; }
  std::size_t Size() const { return records_.size(); }

 private:
  std::vector<TFileList> records_;
  std::unordered_set<std::string> paths_;  // lower case
};

// "!Infected name=;folder\;rule;md5;size;" lines, sorted, at most 16.
class InfectionSummary {
 public:
  static constexpr std::size_t kMaxLines = 16;
  void Add(std::string line);  // ignored when present or full
  void Clear() { lines_.clear(); }
  std::size_t Size() const { return lines_.size(); }
  const std::vector<std::string>& Lines() const { return lines_; }
  std::vector<std::string>& Lines() { return lines_; }

 private:
  std::vector<std::string> lines_;
};

// A text list kept sorted without regard to case, without duplicates.
class SortedTextList {
 public:
  bool Add(std::string text);
  void Clear() { texts_.clear(); }
  const std::vector<std::string>& Texts() const { return texts_; }
  std::size_t Size() const { return texts_.size(); }

 private:
  std::vector<std::string> texts_;
};

}  // namespace engine
