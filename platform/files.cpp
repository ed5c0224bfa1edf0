#include "platform/files.h"

#include <new>
#include <vector>

#include "platform/text.h"

#include "platform/text.h"

namespace platform {

Status ReadWholeFile(FileSystem& fs, std::string_view path, std::string& out,
                     std::uint64_t maxBytes) {
  Status err = kOk;
  auto f = fs.Open(path, OpenMode::Read, &err);
  if (!f) return err ? err : kFileNotFound;
  const std::uint64_t size = f->Size();
  if (size > maxBytes || size > std::string().max_size()) return kFileTooLarge;
  std::string bytes;
  try {
    bytes.resize(static_cast<std::size_t>(size));
  } catch (const std::bad_alloc&) {
    return kNotEnoughMemory;
  }
  std::size_t got = 0;
  while (got < bytes.size()) {
    std::size_t n = f->Read(bytes.data() + got, bytes.size() - got);
    if (n == 0) return kHandleEof;  // a read error midway: never a shorter file
    got += n;
  }
  out = std::move(bytes);
  return kOk;
}

Status WriteWholeFile(FileSystem& fs, std::string_view path, std::string_view bytes) {
  Status err = kOk;
  auto f = fs.Open(path, OpenMode::Write, &err);
  if (!f) return err ? err : kAccessDenied;
  Status s = f->Write(bytes.data(), bytes.size());
  if (s == kOk) s = f->Flush();
  return s;
}

std::string ReplacementTempPath(std::string_view path) {
  return std::string(path) + ".kvxnew";
}

Status WriteFileReplacing(FileSystem& fs, std::string_view path, std::string_view bytes) {
  const std::string temp = ReplacementTempPath(path);
  Status s = WriteWholeFile(fs, temp, bytes);
  if (s == kOk) s = fs.ReplaceFile(temp, path);
  if (s != kOk) fs.DeleteFile(temp);
  return s;
}

Status ForceDirectories(FileSystem& fs, std::string_view folder) {
  const std::string path = ExcludeTrailingBackslash(folder);
  if (path.empty() || DirectoryExists(fs, path)) return kOk;
  const std::string parent = ExcludeTrailingBackslash(ExtractFilePath(path));
  if (parent.size() < path.size() && !parent.empty())
    if (Status s = ForceDirectories(fs, parent); s != kOk) return s;
  const Status s = fs.CreateDirectory(path);
  return s == kOk || DirectoryExists(fs, path) ? kOk : s;
}

bool FileExists(FileSystem& fs, std::string_view path) {
  auto a = fs.GetAttributes(path);
  return a != FileSystem::kInvalidAttributes && !(a & fileattr::kDirectory);
}

bool DirectoryExists(FileSystem& fs, std::string_view path) {
  auto a = fs.GetAttributes(path);
  return a != FileSystem::kInvalidAttributes && (a & fileattr::kDirectory);
}

bool ListedFind::Next(FindData& out) {
  if (next_ >= entries_.size()) return false;
  out = std::move(entries_[next_++]);
  return true;
}

std::string NormalizePath(std::string_view winPath) {
  // The "A" functions take a C string: a path ends at its first NUL.
  winPath = winPath.substr(0, winPath.find('\0'));
  if (winPath.size() < 2 || winPath[1] != ':' ||
      !((winPath[0] >= 'A' && winPath[0] <= 'Z') || (winPath[0] >= 'a' && winPath[0] <= 'z')))
    return {};
  // One pass, no list of names: every file look-up of a scan comes here.
  std::string out;
  out.reserve(winPath.size() + 1);
  out += UpperChar(winPath[0]);
  out += ':';
  std::size_t i = 2;
  while (i <= winPath.size()) {
    std::size_t end = i;
    while (end < winPath.size() && winPath[end] != '\\' && winPath[end] != '/') ++end;
    std::string_view part = winPath.substr(i, end - i);
    i = end + 1;
    // Windows drops trailing dots and blanks of a component.
    while (!part.empty() && (part.back() == '.' || part.back() == ' ') && part != "." && part != "..")
      part.remove_suffix(1);
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (out.size() > 2) out.resize(out.rfind('\\'));
      continue;
    }
    out += '\\';
    out += part;
  }
  if (out.size() == 2) out += '\\';
  return out;
}

bool IsDosRepresentable(FileTime t) {
  // 1980-01-01 00:00:00 and 2107-12-31 23:59:59 in FILETIME ticks.
  constexpr FileTime kFirst = 119600064000000000ULL;
  constexpr FileTime kLast = 159992927999999999ULL;
  return t >= kFirst && t <= kLast;
}

}  // namespace platform
