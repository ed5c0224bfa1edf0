#include "quarantine/quarantine_index.h"

namespace quarantine {

std::optional<std::vector<TQFileList>> ParseIndex(std::string_view bytes) {
  if (bytes.size() > kMaxIndexBytes) return std::nullopt;
  std::vector<TQFileList> entries;
  std::size_t pos = 0;
  // One line, without its end; false when a line is too long.
  auto line = [&](std::string& out) {
    std::size_t end = pos;
    while (end < bytes.size() && bytes[end] != '\r' && bytes[end] != '\n') ++end;
    if (end - pos > kMaxIndexLine) return false;
    out.assign(bytes.substr(pos, end - pos));
    pos = end;
    if (pos < bytes.size() && bytes[pos] == '\r') ++pos;
    if (pos < bytes.size() && bytes[pos] == '\n') ++pos;
    return true;
  };
  while (pos < bytes.size()) {
    if (entries.size() == kMaxIndexEntries) return std::nullopt;
    TQFileList& e = entries.emplace_back();
    for (std::string* field : {&e.SourcePath, &e.StoredPath, &e.Task, &e.Added, &e.Checksum})
      if (!line(*field)) return std::nullopt;
  }
  return entries;
}

std::string FormatIndex(const std::vector<TQFileList>& entries) {
  std::string out;
  for (const auto& e : entries)
    for (const std::string* field : {&e.SourcePath, &e.StoredPath, &e.Task, &e.Added, &e.Checksum})
      out += *field + "\r\n";
  return out;
}

}  // namespace quarantine
