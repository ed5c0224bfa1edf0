#include "platform/files.h"

namespace platform {

Status ReadWholeFile(FileSystem& fs, std::string_view path, std::string& out) {
  Status err = kOk;
  auto f = fs.Open(path, OpenMode::Read, &err);
  if (!f) return err ? err : kFileNotFound;
  out.clear();
  out.resize(static_cast<size_t>(f->Size()));
  size_t got = 0;
  while (got < out.size()) {
    size_t n = f->Read(out.data() + got, out.size() - got);
    if (n == 0) break;
    got += n;
  }
  out.resize(got);
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

bool FileExists(FileSystem& fs, std::string_view path) {
  auto a = fs.GetAttributes(path);
  return a != FileSystem::kInvalidAttributes && !(a & fileattr::kDirectory);
}

bool DirectoryExists(FileSystem& fs, std::string_view path) {
  auto a = fs.GetAttributes(path);
  return a != FileSystem::kInvalidAttributes && (a & fileattr::kDirectory);
}

bool IsDosRepresentable(FileTime t) {
  // 1980-01-01 00:00:00 and 2107-12-31 23:59:59 in FILETIME ticks.
  constexpr FileTime kFirst = 119600064000000000ULL;
  constexpr FileTime kLast = 159992927999999999ULL;
  return t >= kFirst && t <= kLast;
}

}  // namespace platform
