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

// Without trailing blanks and control characters, as TrimRight, but no copy.
std::string_view TrimRightView(std::string_view s) {
  while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') s.remove_suffix(1);
  return s;
}

struct Section {
  std::string_view tag;
  const std::string ScanRoots::*folder;  // null: the scan root becomes empty
};
constexpr Section kSections[] = {{"[Start]", nullptr},
                                 {"[Win32Root]", &ScanRoots::windowsDir},
                                 {"[System32Root]", &ScanRoots::systemDir},
                                 {"[ProgramFiles32Root]", &ScanRoots::programFiles}};

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

ScanRule ParseRuleLine(std::string_view line, std::string_view scanRoot) {
  ScanRule r;
  ParseRuleLine(line, scanRoot, r);
  return r;
}

void ParseRuleLine(std::string_view line, std::string_view scanRoot, ScanRule& r) {
  const std::string_view root = TrimRightView(scanRoot);
  r.dir.assign(root);
  r.hash.clear();
  r.name.clear();
  r.file.clear();
  r.noProcessLookup = false;

  if (!line.empty() && line[0] == '/') {
    line.remove_prefix(1);
    if (auto slash = line.find('/'); slash != std::string_view::npos) {
      r.hash.assign(line.substr(0, slash));
      line.remove_prefix(slash + 1);
    }
    if (r.hash == "0") r.hash.clear();
  }

  // The name starts after the first "[" and is as long as the position of
  // the first "]" (counted from 1) less two: the bracketed text when the
  // line begins with "[".
  const auto open = line.find('[');
  const auto close = line.find(']');
  const std::size_t start = open == std::string_view::npos ? 0 : open + 1;
  const long count = close == std::string_view::npos ? -2 : static_cast<long>(close + 1) - 2;
  if (count > 0 && start < line.size()) r.name.assign(line.substr(start, static_cast<std::size_t>(count)));

  if (line.find("::") != std::string_view::npos) {
    r.dir.clear();
    return;
  }

  const auto colon = line.find(':');
  r.file.assign(TrimRightView(colon == std::string_view::npos ? line : line.substr(colon + 1)));

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
    r.dir = std::move(folderRoot);
    r.file.clear();
  }
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
  std::string_view line = db_.ReadLineView();
  if (line == "_end") return false;
  for (const auto& s : kSections) {
    if (line.substr(0, s.tag.size()) != s.tag) continue;
    root_.assign(s.folder ? roots_.*s.folder : std::string());
    if (s.folder) root_.append(line.substr(s.tag.size()));
    line = db_.ReadLineView();
  }
  bool mark = false;
  if (line.find("/0/") != std::string_view::npos) {
    kept_.clear();
    for (std::size_t i = 0; i < line.size();) {
      if (line.compare(i, 3, "/0/") == 0) {
        mark = true;
        i += 3;
      } else {
        kept_ += line[i++];
      }
    }
    line = kept_;
  }
  pass.line.assign(line);
  pass.scanRoot.assign(root_);
  ParseRuleLine(line, root_, pass.rule);
  pass.rule.noProcessLookup = mark;
  return true;
}

std::size_t CountRulePasses(const ThreatDatabase& db) {
  const std::string_view text = db.Text();
  std::size_t position = 0, passes = 0;
  ReadTextLineView(text, position);  // the date
  for (std::string_view line; (line = ReadTextLineView(text, position)) != "_end"; ++passes)
    for (const auto& s : kSections)
      if (line.substr(0, s.tag.size()) == s.tag) line = ReadTextLineView(text, position);
  return passes;
}

}  // namespace engine
