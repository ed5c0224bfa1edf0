#pragma once
// Rule lines of the threat database and the passes of the scan over them.
#include <string>
#include <string_view>

#include "engine/threat_database.h"
#include "platform/machine.h"

namespace engine {

enum class RuleKind { Hash, Folder, File, Inert };

struct ScanRule {
  std::string file;  // file part, folder macros unexpanded; empty for folders and "::"
  std::string name;  // threat name shown to the user
  std::string hash;  // MD5 text of the hash part
  std::string dir;   // scan root (or the folder of a folder rule)
  bool noProcessLookup = false;

  RuleKind Kind() const;
};

const char* RuleKindName(RuleKind k);  // "hash", "folder", "file", "inert"

// Parses one rule line (already without "/0/") under the current scan root.
ScanRule ParseRuleLine(std::string_view line, std::string_view scanRoot);
// The same into a rule whose texts are reused (a scan parses every line).
void ParseRuleLine(std::string_view line, std::string_view scanRoot, ScanRule& out);

// The folders section lines refer to, without trailing backslashes.
struct ScanRoots {
  std::string windowsDir;
  std::string systemDir;
  std::string programFiles;  // ProgramFilesDir, empty when missing
};
std::string ProgramFilesDir(platform::Registry& registry);
ScanRoots ReadScanRoots(platform::Machine& machine);

// One pass of the scan: the line left after section lines, and its rule.
struct RulePass {
  std::string line;
  std::string scanRoot;
  ScanRule rule;
};

// Walks the database from its top as the scan does: the date line is
// skipped, section lines set the scan root, "/0/" marks are taken out.
class RuleWalker {
 public:
  RuleWalker(ThreatDatabase& db, ScanRoots roots);
  // False once the reader gives "_end".
  bool Next(RulePass& pass);

 private:
  ThreatDatabase& db_;
  ScanRoots roots_;
  std::string root_;
  std::string kept_;  // a line with its "/0/" marks taken out
};

// How many passes a walk over the whole database makes (what the scan shows
// as its total), without parsing a rule.
std::size_t CountRulePasses(const ThreatDatabase& db);

}  // namespace engine
