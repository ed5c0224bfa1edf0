#pragma once
// Small helpers every scanning and managing part rests on. None shows a
// message: errors become an empty text, false or 0.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/machine.h"

struct gcry_md_handle;  // libgcrypt's digest

namespace engine {

// Exists as a file: found by a directory search with an ordinary time stamp,
// or else readable and larger than 10 bytes.
bool IsValidFile(platform::FileSystem& fs, std::string_view path);
std::uint64_t FileSizeOf(platform::FileSystem& fs, std::string_view path);
// 32 lower-case hex digits; the digest of no data when the file cannot be read.
std::string FileMd5(platform::FileSystem& fs, std::string_view path);
// The MD5 text of the file's whole content; nullopt when it cannot be read
// whole. Whatever compares files by their digest uses this: the digest of no
// data stands for an empty file, never for one that could not be read.
std::optional<std::string> ReadFileMd5(platform::FileSystem& fs, std::string_view path);
std::string Md5Hex(std::string_view bytes);

// A digest over data given piece by piece, in lower-case hex.
class Digest {
 public:
  enum class Kind { Md5, Sha256 };
  explicit Digest(Kind kind);
  ~Digest();
  Digest(const Digest&) = delete;
  Digest& operator=(const Digest&) = delete;
  void Add(const void* data, std::size_t n);
  std::string Hex();
  void Reset();  // to hash other data, as a new digest would

 private:
  Kind kind_;
  ::gcry_md_handle* h_ = nullptr;
};

class Md5 : public Digest {
 public:
  Md5() : Digest(Kind::Md5) {}
};

class Sha256 : public Digest {
 public:
  Sha256() : Digest(Kind::Sha256) {}
};

// A command line, registry text or inventory entry to the longest leading
// path that names a valid file, in lower case; empty when there is none.
std::string ResolvePath(platform::FileSystem& fs, std::string_view text);

// Delimiter-closed fields: "a;b;" has two fields, "a;b" one.
int CountFields(std::string_view text, char delimiter);
std::string GetField(std::string_view text, int index, char delimiter);

std::string LettersOf(std::string_view text);
std::string DigitsOf(std::string_view text);
int LetterPosition(char letter);
std::string LetterAt(int position);

struct RunningProcess {
  std::string path;  // full path, or a pseudo-process name
  std::uint32_t pid;
};
std::vector<RunningProcess> ListRunningProcesses(platform::Machine& machine);

// Terminates every process whose executable is `name`: 1 when the last
// attempt succeeded, 0 when it failed after an earlier success, -1 when none
// succeeded or none matched. A Windows shell program (explorer.exe, ...)
// running from the Windows or system folder is never ended, nor one of that
// name whose program cannot be located.
int TerminateProcessesByName(platform::Machine& machine, std::string_view name);

// The programs of a finding ended by its file name, as above; a finding that
// bears a shell program's name ends only the processes running from `path`
// itself. `ownPath` tells whether a process running from `path` was ended.
struct Termination {
  int result = -1;
  bool ownPath = false;
};
Termination TerminateProgramsOf(platform::Machine& machine, std::string_view path);

}  // namespace engine
