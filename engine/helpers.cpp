#include "engine/helpers.h"

#include <gcrypt.h>

#include <algorithm>
#include <array>
#include <memory>

#include "engine/gcrypt_init.h"
#include "engine/protected_places.h"
#include "platform/text.h"

namespace engine {
namespace {

constexpr std::string_view kAlphabet = "abcdefghijklmnoprsqtuvwxyz";

std::string Hex(const unsigned char* d, size_t n) {
  static const char* kDigits = "0123456789abcdef";
  std::string s(n * 2, '0');
  for (size_t i = 0; i < n; ++i) {
    s[2 * i] = kDigits[d[i] >> 4];
    s[2 * i + 1] = kDigits[d[i] & 15];
  }
  return s;
}

// MD5 of no data: what a file that cannot be read whole gives.
constexpr const char* kNoDataMd5 = "d41d8cd98f00b204e9800998ecf8427e";
constexpr const char* kNoDataSha256 = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";

void ReplaceAll(std::string& s, std::string_view from, std::string_view to) {
  for (size_t pos = 0; (pos = s.find(from, pos)) != std::string::npos; pos += to.size())
    s.replace(pos, from.size(), to);
}

}  // namespace

// A digest that could not be set up adds nothing and reads as the digest of
// no data.
Digest::Digest(Kind kind) : kind_(kind) {
  InitGcrypt();
  if (gcry_md_open(&h_, kind == Kind::Md5 ? GCRY_MD_MD5 : GCRY_MD_SHA256, 0) != 0) h_ = nullptr;
}
Digest::~Digest() {
  if (h_) gcry_md_close(h_);
}
void Digest::Add(const void* d, std::size_t n) {
  if (h_) gcry_md_write(h_, d, n);
}
void Digest::Reset() {
  if (h_) gcry_md_reset(h_);
}
std::string Digest::Hex() {
  const bool md5 = kind_ == Kind::Md5;
  const unsigned char* d = h_ ? gcry_md_read(h_, md5 ? GCRY_MD_MD5 : GCRY_MD_SHA256) : nullptr;
  if (d) return engine::Hex(d, md5 ? 16 : 32);
  return md5 ? kNoDataMd5 : kNoDataSha256;
}

bool IsValidFile(platform::FileSystem& fs, std::string_view path) {
  // Wildcards would make the directory search match other files, and Windows
  // drops trailing blanks, dots and separators: such a text names another file.
  if (path.empty() || std::string_view(" ./\\").find(path.back()) != std::string_view::npos)
    return false;
  for (char c : path)
    if (c == '*' || c == '?' || c == '<' || c == '>' || c == '"') return false;
  platform::FindData d;
  platform::Status error = platform::kOk;
  if (auto h = fs.FindFirst(path, d, &error); h && !d.IsDirectory() && d.lastWriteIsDosTime)
    return true;
  // What a directory search reports missing cannot be opened either; the
  // open is for entries the search cannot see.
  if (error == platform::kFileNotFound || error == platform::kPathNotFound) return false;
  auto f = fs.Open(path, platform::OpenMode::Read);
  return f && f->Size() > 10;
}

std::uint64_t FileSizeOf(platform::FileSystem& fs, std::string_view path) {
  auto f = fs.Open(path, platform::OpenMode::Read);
  return f ? f->Size() : 0;
}

std::string Md5Hex(std::string_view bytes) {
  Md5 md5;
  md5.Add(bytes.data(), bytes.size());
  return md5.Hex();
}

std::string FileMd5(platform::FileSystem& fs, std::string_view path) {
  return ReadFileMd5(fs, path).value_or(kNoDataMd5);
}

std::optional<std::string> ReadFileMd5(platform::FileSystem& fs, std::string_view path) {
  // Chunked reads beat a mapping here (see bench/md5_bench) and digest the same bytes.
  auto f = fs.Open(path, platform::OpenMode::Read);
  if (!f) return std::nullopt;
  const std::uint64_t size = f->Size();
  Md5 md5;
  // Sized for the file, and not cleared: the scans hash many small files.
  const std::size_t chunk = static_cast<std::size_t>(std::clamp<std::uint64_t>(size, 4096, 256 * 1024));
  const auto buf = std::make_unique_for_overwrite<char[]>(chunk);
  std::uint64_t total = 0;
  while (size_t n = f->Read(buf.get(), chunk)) {
    md5.Add(buf.get(), n);
    total += n;
  }
  // A read that fails midway ends the loop early: part of a file is not it.
  if (total != size) return std::nullopt;
  return md5.Hex();
}

std::string ResolvePath(platform::FileSystem& fs, std::string_view input) {
  const std::string sysDir = fs.SystemDirectory();
  const std::string winDir = fs.WindowsDirectory();
  std::string text(input);
  while (!text.empty()) {
    std::string t = platform::LowerCase(text);
    ReplaceAll(t, "%systemroot%", sysDir);
    ReplaceAll(t, "%systemdir%", sysDir);
    ReplaceAll(t, "%windir%", winDir);
    ReplaceAll(t, "%winroot%", winDir);
    t.erase(std::remove(t.begin(), t.end(), '"'), t.end());

    if (IsValidFile(fs, sysDir + "\\" + t)) t = sysDir + "\\" + t;
    if (IsValidFile(fs, winDir + "\\" + t)) t = winDir + "\\" + t;
    if (IsValidFile(fs, t)) return platform::LowerCase(t);

    auto pos = t.find(":\\");
    if (pos == std::string::npos) return {};
    t = t.substr(pos == 0 ? 0 : pos - 1);
    if (IsValidFile(fs, t)) return platform::LowerCase(t);
    t.pop_back();
    text = std::move(t);
  }
  return {};
}

int CountFields(std::string_view text, char delimiter) {
  const char d = platform::LowerChar(delimiter);
  return static_cast<int>(std::count_if(text.begin(), text.end(),
                                        [&](char c) { return platform::LowerChar(c) == d; }));
}

std::string GetField(std::string_view text, int index, char delimiter) {
  const char d = platform::LowerChar(delimiter);
  size_t start = 0;
  int k = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (platform::LowerChar(text[i]) != d) continue;
    if (k == index) return std::string(text.substr(start, i - start));
    ++k;
    start = i + 1;
  }
  return {};
}

