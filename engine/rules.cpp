#include "engine/rules.h"

#include "platform/text.h"

namespace engine {
namespace {

// The last path part: in rule lines only the backslash and the drive colon
// separate parts ("/" belongs to the name).
std::string LastPathPart(std::string_view path) {
  const auto sep = path.find_last_of("\\:");
  return std::string(sep == std::string_view::npos ? path : path.substr(sep + 1));
}

}  // namespace

RuleKind ScanRule::Kind() const {
  if (!file.empty()) return RuleKind::File;
  if (!dir.empty()) return RuleKind::Folder;
  if (!hash.empty()) return RuleKind::Hash;
  return RuleKind::Inert;
}

const char* RuleKindName(RuleKind k) {
  switch (k) {
    case RuleKind::Hash: return "hash";
    case RuleKind::Folder: return "folder";
    case RuleKind::File: return "file";
    case RuleKind::Inert: return "inert";
  }
  return "inert";
}

ScanRule ParseRuleLine(std::string_view input, std::string_view scanRoot) {
  ScanRule r;
  const std::string root = platform::TrimRight(scanRoot);
  r.dir = root;
  std::string line(input);

  if (!line.empty() && line[0] == '/') {
    line.erase(0, 1);
    if (auto slash = line.find('/'); slash != std::string::npos) {
      r.hash = line.substr(0, slash);
      line.erase(0, slash + 1);
    }
    if (r.hash == "0") r.hash.clear();
  }

  // The name starts after the first "[" and is as long as the position of
  // the first "]" (counted from 1) less two: the bracketed text when the
  // line begins with "[".
  const auto open = line.find('[');
  const auto close = line.find(']');
  const std::size_t start = open == std::string::npos ? 0 : open + 1;
  const long count = close == std::string::npos ? -2 : static_cast<long>(close + 1) - 2;
  if (count > 0 && start < line.size()) r.name = line.substr(start, static_cast<std::size_t>(count));

  if (line.find("::") != std::string::npos) {
    r.file.clear();
    r.dir.clear();
    return r;
  }

  const auto colon = line.find(':');
  r.file = platform::TrimRight(colon == std::string::npos ? std::string_view(line)
                                                           : std::string_view(line).substr(colon + 1));

  const bool folder = !r.file.empty() && r.file.back() == '\\';
  std::string folderRoot;
  if (folder) {
    folderRoot = root;
    if (!folderRoot.empty() && folderRoot.back() != '\\') folderRoot += '\\';
    const auto dbl = r.file.find("\\\\");
    const std::string part = dbl == std::string::npos ? std::string() : r.file.substr(0, dbl);
    folderRoot += part;
    r.file = LastPathPart(part);
  }

  if (r.name.empty()) {
    // The part before the last "." without its folder; File whole when it
    // has no ".".
    const auto dot = r.file.rfind('.');
    r.name = "Sys32." + (dot == std::string::npos ? r.file : LastPathPart(r.file.substr(0, dot)));
  }

  if (folder) {
    r.dir = folderRoot;
    r.file.clear();
  }
  return r;
}

std::string ProgramFilesDir(platform::Registry& registry) {
  auto key = registry.Open(platform::Hive::LocalMachine,
                           "SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
                           platform::keyaccess::kQueryValue);
  if (!key) return {};
  return key->ReadString("ProgramFilesDir").value_or("");
}

ScanRoots ReadScanRoots(platform::Machine& machine) {
  return {machine.Files().WindowsDirectory(), machine.Files().SystemDirectory(),
          ProgramFilesDir(machine.Reg())};
}

RuleWalker::RuleWalker(ThreatDatabase& db, ScanRoots roots) : db_(db), roots_(std::move(roots)) {
  db_.SetPosition(0);
  db_.ReadLine();  // the date
}

bool RuleWalker::Next(RulePass& pass) {
  std::string line = db_.ReadLine();
  if (line == "_end") return false;
  const struct {
    std::string_view tag;
    const std::string* folder;
  } sections[] = {{"[Start]", nullptr},
                  {"[Win32Root]", &roots_.windowsDir},
                  {"[System32Root]", &roots_.systemDir},
                  {"[ProgramFiles32Root]", &roots_.programFiles}};
  for (const auto& s : sections) {
    if (line.compare(0, s.tag.size(), s.tag) != 0) continue;
    root_ = s.folder ? *s.folder + line.substr(s.tag.size()) : std::string();
    line = db_.ReadLine();
  }
  bool mark = false;
  std::string kept;
  for (std::size_t i = 0; i < line.size();) {
    if (line.compare(i, 3, "/0/") == 0) {
      mark = true;
      i += 3;
    } else {
      kept += line[i++];
    }
  }
  line = std::move(kept);
  pass.line = line;
  pass.scanRoot = root_;
  pass.rule = ParseRuleLine(line, root_);
  pass.rule.noProcessLookup = mark;
  return true;
}

}  // namespace engine
