#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <system_error>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/descriptor_file.h"
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

std::int64_t Nanoseconds(const struct timespec& t) {
  return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// A file opened for writing (or reading and writing), buffered.
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

// A file opened for reading: straight reads of the descriptor, as ReadFile
// reads a handle, with nothing buffered in between.
class SimReadFile final : public DescriptorFile {
 public:
  SimReadFile(int fd, std::uint64_t readLimit) : DescriptorFile(fd), readLimit_(readLimit) {}
  std::size_t Read(void* buffer, std::size_t n) override {
    n = static_cast<std::size_t>(std::min<std::uint64_t>(n, readLimit_));
    std::size_t total = 0;
    while (total < n) {
      const ssize_t got = ::read(fd_, static_cast<char*>(buffer) + total, n - total);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) break;
      total += static_cast<std::size_t>(got);
    }
    readLimit_ -= total;
    return total;
  }
  Status Write(const void*, std::size_t) override { return kAccessDenied; }

 private:
  std::uint64_t readLimit_;
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

// The folder part of a normalised path ("C:\a\b" gives "C:\a", "C:\a" gives
// "C:\") and its last part.
std::string_view FolderOf(std::string_view norm) {
  const auto sep = norm.rfind('\\');
  return norm.substr(0, sep <= 2 ? 3 : sep);
}

}  // namespace

std::string SimFileSystem::LowerCaseKey(std::string_view s) { return LowerCase(s); }

std::string SimFileSystem::Normalize(std::string_view winPath) { return NormalizePath(winPath); }

void SimFileSystem::MapDrive(char letter, const fs::path& hostRoot) {
  fs::create_directories(hostRoot);
  std::unique_lock lock(mutex_);
  drives_[UpperChar(letter)] = hostRoot;
}

fs::path SimFileSystem::HostPath(std::string_view winPath) {
  return HostOf(Normalize(winPath), nullptr, nullptr);
}

bool SimFileSystem::Settled(const FolderStamp& stamp) {
  // A change made within the same tick of the file system's clock as the
  // last one leaves the folder's time as it was. Once the folder is older
  // than any tick, every later change shows. Whole seconds or milliseconds
  // mark a file system whose clock is coarse: it gets seconds.
  const std::int64_t margin =
      stamp.mtime % 1000000 == 0 ? 3000000000LL : 50000000LL;
  struct timespec now {};
  ::clock_gettime(CLOCK_REALTIME, &now);
  return Nanoseconds(now) - stamp.mtime > margin;
}

SimFileSystem::NameAnswer SimFileSystem::LookUpName(std::string_view folder, std::string_view name,
                                                    bool settledOnly, std::string& real) {
  FolderNames* names = nullptr;
  if (settledOnly) {
    std::lock_guard g(namesMutex_);
    auto it = folderNames_.find(folder);
    if (it == folderNames_.end() || !it->second.settled) return NameAnswer::Unknown;
    names = &it->second;  // entries stay where they are: none is ever removed
  }
  struct stat st {};
  if (::stat(folder.data(), &st) != 0 || !S_ISDIR(st.st_mode)) return NameAnswer::NoFolder;
  const FolderStamp stamp{Nanoseconds(st.st_mtim), st.st_dev, st.st_ino};
  std::lock_guard g(namesMutex_);
  if (!names) names = &folderNames_.try_emplace(std::string(folder)).first->second;
  // A listing of a folder that changed a moment ago may miss a change made
  // within the same tick: it is read again every time until it settles.
  if (!names->settled || !(names->stamp == stamp)) {
    if (settledOnly) return NameAnswer::Unknown;  // changed since: the careful way
    // Settled is judged before listing: whatever changes from now on moves
    // the folder's time away from this stamp.
    names->settled = Settled(stamp);
    names->stamp = stamp;
    names->byLowerName.clear();
    if (DIR* listing = ::opendir(folder.data())) {
      while (const dirent* e = ::readdir(listing)) {
        std::string entry = e->d_name;
        if (entry == "." || entry == "..") continue;
        names->byLowerName.emplace(LowerCase(entry), std::move(entry));
      }
      ::closedir(listing);
    }
  }
  lowerName_.assign(name);
  for (char& c : lowerName_) c = LowerChar(c);
  auto it = names->byLowerName.find(lowerName_);
  if (it == names->byLowerName.end()) return NameAnswer::Absent;
  real = it->second;
  return NameAnswer::Present;
}

