#include <algorithm>
#include <chrono>
#include <cstdio>
#include <system_error>

#include <dirent.h>
#include <sys/stat.h>

#include "platform/sim/sim_machine.h"
#include "platform/text.h"

namespace fs = std::filesystem;

namespace platform::sim {
namespace {

// FILETIME ticks of the Unix epoch.
constexpr std::int64_t kUnixEpochTicks = 116444736000000000LL;

fs::file_time_type FromFileTime(FileTime t) {
  std::chrono::duration<std::int64_t, std::ratio<1, 10000000>> d(static_cast<std::int64_t>(t) -
                                                                 kUnixEpochTicks);
  std::chrono::sys_time<std::chrono::nanoseconds> sys(
      std::chrono::duration_cast<std::chrono::nanoseconds>(d));
  return std::chrono::file_clock::from_sys(sys);
}

class SimFile final : public File {
 public:
  // writeLimit: bytes this handle may write before the disk is "full";
  // readLimit: bytes it may read before the disk fails.
  SimFile(std::FILE* f, std::uint64_t writeLimit, std::uint64_t readLimit)
      : f_(f), writeLimit_(writeLimit), readLimit_(readLimit) {}
  ~SimFile() override { std::fclose(f_); }
  std::size_t Read(void* buffer, std::size_t n) override {
    const std::size_t got =
        std::fread(buffer, 1, static_cast<std::size_t>(std::min<std::uint64_t>(n, readLimit_)), f_);
    readLimit_ -= got;
    return got;
  }
  Status Write(const void* buffer, std::size_t n) override {
    constexpr Status kDiskFull = 112;  // ERROR_DISK_FULL
    if (n > writeLimit_ - written_) {
      std::fwrite(buffer, 1, static_cast<std::size_t>(writeLimit_ - written_), f_);
      written_ = writeLimit_;
      return kDiskFull;
    }
    written_ += n;
    return std::fwrite(buffer, 1, n, f_) == n ? kOk : kDiskFull;
  }
  Status Flush() override { return std::fflush(f_) == 0 ? kOk : 112; }
  std::uint64_t Size() override {
    long pos = std::ftell(f_);
    std::fseek(f_, 0, SEEK_END);
    long size = std::ftell(f_);
    std::fseek(f_, pos, SEEK_SET);
    return size < 0 ? 0 : static_cast<std::uint64_t>(size);
  }
  Status Seek(std::uint64_t position) override {
    return std::fseek(f_, static_cast<long>(position), SEEK_SET) == 0 ? kOk : kInvalidParameter;
  }

 private:
  std::FILE* f_;
  std::uint64_t writeLimit_;
  std::uint64_t readLimit_;
  std::uint64_t written_ = 0;
};

class SimView final : public MappedView {
 public:
  explicit SimView(std::string bytes) : bytes_(std::move(bytes)) {}
  const unsigned char* Data() const override {
    return reinterpret_cast<const unsigned char*>(bytes_.data());
  }
  std::size_t Size() const override { return bytes_.size(); }

 private:
  std::string bytes_;
};

void Set(Status* error, Status s) {
  if (error) *error = s;
}

}  // namespace

std::string SimFileSystem::LowerCaseKey(std::string_view s) { return LowerCase(s); }

std::string SimFileSystem::Normalize(std::string_view winPath) { return NormalizePath(winPath); }

void SimFileSystem::MapDrive(char letter, const fs::path& hostRoot) {
  fs::create_directories(hostRoot);
  drives_[UpperChar(letter)] = hostRoot;
}

fs::path SimFileSystem::HostPath(std::string_view winPath) { return HostPath(winPath, nullptr); }

std::string SimFileSystem::MatchName(const std::string& folder, const std::string& name,
                                     bool* isFolder) {
  struct stat st {};
  const bool dir = ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  if (isFolder) *isFolder = dir;
  if (!dir) return {};
  auto& names = folderNames_[folder];
  const auto stamp = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  if (names.stamp != stamp) {
    names.byLowerName.clear();
    names.stamp = stamp;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec))
      names.byLowerName.emplace(LowerCase(e.path().filename().string()), e.path().filename().string());
  }
  auto it = names.byLowerName.find(LowerCase(name));
  return it == names.byLowerName.end() ? std::string() : it->second;
}