std::string LettersOf(std::string_view text) {
  std::string out;
  for (char c : text)
    if (kAlphabet.find(c) != std::string_view::npos) out += c;
  return out;
}

std::string DigitsOf(std::string_view text) {
  std::string out;
  for (char c : text)
    if (c >= '0' && c <= '9') out += c;
  return out;
}

int LetterPosition(char letter) {
  auto pos = kAlphabet.find(letter);
  return pos == std::string_view::npos ? 0 : static_cast<int>(pos) + 1;
}

std::string LetterAt(int position) {
  if (position < 1 || position > 25) return {};
  return std::string(1, kAlphabet[position - 1]);
}

std::vector<RunningProcess> ListRunningProcesses(platform::Machine& machine) {
  std::vector<RunningProcess> out;
  auto& procs = machine.Procs();
  auto v = machine.Sys().Version();
  const bool nt = v && v->platformId == 2;
  if (nt && v->major <= 4) {
    // NT 3.x and 4.0 have no Tool Help: ask the process status interface.
    const std::uint32_t systemPid = v->major == 4 ? 8 : 2;
    auto ids = procs.EnumerateIds();
    if (ids.size() > 1025) ids.resize(1025);
    for (auto pid : ids) {
      if (pid == 0)
        out.push_back({"System Idle Process", pid});
      else if (pid == systemPid)
        out.push_back({"System Process", pid});
      else if (auto path = procs.MainModulePath(pid))
        out.push_back({*path, pid});
    }
    return out;
  }
  for (const auto& e : procs.Snapshot()) {
    if (e.pid == 0) {
      out.push_back({"System Idle Process", e.pid});
    } else if (nt) {
      auto path = procs.MainModulePath(e.pid);
      out.push_back({path ? *path : e.exeFile, e.pid});
    } else {
      out.push_back({e.exeFile, e.pid});  // a full path on 9x
    }
  }
  return out;
}

namespace {

// Ends the processes named `name`; with `from` given, a shell program's name
// ends only those running from there.
Termination EndProcesses(platform::Machine& machine, std::string_view name, std::string_view from) {
  auto& procs = machine.Procs();
  const auto self = procs.CurrentPid();
  const bool shellName = IsShellProgramName(name);
  const auto fromPath = from.empty() ? std::nullopt : NormalizeLocalPath(from);
  std::optional<std::vector<std::string>> shellFolders;
  Termination out;
  bool any = false;
  for (const auto& e : procs.Snapshot()) {
    if (e.pid == 0 || e.pid == self) continue;
    if (!platform::SameText(platform::ExtractFileName(e.exeFile), name) &&
        !platform::SameText(e.exeFile, name))
      continue;
    // Where its program lies: its main module, else the snapshot's text (a
    // full path on 9x).
    const auto image = NormalizeLocalPath(procs.MainModulePath(e.pid).value_or(e.exeFile));
    const bool fromThere = fromPath && image && platform::SameText(*image, *fromPath);
    if (shellName) {
      if (!image) continue;
      if (!shellFolders) shellFolders = ShellProgramFolders(machine.Files());
      if (IsProtectedShellProgram(*shellFolders, *image)) continue;
      if (!from.empty() && !fromThere) continue;
    }
    const bool ok = procs.Terminate(e.pid, 0) == platform::kOk;
    any = any || ok;
    out.result = ok ? 1 : (any ? 0 : -1);
    out.ownPath = out.ownPath || (ok && fromThere);
  }
  return out;
}

}  // namespace

int TerminateProcessesByName(platform::Machine& machine, std::string_view name) {
  return EndProcesses(machine, name, {}).result;
}

Termination TerminateProgramsOf(platform::Machine& machine, std::string_view path) {
  return EndProcesses(machine, platform::ExtractFileName(path), path);
}

}  // namespace engine