std::string SimFileSystem::HostOf(const std::string& norm, Found* found, struct stat* st) {
  if (found) *found = Found::Unknown;
  if (norm.empty()) return {};
  std::string host;
  {
    std::shared_lock lock(mutex_);
    auto drive = drives_.find(norm[0]);
    if (drive == drives_.end()) return {};
    host.reserve(drive->second.native().size() + norm.size());
    host = drive->second.native();
  }
  if (norm.size() <= 3) return host;
  const std::size_t rootSize = host.size();
  for (size_t k = 2; k < norm.size(); ++k) host += norm[k] == '\\' ? '/' : norm[k];
  struct stat local {};
  struct stat& info = st ? *st : local;
  const auto slash = host.rfind('/');
  std::string real;
  // A folder whose listing is settled answers for a name with one look at
  // the folder; other names are looked up as written, which settles most,
  // and for a missing one the folder's listing is asked.
  for (const bool settledOnly : {true, false}) {
    if (!settledOnly && ::lstat(host.c_str(), &info) == 0) {
      if (found) *found = Found::Exists;
      return host;
    }
    host[slash] = '\0';  // the folder as a C string for a moment
    const NameAnswer answer = LookUpName(std::string_view(host.data(), slash),
                                         std::string_view(host).substr(slash + 1), settledOnly, real);
    host[slash] = '/';
    if (answer == NameAnswer::Absent) {
      if (found) *found = Found::MissingInFolder;
      return host;
    }
    if (answer == NameAnswer::Present) {
      host.resize(slash + 1);
      host += real;
      if (::lstat(host.c_str(), &info) == 0 && found) *found = Found::Exists;
      return host;
    }
    if (answer == NameAnswer::NoFolder) break;
  }
  // Some folder on the way is not written as it exists: match each part.
  fs::path path = host.substr(0, rootSize);
  size_t i = 3;
  bool missing = false;  // below a missing folder nothing exists to match
  while (i < norm.size()) {
    size_t end = norm.find('\\', i);
    if (end == std::string::npos) end = norm.size();
    std::string part = norm.substr(i, end - i);
    i = end + 1;
    std::error_code ec;
    if (missing || fs::exists(path / part, ec)) {
      path /= part;
      continue;
    }
    // Windows names ignore letter case: match what exists.
    const NameAnswer answer = LookUpName(path.native(), part, false, real);  // NUL-terminated
    missing = answer != NameAnswer::Present;
    path /= missing ? part : real;
  }
  return path.native();
}

std::uint32_t SimFileSystem::StoredAttributes(const std::string& key) {
  std::shared_lock lock(mutex_);
  if (attributes_.empty()) return fileattr::kArchive;
  auto it = attributes_.find(key);
  return it == attributes_.end() ? fileattr::kArchive : it->second;
}

bool SimFileSystem::IsLocked(const std::string& key) {
  std::shared_lock lock(mutex_);
  return locked_.count(key) > 0;
}

bool SimFileSystem::InDeniedFolder(const std::string& key) {
  std::shared_lock lock(mutex_);
  for (const auto& folder : denied_)
    if (key.size() > folder.size() && key.compare(0, folder.size(), folder) == 0 &&
        key[folder.size()] == '\\')
      return true;
  return false;
}