fs::path SimFileSystem::HostPath(std::string_view winPath, Found* found) {
  if (found) *found = Found::Unknown;
  std::string norm = Normalize(winPath);
  if (norm.empty()) return {};
  auto drive = drives_.find(norm[0]);
  if (drive == drives_.end()) return {};
  fs::path host = drive->second;
  if (norm.size() <= 3) return host;
  // Most names are written as they exist: one look settles it, and for a
  // missing file a second look at its folder.
  {
    std::string exact = host.string();
    for (size_t k = 2; k < norm.size(); ++k) exact += norm[k] == '\\' ? '/' : norm[k];
    struct stat st {};
    if (::lstat(exact.c_str(), &st) == 0) {
      if (found) *found = Found::Exists;
      return fs::path(exact);
    }
    const auto slash = exact.rfind('/');
    if (slash != std::string::npos && slash >= host.string().size()) {
      const std::string folder = exact.substr(0, slash), leaf = exact.substr(slash + 1);
      bool isFolder = false;
      const std::string name = MatchName(folder, leaf, &isFolder);
      if (isFolder) {
        if (found) *found = name.empty() ? Found::MissingInFolder : Found::Unknown;
        return fs::path(folder) / (name.empty() ? leaf : name);
      }
    }
  }
  size_t i = 3;
  bool missing = false;  // below a missing folder nothing exists to match
  while (i < norm.size()) {
    size_t end = norm.find('\\', i);
    if (end == std::string::npos) end = norm.size();
    std::string part = norm.substr(i, end - i);
    i = end + 1;
    std::error_code ec;
    if (missing || fs::exists(host / part, ec)) {
      host /= part;
      continue;
    }
    // Windows names ignore letter case: match what exists.
    fs::path match;
    if (const std::string name = MatchName(host.string(), part); !name.empty()) match = host / name;
    missing = match.empty();
    host = match.empty() ? host / part : match;
  }
  return host;
}

std::uint32_t SimFileSystem::StoredAttributes(const std::string& key) const {
  if (attributes_.empty()) return fileattr::kArchive;
  auto it = attributes_.find(key);
  return it == attributes_.end() ? fileattr::kArchive : it->second;
}

bool SimFileSystem::IsLocked(std::string_view path) { return locked_.count(Key(path)) > 0; }

bool SimFileSystem::InDeniedFolder(std::string_view path) {
  const std::string key = Key(path);
  for (const auto& folder : denied_)
    if (key.size() > folder.size() && key.compare(0, folder.size(), folder) == 0 &&
        key[folder.size()] == '\\')
      return true;
  return false;
}

