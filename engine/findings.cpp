#include "engine/findings.h"

#include <algorithm>

#include "platform/text.h"

namespace engine {

bool FindingsRegister::Add(TFileList record) {
  if (!paths_.insert(platform::LowerCase(record.Path)).second) return false;
  records_.push_back(std::move(record));
  return true;
}

bool FindingsRegister::Contains(std::string_view path) const {
  return paths_.count(platform::LowerCase(path)) > 0;
}

void FindingsRegister::Clear() {
  records_.clear();
  paths_.clear();
}

bool SortedTextList::Add(std::string text) {
  const std::string key = platform::LowerCase(text);
  auto at = std::lower_bound(texts_.begin(), texts_.end(), key,
                             [](const std::string& a, const std::string& k) {
                               return platform::LowerCase(a) < k;
                             });
  if (at != texts_.end() && platform::LowerCase(*at) == key) return false;
  texts_.insert(at, std::move(text));
  return true;
}

void InfectionSummary::Add(std::string line) {
  if (lines_.size() >= kMaxLines) return;
  SortedTextList sorted;
  for (auto& l : lines_) sorted.Add(l);
  if (sorted.Add(std::move(line))) lines_ = sorted.Texts();
}

}  // namespace engine
