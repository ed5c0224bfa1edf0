#include "startup/startup_text.h"

#include "platform/text.h"

namespace startup {

std::string ExecutablePathOfCommand(std::string_view command) {
  if (!command.empty() && command[0] == '"') command.remove_prefix(1);
  std::string s = platform::Trim(platform::LowerCase(command));
  if (auto q = s.rfind('"'); q != std::string::npos) {
    s.resize(q);
  } else if (s.rfind("rundll32.exe", 0) == 0) {
    s = s.size() > 13 ? s.substr(13) : std::string();
    if (auto dll = s.find(".dll"); dll != std::string::npos) s.resize(dll + 4);
  } else if (auto exe = s.find(".exe "); exe != std::string::npos) {
    s.resize(exe + 4);
  }
  return s;
}

namespace {

// Calls fn with each line until it returns false.
template <class Fn>
void ForEachLine(std::string_view text, Fn&& fn) {
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) end = text.size();
    if (!fn(text.substr(pos, end - pos))) return;
    pos = end;
    if (pos < text.size() && text[pos] == '\r') ++pos;
    if (pos < text.size() && text[pos] == '\n') ++pos;
  }
}

}  // namespace

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  ForEachLine(text, [&](std::string_view line) {
    lines.emplace_back(line);
    return lines.size() < kMaxIniLines;
  });
  return lines;
}

std::string NormalizeIniLine(std::string_view line) {
  return platform::LowerCase(platform::Trim(line));
}

bool IsLoaderLine(std::string_view line, bool* active) {
  const bool off = !line.empty() && line[0] == ';';
  if (off) line.remove_prefix(1);
  for (std::string_view prefix : {"load", "run", "device"}) {
    if (line.substr(0, prefix.size()) == prefix) {
      if (active) *active = !off;
      return true;
    }
  }
  return false;
}

std::string RewriteIniLines(std::string_view text, std::string_view oldLine,
                            std::string_view newLine) {
  std::string out;
  out.reserve(text.size() + newLine.size() + 2);
  // Every line, not only the ones the list shows: a rewrite never drops any.
  ForEachLine(text, [&](std::string_view line) {
    out += NormalizeIniLine(line) == oldLine ? newLine : line;
    out += "\r\n";
    return true;
  });
  return out;
}

std::string FilterBuffer(std::string_view value) {
  std::string b(kFilterBufferSize, ' ');
  b.replace(0, std::min(value.size(), b.size()), value.substr(0, b.size()));
  return b;
}

namespace {

// Walks the names after the first one: from the second byte on, find a NUL;
// a second NUL right after it ends the list; otherwise the next name starts
// at the following byte and runs to its NUL (or the buffer's end).
template <class Fn>
void WalkFilters(std::string_view b, Fn&& fn) {
  // A value that starts with a NUL holds no class driver and no filters.
  if (b.empty() || b[0] == '\0') return;
  std::size_t pos = 1;
  while (pos < b.size()) {
    const std::size_t nul = b.find('\0', pos);
    if (nul == std::string_view::npos || nul + 1 >= b.size() || b[nul + 1] == '\0') return;
    const std::size_t start = nul + 1;
    std::size_t end = b.find('\0', start);
    if (end == std::string_view::npos) end = b.size();
    std::string name = platform::Trim(b.substr(start, end - start));
    if (!name.empty()) fn(std::move(name));
    pos = end;
  }
}

}  // namespace

std::vector<std::string> FilterNames(std::string_view buffer) {
  std::vector<std::string> names;
  WalkFilters(buffer, [&](std::string name) { names.push_back(std::move(name)); });
  return names;
}

std::string UpperFiltersWithout(std::string_view buffer, std::string_view removed) {
  std::string out;
  std::string first = platform::Trim(buffer.substr(0, buffer.find('\0')));
  if (!first.empty()) {
    out += first;
    out.push_back('\0');
  }
  WalkFilters(buffer, [&](const std::string& name) {
    if (name == removed) return;
    out += name;
    out.push_back('\0');
  });
  out.push_back('\0');
  return out;
}

}  // namespace startup