std::unique_ptr<FindHandle> SimFileSystem::FindFirst(std::string_view pattern, FindData& first,
                                                     Status* error) {
  Set(error, kOk);
  const std::string norm = Normalize(pattern);
  if (norm.empty()) {
    Set(error, kPathNotFound);
    return nullptr;
  }
  const std::string_view folderNorm = FolderOf(norm);
  const std::string_view mask = std::string_view(norm).substr(norm.rfind('\\') + 1);
  const bool plain = std::none_of(mask.begin(), mask.end(), [](char c) { return c == '*' || c == '?'; });
  Found known = Found::Unknown;
  struct stat one {};
  const std::string onePath = plain ? HostOf(norm, &known, &one) : std::string();
  if (known == Found::MissingInFolder) {
    Set(error, kFileNotFound);
    return nullptr;
  }
  std::string dir;
  if (known == Found::Exists) {
    dir = onePath.substr(0, onePath.rfind('/'));
  } else {
    dir = HostOf(std::string(folderNorm), nullptr, nullptr);
    struct stat st {};
    if (dir.empty() || ::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
      Set(error, kPathNotFound);
      return nullptr;
    }
  }
  const bool withAttributes = [&] {
    std::shared_lock lock(mutex_);
    return !attributes_.empty();
  }();
  std::vector<FindData> entries;
  // One stat per entry, as a directory listing costs on Windows. A host
  // symbolic link stands for a junction or link: it carries the reparse
  // flag, and its type is that of its target.
  auto add = [&](const std::string& name, const std::string& host, const struct stat* known) {
    if (!MatchesMask(name, mask)) return;
    FindData d;
    d.name = name;
    struct stat st {};
    if (known) st = *known;
    const bool found = known || ::lstat(host.c_str(), &st) == 0;
    const bool link = found && S_ISLNK(st.st_mode);
    if (link && ::stat(host.c_str(), &st) != 0) st = {};
    const bool isDir = S_ISDIR(st.st_mode);
    d.attributes = isDir || !withAttributes
                       ? (isDir ? fileattr::kDirectory : fileattr::kArchive)
                       : StoredAttributes(Key(std::string(folderNorm) + "\\" + name));
    if (link) d.attributes |= fileattr::kReparsePoint;
    if (!isDir) d.size = static_cast<std::uint64_t>(st.st_size);
    d.lastWrite = static_cast<FileTime>(
        static_cast<std::int64_t>(st.st_mtim.tv_sec) * 10000000 + st.st_mtim.tv_nsec / 100 +
        kUnixEpochTicks);
    d.lastWriteIsDosTime = IsDosRepresentable(d.lastWrite);  // the simulated machine runs on UTC
    entries.push_back(std::move(d));
  };
  if (plain) {
    // A plain name finds that entry alone.
    if (known == Found::Exists) {
      add(onePath.substr(onePath.rfind('/') + 1), onePath, &one);
    } else if (!onePath.empty() && ::stat(onePath.c_str(), &one) == 0) {
      add(onePath.substr(onePath.rfind('/') + 1), onePath, nullptr);
    }
  } else {
    if (folderNorm.size() > 3) {  // not a drive root: "." and ".." come first, as on NTFS
      add(".", dir, nullptr);
      add("..", fs::path(dir).parent_path().native(), nullptr);
    }
    // Names in the order NTFS lists them (by letters, case ignored), each
    // with its lower-case key.
    struct Name {
      std::string key, name;
    };
    std::vector<Name> names;
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
    entries.reserve(entries.size() + names.size());
    std::string host = dir + '/';
    const std::size_t stem = host.size();
    for (const auto& n : names) {
      host.resize(stem);
      host += n.name;
      add(n.name, host, nullptr);
    }
  }
  if (entries.empty()) {
    Set(error, kFileNotFound);
    return nullptr;
  }
  first = entries.front();
  return std::make_unique<ListedFind>(std::move(entries));
}

std::vector<std::string> SimFileSystem::LogicalDrives() {
  std::shared_lock lock(mutex_);
  std::vector<std::string> roots;
  for (const auto& [letter, host] : drives_) roots.push_back(std::string(1, letter) + ":\\");
  return roots;
}

