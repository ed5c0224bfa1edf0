#pragma once
// Entries of the quarantine and the index file "Quarantine.info" that lists
// them: five CR LF lines per entry, no header, no count.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One quarantined file.
class TQFileList {
 public:
  std::string SourcePath;  // where the file came from, case kept
  std::string StoredPath;  // its enciphered copy in the quarantine folder
  std::string Task;        // the threat name; "Unknown" when added by hand
  std::string Added;       // local short date, ", ", local long time
  std::string Checksum;    // MD5 text of the file when the scan gave one

  bool operator==(const TQFileList&) const = default;
};

namespace quarantine {

// Limits of what the reader takes in. Real indexes are a few kilobytes; a
// longer line or more entries than this is a damaged file, not a store.
inline constexpr std::size_t kMaxIndexBytes = 16u << 20;
inline constexpr std::size_t kMaxIndexLine = 32768;
inline constexpr std::size_t kMaxIndexEntries = 100000;

// Reads entries five lines at a time until the text ends; the end is tested
// only before each group, so a short last group gets empty texts for its
// missing lines. Lines end with CR LF, CR or LF. nullopt when the text
// breaks the limits above.
std::optional<std::vector<TQFileList>> ParseIndex(std::string_view bytes);
std::string FormatIndex(const std::vector<TQFileList>& entries);

}  // namespace quarantine
