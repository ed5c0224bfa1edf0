#include "tools/kvxdb/kvxdb.h"

#include <cstdio>
#include <fstream>
#include <ostream>
#include <sstream>

#include "engine/rules.h"
#include "engine/threat_database.h"
#include "update/ezcrypt.h"

namespace kvxdb {
namespace {

constexpr const char* kUsage =
    "usage:\n"
    "  kvxdb pack TEXT OUT [--no-compress]   write the stored form of files.dat\n"
    "  kvxdb unpack IN TEXT                  write the plain text of a stored database\n"
    "  kvxdb rules IN [--windir DIR] [--sysdir DIR] [--programfiles DIR]\n"
    "                                        print every pass of the scan as\n"
    "                                        kind, Name, Hash, Dir, File, no-process-lookup\n";

bool ReadFile(const std::string& path, std::string& bytes, std::ostream& err) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    err << "kvxdb: cannot read " << path << "\n";
    return false;
  }
  std::ostringstream s;
  s << in.rdbuf();
  bytes = s.str();
  return true;
}

// Written beside the target and renamed, so a failure leaves nothing behind.
bool WriteFile(const std::string& path, const std::string& bytes, std::ostream& err) {
  const std::string tmp = path + ".tmp";
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
      err << "kvxdb: cannot write " << path << "\n";
      std::remove(tmp.c_str());
      return false;
    }
  }
  std::remove(path.c_str());
  if (std::rename(tmp.c_str(), path.c_str()) != 0) {
    err << "kvxdb: cannot write " << path << "\n";
    std::remove(tmp.c_str());
    return false;
  }
  return true;
}

// Checks the text against the format and gives it CR LF line ends. Returns
// an error text, empty when the text is a database.
std::string Normalize(const std::string& in, std::string& out) {
  out.clear();
  std::vector<std::string> lines;
  std::string cur;
  for (std::size_t i = 0; i < in.size(); ++i) {
    char c = in[i];
    if (c == '\r' && i + 1 < in.size() && in[i + 1] == '\n') continue;
    if (c == '\n') {
      lines.push_back(std::move(cur));
      cur.clear();
    } else {
      cur += c;
    }
  }
  if (!cur.empty()) lines.push_back(std::move(cur));
  if (lines.size() < 2) return "a database needs a date line and the closing \"_end\" line";
  if (lines.back() != "_end") return "the last line must be \"_end\"";
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].size() > 254)
      return "line " + std::to_string(i + 1) + " is longer than 254 characters";
    if (lines[i].find('\r') != std::string::npos || lines[i].find('\0') != std::string::npos)
      return "line " + std::to_string(i + 1) + " holds a CR or NUL byte";
    out += lines[i] + "\r\n";
  }
  return {};
}

bool LooksLikeDatabase(const std::string& text) {
  std::string normalized;
  return text.size() >= 8 && text.compare(text.size() - 6, 6, "_end\r\n") == 0 &&
         text.find('\0') == std::string::npos && Normalize(text, normalized).empty() &&
         normalized == text;
}

bool Unpack(const std::string& path, std::string& text, std::ostream& err) {
  std::string image;
  if (!ReadFile(path, image, err)) return false;
  if (engine::UnpackDatabase(std::move(image), update::LanguageKey(), text) !=
      engine::LoadResult::Ok) {
    err << "kvxdb: " << path << " is damaged: its compressed data is broken\n";
    return false;
  }
  if (!LooksLikeDatabase(text)) {
    err << "kvxdb: " << path << " is not a threat database of this build's language key\n";
    return false;
  }
  return true;
}

int Pack(const std::vector<std::string>& a, std::ostream& err) {
  bool compress = true;
  std::vector<std::string> files;
  for (std::size_t i = 1; i < a.size(); ++i) {
    if (a[i] == "--no-compress")
      compress = false;
    else
      files.push_back(a[i]);
  }
  if (files.size() != 2) {
    err << kUsage;
    return 2;
  }
  std::string raw, text;
  if (!ReadFile(files[0], raw, err)) return 1;
  if (auto problem = Normalize(raw, text); !problem.empty()) {
    err << "kvxdb: " << files[0] << ": " << problem << "\n";
    return 1;
  }
  auto firstLine = text.substr(0, text.find('\r'));
  if (firstLine.size() != 33)
    err << "kvxdb: warning: the date line has " << firstLine.size()
        << " characters; incremental updates need 33\n";
  return WriteFile(files[1], engine::PackDatabase(text, update::LanguageKey(), compress), err) ? 0
                                                                                             : 1;
}

int Rules(const std::vector<std::string>& a, std::ostream& out, std::ostream& err) {
  engine::ScanRoots roots{"C:\\WINDOWS", "C:\\WINDOWS\\system32", "C:\\Program Files"};
  std::string in;
  for (std::size_t i = 1; i < a.size(); ++i) {
    auto value = [&](std::string& to) {
      if (i + 1 >= a.size()) return false;
      to = a[++i];
      return true;
    };
    bool ok = true;
    if (a[i] == "--windir")
      ok = value(roots.windowsDir);
    else if (a[i] == "--sysdir")
      ok = value(roots.systemDir);
    else if (a[i] == "--programfiles")
      ok = value(roots.programFiles);
    else if (in.empty() && a[i].rfind("--", 0) != 0)
      in = a[i];
    else
      ok = false;
    if (!ok) {
      err << kUsage;
      return 2;
    }
  }
  if (in.empty()) {
    err << kUsage;
    return 2;
  }
  std::string text;
  if (!Unpack(in, text, err)) return 1;
  engine::ThreatDatabase db;
  db.SetText(std::move(text));
  engine::RuleWalker walker(db, roots);
  engine::RulePass pass;
  while (walker.Next(pass)) {
    const auto& r = pass.rule;
    out << engine::RuleKindName(r.Kind()) << '\t' << r.name << '\t' << r.hash << '\t' << r.dir
        << '\t' << r.file << '\t' << (r.noProcessLookup ? '1' : '0') << '\n';
  }
  return 0;
}

}  // namespace

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.empty()) {
    err << kUsage;
    return 2;
  }
  const std::string& cmd = args[0];
  if (cmd == "pack") return Pack(args, err);
  if (cmd == "unpack") {
    if (args.size() != 3) {
      err << kUsage;
      return 2;
    }
    std::string text;
    if (!Unpack(args[1], text, err)) return 1;
    return WriteFile(args[2], text, err) ? 0 : 1;
  }
  if (cmd == "rules") return Rules(args, out, err);
  err << "kvxdb: unknown command \"" << cmd << "\"\n" << kUsage;
  return 2;
}

}  // namespace kvxdb