std::uint32_t SimFileSystem::DriveType(std::string_view root) {
  std::shared_lock lock(mutex_);
  if (root.empty() || !drives_.count(UpperDrive(root[0]))) return 1;  // DRIVE_NO_ROOT_DIR
  auto it = driveTypes_.find(UpperDrive(root[0]));
  return it == driveTypes_.end() ? kDriveFixed : it->second;
}

std::uint64_t SimFileSystem::FailureLimit(const std::map<std::string, std::uint64_t>& failures,
                                          const std::string& key) {
  std::shared_lock lock(mutex_);
  std::uint64_t limit = UINT64_MAX;
  for (auto& [prefix, bytes] : failures)
    if (key.compare(0, prefix.size(), prefix) == 0) limit = std::min(limit, bytes);
  return limit;
}

std::unique_ptr<File> SimFileSystem::Open(std::string_view path, OpenMode mode, Status* error) {
  Set(error, kOk);
  const std::string norm = Normalize(path);
  Found known = Found::Unknown;
  struct stat st {};
  const std::string host = HostOf(norm, &known, &st);
  bool exists = false;
  if (!host.empty() && known == Found::Exists) {
    // Its folder is there; a link stands for its target.
    exists = !S_ISLNK(st.st_mode) || ::stat(host.c_str(), &st) == 0;
  } else if (!host.empty() && known == Found::Unknown) {
    struct stat folder {};
    const std::string parent = host.substr(0, host.rfind('/'));
    if (::stat(parent.c_str(), &folder) != 0 || !S_ISDIR(folder.st_mode)) {
      Set(error, kPathNotFound);
      return nullptr;
    }
    exists = ::stat(host.c_str(), &st) == 0;
  }
  if (host.empty()) {
    Set(error, kPathNotFound);
    return nullptr;
  }
  if (exists && S_ISDIR(st.st_mode)) {
    Set(error, kAccessDenied);
    return nullptr;
  }
  if (mode != OpenMode::Write && !exists) {
    Set(error, kFileNotFound);
    return nullptr;
  }
  const std::string key = LowerCaseKey(norm);
  if (mode != OpenMode::Read) {
    if (InDeniedFolder(key)) {
      Set(error, kAccessDenied);
      return nullptr;
    }
    if (IsLocked(key) || processes_.IsRunningImage(path)) {
      Set(error, kSharingViolation);
      return nullptr;
    }
    if (exists && (StoredAttributes(key) & fileattr::kReadOnly)) {
      Set(error, kAccessDenied);
      return nullptr;
    }
  } else if (IsLocked(key)) {
    Set(error, kSharingViolation);
    return nullptr;
  }
  if (mode == OpenMode::Read) {
    const int fd = ::open(host.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      Set(error, kAccessDenied);
      return nullptr;
    }
    return std::make_unique<SimReadFile>(fd, FailureLimit(failReads_, key));
  }
  std::FILE* f = std::fopen(host.c_str(), mode == OpenMode::Write ? "wb" : "r+b");
  if (!f) {
    Set(error, kAccessDenied);
    return nullptr;
  }
  return std::make_unique<SimFile>(f, FailureLimit(failWrites_, key), FailureLimit(failReads_, key));
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
  if (IsLocked(Key(from))) return kSharingViolation;
  if (dst.empty() || !fs::is_directory(dst.parent_path(), ec)) return kPathNotFound;
  if (InDeniedFolder(Key(to))) return kAccessDenied;
  if (fs::exists(dst, ec)) {
    if (failIfExists) return kFileExists;
    if (fs::is_directory(dst, ec)) return kAccessDenied;
    if (StoredAttributes(Key(to)) & fileattr::kReadOnly) return kAccessDenied;
    if (IsLocked(Key(to)) || processes_.IsRunningImage(to)) return kSharingViolation;
  }
  fs::copy_file(src, dst, fs::copy_options::overwrite_existing, ec);
  if (ec) return kAccessDenied;
  const std::uint32_t attributes = StoredAttributes(Key(from)) | fileattr::kArchive;
  std::unique_lock lock(mutex_);
  attributes_[Key(to)] = attributes;
  return kOk;
}

