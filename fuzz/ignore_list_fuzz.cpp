// The ignore list files: both readers over any bytes, and what they read
// written back and read again unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "ignore/ignore_lists.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > ignore::kMaxListFileBytes) return 0;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::vector<ignore::TFileIgnoreList> files, filesAgain;
  ignore::ParseFileIgnoreList(bytes, files);
  ignore::ParseFileIgnoreList(ignore::FormatFileIgnoreList(files), filesAgain);
  std::vector<ignore::TRegIgnoreList> regs, regsAgain;
  ignore::ParseRegIgnoreList(bytes, regs);
  ignore::ParseRegIgnoreList(ignore::FormatRegIgnoreList(regs), regsAgain);
  // Line ends inside a field cannot be stored, so only lists of plain
  // fields must survive the round trip.
  auto plain = [](const std::string& s) { return s.find_first_of("\r\n") == std::string::npos; };
  bool allPlain = true;
  for (auto& e : files)
    for (auto* f : {&e.Kind, &e.IgnoredPath, &e.Extra1, &e.Extra2}) allPlain = allPlain && plain(*f);
  for (auto& e : regs)
    for (auto* f : {&e.KeyPath, &e.ValueName, &e.Info, &e.Data}) allPlain = allPlain && plain(*f);
  if (allPlain && (files != filesAgain || regs != regsAgain)) std::abort();
  return 0;
}