std::unique_ptr<FindHandle> SimFileSystem::FindFirst(std::string_view pattern, FindData& first,
                                                     Status* error) {
  Set(error, kOk);
  std::string norm = Normalize(pattern);
  if (norm.empty()) {
    Set(error, kPathNotFound);
    return nullptr;
  }
  std::string folder = ExtractFilePath(norm);
  std::string mask = ExtractFileName(norm);
  const bool plain = mask.find_first_of("*?") == std::string::npos;
  Found known = Found::Unknown;
  fs::path one = plain ? HostPath(norm, &known) : fs::path();
  if (known == Found::MissingInFolder) {
    Set(error, kFileNotFound);
    return nullptr;
  }
  fs::path dir = known == Found::Exists ? one.parent_path() : HostPath(folder);
  std::error_code ec;
  if (known != Found::Exists && (dir.empty() || !fs::is_directory(dir, ec))) {
    Set(error, kPathNotFound);
    return nullptr;
  }
  std::vector<FindData> entries;
  // One stat per entry, as a directory listing costs on Windows. A host
  // symbolic link stands for a junction or link: it carries the reparse
  // flag, and its type is that of its target.
  auto add = [&](const std::string& name, const std::string& host) {
    if (!MatchesMask(name, mask)) return;
    FindData d;
    d.name = name;
    struct stat st {};
    const bool link = ::lstat(host.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
    if (link && ::stat(host.c_str(), &st) != 0) st = {};
    const bool isDir = S_ISDIR(st.st_mode);
    d.attributes = isDir || attributes_.empty()
                       ? (isDir ? fileattr::kDirectory : fileattr::kArchive)
                       : StoredAttributes(LowerCaseKey(Normalize(folder + name)));
    if (link) d.attributes |= fileattr::kReparsePoint;
    if (!isDir) d.size = static_cast<std::uint64_t>(st.st_size);
    d.lastWrite = static_cast<FileTime>(
        static_cast<std::int64_t>(st.st_mtim.tv_sec) * 10000000 + st.st_mtim.tv_nsec / 100 +
        kUnixEpochTicks);
    d.lastWriteIsDosTime = IsDosRepresentable(d.lastWrite);  // the simulated machine runs on UTC
    entries.push_back(std::move(d));
  };
  // Names in the order NTFS lists them (by letters, case ignored), each with
  // its lower-case key.
  struct Name {
    std::string key, name;
  };
  std::vector<Name> names;
  if (mask.find_first_of("*?") == std::string::npos) {
    // A plain name finds that entry alone.
    if (known == Found::Exists || fs::exists(one, ec)) names.push_back({{}, one.filename().string()});
  } else {
    if (folder.size() > 3) {  // not a drive root: "." and ".." come first, as on NTFS
      add(".", dir.string());
      add("..", dir.parent_path().string());
    }
    if (DIR* listing = ::opendir(dir.c_str())) {
      while (const dirent* e = ::readdir(listing)) {
        std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        names.push_back({LowerCase(name), std::move(name)});
      }
      ::closedir(listing);
    }
    std::sort(names.begin(), names.end(), [](const Name& a, const Name& b) {
      return a.key != b.key ? a.key < b.key : a.name < b.name;
    });
  }
  entries.reserve(entries.size() + names.size());
  std::string host = dir.string() + '/';
  const std::size_t stem = host.size();
  for (const auto& n : names) {
    host.resize(stem);
    host += n.name;
    add(n.name, host);
  }
  if (entries.empty()) {
    Set(error, kFileNotFound);
    return nullptr;
  }
  first = entries.front();
  return std::make_unique<ListedFind>(std::move(entries));
}

std::vector<std::string> SimFileSystem::LogicalDrives() {
  std::vector<std::string> roots;
  for (const auto& [letter, host] : drives_) roots.push_back(std::string(1, letter) + ":\\");
  return roots;
}

std::uint32_t SimFileSystem::DriveType(std::string_view root) {
  if (root.empty() || !drives_.count(UpperDrive(root[0]))) return 1;  // DRIVE_NO_ROOT_DIR
  auto it = driveTypes_.find(UpperDrive(root[0]));
  return it == driveTypes_.end() ? kDriveFixed : it->second;
}

std::unique_ptr<File> SimFileSystem::Open(std::string_view path, OpenMode mode, Status* error) {
  Set(error, kOk);
  fs::path host = HostPath(path);
  std::error_code ec;
  if (host.empty() || !fs::is_directory(host.parent_path(), ec)) {
    Set(error, kPathNotFound);
    return nullptr;
  }
  if (fs::is_directory(host, ec)) {
    Set(error, kAccessDenied);
    return nullptr;
  }
  bool exists = fs::exists(host, ec);
  if (mode != OpenMode::Write && !exists) {
    Set(error, kFileNotFound);
    return nullptr;
  }
  if (mode != OpenMode::Read) {
    if (InDeniedFolder(path)) {
      Set(error, kAccessDenied);
      return nullptr;
    }
    if (IsLocked(path) || processes_.IsRunningImage(path)) {
      Set(error, kSharingViolation);
      return nullptr;
    }
    if (exists && (StoredAttributes(Key(path)) & fileattr::kReadOnly)) {
      Set(error, kAccessDenied);
      return nullptr;
    }
  } else if (IsLocked(path)) {
    Set(error, kSharingViolation);
    return nullptr;
  }
  const char* m = mode == OpenMode::Read ? "rb" : mode == OpenMode::Write ? "wb" : "r+b";
  std::FILE* f = std::fopen(host.c_str(), m);
  if (!f) {
    Set(error, kAccessDenied);
    return nullptr;
  }
  const std::string key = Key(path);
  auto limitOf = [&](const std::map<std::string, std::uint64_t>& failures) {
    std::uint64_t limit = UINT64_MAX;
    for (auto& [prefix, bytes] : failures)
      if (key.compare(0, prefix.size(), prefix) == 0) limit = std::min(limit, bytes);
    return limit;
  };
  return std::make_unique<SimFile>(f, mode == OpenMode::Read ? UINT64_MAX : limitOf(failWrites_),
                                   limitOf(failReads_));
}

std::unique_ptr<MappedView> SimFileSystem::MapReadOnly(std::string_view path, Status* error) {
  std::string bytes;
  Status s = ReadWholeFile(*this, path, bytes);
  Set(error, s);
  if (s != kOk) return nullptr;
  return std::make_unique<SimView>(std::move(bytes));
}

Status SimFileSystem::CopyFile(std::string_view from, std::string_view to, bool failIfExists) {
  fs::path src = HostPath(from), dst = HostPath(to);
  std::error_code ec;
  if (src.empty() || !fs::is_regular_file(src, ec)) return kFileNotFound;
  if (IsLocked(from)) return kSharingViolation;
  if (dst.empty() || !fs::is_directory(dst.parent_path(), ec)) return kPathNotFound;
  if (InDeniedFolder(to)) return kAccessDenied;
  if (fs::exists(dst, ec)) {
    if (failIfExists) return kFileExists;
    if (fs::is_directory(dst, ec)) return kAccessDenied;
    if (StoredAttributes(Key(to)) & fileattr::kReadOnly) return kAccessDenied;
    if (IsLocked(to) || processes_.IsRunningImage(to)) return kSharingViolation;
  }
  fs::copy_file(src, dst, fs::copy_options::overwrite_existing, ec);
  if (ec) return kAccessDenied;
  attributes_[Key(to)] = StoredAttributes(Key(from)) | fileattr::kArchive;
  return kOk;
}

Status SimFileSystem::ReplaceFile(std::string_view from, std::string_view to) {
  fs::path src = HostPath(from), dst = HostPath(to);
  std::error_code ec;
  if (src.empty() || !fs::is_regular_file(src, ec)) return kFileNotFound;
  if (dst.empty() || !fs::is_directory(dst.parent_path(), ec)) return kPathNotFound;
  if (fs::is_directory(dst, ec)) return kAccessDenied;
  if (InDeniedFolder(from) || InDeniedFolder(to)) return kAccessDenied;
  if (IsLocked(from) || IsLocked(to) || processes_.IsRunningImage(to)) return kSharingViolation;
  if (fs::exists(dst, ec) && (StoredAttributes(Key(to)) & fileattr::kReadOnly)) return kAccessDenied;
  fs::rename(src, dst, ec);
  if (ec) return kAccessDenied;
  auto it = attributes_.find(Key(from));
  attributes_.erase(Key(to));
  if (it != attributes_.end()) {
    auto a = it->second;
    attributes_.erase(it);
    attributes_[Key(to)] = a;
  }
  return kOk;
}

Status SimFileSystem::MoveFile(std::string_view from, std::string_view to) {
  fs::path src = HostPath(from), dst = HostPath(to);
  std::error_code ec;
  if (src.empty() || !fs::exists(src, ec)) return kFileNotFound;
  if (dst.empty() || !fs::is_directory(dst.parent_path(), ec)) return kPathNotFound;
  if (fs::exists(dst, ec) && !SameText(Normalize(from), Normalize(to))) return kAlreadyExists;
  if (InDeniedFolder(from) || InDeniedFolder(to)) return kAccessDenied;
  if (IsLocked(from)) return kSharingViolation;
  fs::rename(src, dst, ec);
  if (ec) return kAccessDenied;
  auto it = attributes_.find(Key(from));
  if (it != attributes_.end()) {
    auto a = it->second;
    attributes_.erase(it);
    attributes_[Key(to)] = a;
  }
  return kOk;
}

Status SimFileSystem::DeleteFile(std::string_view path) {
  fs::path host = HostPath(path);
  std::error_code ec;
  if (host.empty() || !fs::is_directory(host.parent_path(), ec)) return kPathNotFound;
  if (!fs::exists(host, ec)) return kFileNotFound;
  if (fs::is_directory(host, ec)) return kAccessDenied;
  if (StoredAttributes(Key(path)) & fileattr::kReadOnly) return kAccessDenied;
  if (InDeniedFolder(path)) return kAccessDenied;
  if (processes_.IsRunningImage(path)) return kAccessDenied;
  if (IsLocked(path)) return kSharingViolation;
  fs::remove(host, ec);
  if (ec) return kAccessDenied;
  attributes_.erase(Key(path));
  return kOk;
}

std::uint32_t SimFileSystem::GetAttributes(std::string_view path) {
  fs::path host = HostPath(path);
  std::error_code ec;
  if (host.empty() || !fs::exists(host, ec)) return kInvalidAttributes;
  if (fs::is_directory(host, ec)) return fileattr::kDirectory;
  return StoredAttributes(Key(path));
}

Status SimFileSystem::SetAttributes(std::string_view path, std::uint32_t attributes) {
  fs::path host = HostPath(path);
  std::error_code ec;
  if (host.empty() || !fs::exists(host, ec)) return kFileNotFound;
  if (fs::is_directory(host, ec)) return kOk;
  attributes &= fileattr::kReadOnly | fileattr::kHidden | fileattr::kSystem | fileattr::kArchive;
  // FILE_ATTRIBUTE_NORMAL alone, or nothing, reads back as NORMAL.
  attributes_[Key(path)] = attributes ? attributes : fileattr::kNormal;
  return kOk;
}

Status SimFileSystem::SetLastWriteTime(std::string_view path, FileTime time) {
  fs::path host = HostPath(path);
  std::error_code ec;
  if (host.empty() || !fs::exists(host, ec)) return kFileNotFound;
  fs::last_write_time(host, FromFileTime(time), ec);
  return ec ? kAccessDenied : kOk;
}

Status SimFileSystem::CreateDirectory(std::string_view path) {
  fs::path host = HostPath(path);
  std::error_code ec;
  if (host.empty() || !fs::is_directory(host.parent_path(), ec)) return kPathNotFound;
  if (fs::exists(host, ec)) return kAlreadyExists;
  if (InDeniedFolder(path)) return kAccessDenied;
  return fs::create_directory(host, ec) ? kOk : kAccessDenied;
}

Status SimFileSystem::RemoveDirectory(std::string_view path) {
  fs::path host = HostPath(path);
  std::error_code ec;
  if (host.empty() || !fs::exists(host, ec)) return kFileNotFound;
  if (!fs::is_directory(host, ec)) return 267;  // ERROR_DIRECTORY
  if (!fs::is_empty(host, ec)) return kDirNotEmpty;
  if (InDeniedFolder(path)) return kAccessDenied;
  fs::remove(host, ec);
  return ec ? kAccessDenied : kOk;
}

}  // namespace platform::sim