Status SimFileSystem::ReplaceFile(std::string_view from, std::string_view to) {
  fs::path src = HostPath(from), dst = HostPath(to);
  std::error_code ec;
  if (src.empty() || !fs::is_regular_file(src, ec)) return kFileNotFound;
  if (dst.empty() || !fs::is_directory(dst.parent_path(), ec)) return kPathNotFound;
  if (fs::is_directory(dst, ec)) return kAccessDenied;
  if (InDeniedFolder(Key(from)) || InDeniedFolder(Key(to))) return kAccessDenied;
  if (IsLocked(Key(from)) || IsLocked(Key(to)) || processes_.IsRunningImage(to))
    return kSharingViolation;
  if (fs::exists(dst, ec) && (StoredAttributes(Key(to)) & fileattr::kReadOnly)) return kAccessDenied;
  fs::rename(src, dst, ec);
  if (ec) return kAccessDenied;
  std::unique_lock lock(mutex_);
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
  if (InDeniedFolder(Key(from)) || InDeniedFolder(Key(to))) return kAccessDenied;
  if (IsLocked(Key(from))) return kSharingViolation;
  fs::rename(src, dst, ec);
  if (ec) return kAccessDenied;
  std::unique_lock lock(mutex_);
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
  if (InDeniedFolder(Key(path))) return kAccessDenied;
  if (processes_.IsRunningImage(path)) return kAccessDenied;
  if (IsLocked(Key(path))) return kSharingViolation;
  fs::remove(host, ec);
  if (ec) return kAccessDenied;
  std::unique_lock lock(mutex_);
  attributes_.erase(Key(path));
  return kOk;
}

std::uint32_t SimFileSystem::GetAttributes(std::string_view path) {
  const std::string norm = Normalize(path);
  Found known = Found::Unknown;
  struct stat st {};
  const std::string host = HostOf(norm, &known, &st);
  if (host.empty() || known == Found::MissingInFolder) return kInvalidAttributes;
  // What exists counts as its target when it is a link.
  if ((known != Found::Exists || S_ISLNK(st.st_mode)) && ::stat(host.c_str(), &st) != 0)
    return kInvalidAttributes;
  if (S_ISDIR(st.st_mode)) return fileattr::kDirectory;
  return StoredAttributes(LowerCaseKey(norm));
}

Status SimFileSystem::SetAttributes(std::string_view path, std::uint32_t attributes) {
  fs::path host = HostPath(path);
  std::error_code ec;
  if (host.empty() || !fs::exists(host, ec)) return kFileNotFound;
  if (fs::is_directory(host, ec)) return kOk;
  attributes &= fileattr::kReadOnly | fileattr::kHidden | fileattr::kSystem | fileattr::kArchive;
  // FILE_ATTRIBUTE_NORMAL alone, or nothing, reads back as NORMAL.
  std::unique_lock lock(mutex_);
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
  if (InDeniedFolder(Key(path))) return kAccessDenied;
  return fs::create_directory(host, ec) ? kOk : kAccessDenied;
}

Status SimFileSystem::RemoveDirectory(std::string_view path) {
  fs::path host = HostPath(path);
  std::error_code ec;
  if (host.empty() || !fs::exists(host, ec)) return kFileNotFound;
  if (!fs::is_directory(host, ec)) return 267;  // ERROR_DIRECTORY
  if (!fs::is_empty(host, ec)) return kDirNotEmpty;
  if (InDeniedFolder(Key(path))) return kAccessDenied;
  fs::remove(host, ec);
  return ec ? kAccessDenied : kOk;
}

}  // namespace platform::sim
