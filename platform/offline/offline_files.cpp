#include "platform/offline/offline_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "platform/descriptor_file.h"
#include "platform/text.h"

namespace platform::offline {
namespace {

// FILETIME ticks of the Unix epoch.
constexpr std::int64_t kUnixEpochTicks = 116444736000000000LL;
constexpr Status kDiskFull = 112;
constexpr Status kNotADirectory = 267;  // ERROR_DIRECTORY

void Set(Status* error, Status s) {
  if (error) *error = s;
}

Status FromErrno(int err) {
  switch (err) {
    case ENOENT:
      return kFileNotFound;
    case ENOTDIR:
    case ELOOP:  // a link on the way, which is never followed
      return kPathNotFound;
    case EEXIST:
      return kAlreadyExists;
    case ENOTEMPTY:
      return kDirNotEmpty;
    case EROFS:
      return kWriteProtect;
    case ENOSPC:
    case EDQUOT:
      return kDiskFull;
    case ENOMEM:
      return kNotEnoughMemory;
    default:
      return kAccessDenied;
  }
}

int OpenAt2(int dirFd, const std::string& path, std::uint64_t flags, std::uint64_t resolve) {
  open_how how{};
  how.flags = flags | O_CLOEXEC;
  how.resolve = resolve;
  for (;;) {
    const long fd = ::syscall(SYS_openat2, dirFd, path.c_str(), &how, sizeof how);
    if (fd >= 0 || errno != EAGAIN) return static_cast<int>(fd);
  }
}

FileTime ToFileTime(const struct timespec& t) {
  return static_cast<FileTime>(static_cast<std::int64_t>(t.tv_sec) * 10000000 + t.tv_nsec / 100 +
                               kUnixEpochTicks);
}

class FdFile final : public DescriptorFile {
 public:
  explicit FdFile(int fd) : DescriptorFile(fd) {}
  std::size_t Read(void* buffer, std::size_t n) override {
    for (;;) {
      const ssize_t got = ::read(fd_, buffer, n);
      if (got >= 0) return static_cast<std::size_t>(got);
      if (errno != EINTR) return 0;
    }
  }
  Status Write(const void* buffer, std::size_t n) override {
    const char* p = static_cast<const char*>(buffer);
    while (n > 0) {
      const ssize_t put = ::write(fd_, p, n);
      if (put < 0) {
        if (errno == EINTR) continue;
        return FromErrno(errno);
      }
      p += put;
      n -= static_cast<std::size_t>(put);
    }
    return kOk;
  }
  // A rescue may be followed by pulling the disk: what was written is on it.
  Status Flush() override { return ::fdatasync(fd_) == 0 || errno == EINVAL ? kOk : FromErrno(errno); }
};

class MapView final : public MappedView {
 public:
  MapView(void* data, std::size_t size) : data_(data), size_(size) {}
  ~MapView() override {
    if (size_) ::munmap(data_, size_);
  }
  const unsigned char* Data() const override { return static_cast<const unsigned char*>(data_); }
  std::size_t Size() const override { return size_; }

 private:
  void* data_;
  std::size_t size_;
};

// The attributes set in this run are kept by this text of a path.
std::string KeyOf(std::string_view path);

bool HasWildcard(std::string_view s) { return s.find_first_of("*?") != std::string_view::npos; }

std::vector<std::string> SplitAny(std::string_view s) {
  std::vector<std::string> parts;
  std::string cur;
  auto flush = [&] {
    if (cur == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!cur.empty() && cur != ".") {
      parts.push_back(cur);
    }
    cur.clear();
  };
  for (char c : s) {
    if (c == '/' || c == '\\')
      flush();
    else
      cur += c;
  }
  flush();
  return parts;
}

std::string KeyOf(std::string_view path) {
  path = path.substr(0, path.find('\0'));
  if (!path.empty() && path[0] == '/') {
    std::string key;
    for (const auto& p : SplitAny(path)) key += "/" + p;
    return key;
  }
  return LowerCase(NormalizePath(path));
}

}  // namespace

struct OfflineFileSystem::Root {
  int fd = -1;
  bool volume = false;
  std::vector<std::string> hostParts;  // a host root's folder, split
  std::set<std::string> names;         // a host file root's only names; empty: the whole tree
  ~Root() {
    if (fd >= 0) ::close(fd);
  }
};

struct OfflineFileSystem::Folder {
  int fd = -1;
  explicit Folder(int f) : fd(f) {}
  Folder(const Folder&) = delete;
  ~Folder() { ::close(fd); }
};

struct OfflineFileSystem::Place {
  Root* root = nullptr;
  // The entry's folder: held while the place lives, even when the folder
  // cache lets go of it meanwhile.
  std::shared_ptr<Folder> folder;
  int dirFd = -1;  // folder's descriptor, or the root's own for the root itself
  bool isRoot = false;
  std::string name;     // host name of the entry in its folder
  std::string winName;  // the entry's name as the program sees it
  std::string key;      // lower-case path, for the attributes set in this run
  bool exists = false;
  struct stat st {};
  Place() = default;
  Place(const Place&) = delete;
  bool IsDir() const { return exists && S_ISDIR(st.st_mode); }
  bool IsLink() const { return exists && S_ISLNK(st.st_mode); }
};

struct OfflineFileSystem::Listing {
  std::int64_t stamp = -1;
  std::map<std::string, std::string> byLowerName;  // lower-case program name -> host name
};

OfflineFileSystem::OfflineFileSystem(int volumeFd, char drive, const CodePage* codePage,
                                     bool writable)
    : cp_(codePage), writable_(writable), drive_(UpperChar(drive)), volume_(std::make_unique<Root>()) {
  volume_->fd = volumeFd;
  volume_->volume = true;
}

OfflineFileSystem::~OfflineFileSystem() = default;

void OfflineFileSystem::SetCodePage(const CodePage* codePage) {
  std::lock_guard lock(mutex_);
  cp_ = codePage;
  listings_.clear();
  folders_.clear();
}

void OfflineFileSystem::SetDrive(char drive) {
  std::lock_guard lock(mutex_);
  drive_ = UpperChar(drive);
}

void OfflineFileSystem::SetFolders(std::string windowsDir, std::string systemDir,
                                   std::string tempPath) {
  windowsDir_ = std::move(windowsDir);
  systemDir_ = std::move(systemDir);
  tempPath_ = std::move(tempPath);
}

void OfflineFileSystem::AllowHostFolder(const std::string& hostFolder) {
  auto root = std::make_unique<Root>();
  root->fd = ::open(hostFolder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  root->hostParts = SplitAny(hostFolder);
  if (root->fd >= 0) hostRoots_.push_back(std::move(root));
}

void OfflineFileSystem::AllowHostFile(const std::string& hostFile) {
  auto parts = SplitAny(hostFile);
  if (parts.empty()) return;
  const std::string name = parts.back();
  parts.pop_back();
  std::string folder;
  for (const auto& p : parts) folder += "/" + p;
  auto root = std::make_unique<Root>();
  root->fd = ::open(folder.empty() ? "/" : folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  root->hostParts = std::move(parts);
  root->names = {name, name + ReplacementTempPath("").c_str()};
  if (root->fd >= 0) hostRoots_.push_back(std::move(root));
}

std::string OfflineFileSystem::MatchName(int dirFd, const std::string& hostName, bool* found) {
  *found = false;
  struct stat st {};
  if (::fstat(dirFd, &st) != 0) return {};
  auto& slot = listings_[{st.st_dev, st.st_ino}];
  if (!slot) slot = std::make_unique<Listing>();
  const std::int64_t stamp =
      static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  if (slot->stamp != stamp) {
    slot->byLowerName.clear();
    slot->stamp = stamp;
    const int fd = ::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (DIR* d = fd >= 0 ? ::fdopendir(fd) : nullptr) {
      while (const dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        slot->byLowerName.emplace(LowerCase(cp_->FromUtf8(name, true)), name);
      }
      ::closedir(d);
    } else if (fd >= 0) {
      ::close(fd);
    }
  }
  auto it = slot->byLowerName.find(LowerCase(cp_->FromUtf8(hostName, true)));
  if (it == slot->byLowerName.end()) return {};
  *found = true;
  return it->second;
}

std::shared_ptr<OfflineFileSystem::Folder> OfflineFileSystem::CachedFolder(
    Root& root, const std::vector<std::string>& parts, std::size_t count, Status* error) {
  // A scan asks for the files of one folder after another: each folder is
  // looked up once, not once per file.
  std::string key = std::to_string(reinterpret_cast<std::uintptr_t>(&root));
  for (std::size_t i = 0; i < count; ++i) key += "/" + parts[i];
  if (auto it = folders_.find(key); it != folders_.end()) return it->second;
  const int fd = OpenFolder(root, parts, count, error);
  if (fd < 0) return nullptr;
  auto folder = std::make_shared<Folder>(fd);
  if (folders_.size() >= kCachedFolders) folders_.clear();
  folders_.emplace(std::move(key), folder);
  return folder;
}

int OfflineFileSystem::OpenFolder(Root& root, const std::vector<std::string>& parts,
                                  std::size_t count, Status* error) {
  const std::uint64_t resolve =
      root.volume ? RESOLVE_NO_SYMLINKS | RESOLVE_BENEATH | RESOLVE_NO_XDEV : 0;
  const std::uint64_t flags = O_PATH | O_DIRECTORY | (root.volume ? O_NOFOLLOW : 0);
  std::string joined = ".";
  for (std::size_t i = 0; i < count; ++i) joined += "/" + parts[i];
  int fd = OpenAt2(root.fd, joined, flags, resolve);
  if (fd >= 0) return fd;
  if (errno != ENOENT) {
    Set(error, kPathNotFound);
    return -1;
  }
  // Some name differs in letter case from what exists: one folder at a time.
  fd = OpenAt2(root.fd, ".", flags, resolve);
  for (std::size_t i = 0; i < count && fd >= 0; ++i) {
    int next = OpenAt2(fd, parts[i], flags, resolve);
    if (next < 0 && errno == ENOENT) {
      bool found = false;
      const std::string real = MatchName(fd, parts[i], &found);
      if (found) next = OpenAt2(fd, real, flags, resolve);
    }
    ::close(fd);
    fd = next;
  }
  if (fd < 0) Set(error, kPathNotFound);
  return fd;
}

bool OfflineFileSystem::Resolve(std::string_view path, Place& place, Status* error,
                                bool forChange) {
  Set(error, kOk);
  path = path.substr(0, path.find('\0'));
  std::vector<std::string> parts;
  if (!path.empty() && path[0] == '/') {
    // A host path: only inside what the program was given.
    const auto all = SplitAny(path);
    for (auto& r : hostRoots_) {
      const auto& base = r->hostParts;
      if (all.size() < base.size() || !std::equal(base.begin(), base.end(), all.begin())) continue;
      if (!r->names.empty() && (all.size() > base.size() + 1 ||
                                (all.size() == base.size() + 1 && !r->names.count(all.back()))))
        continue;
      place.root = r.get();
      parts.assign(all.begin() + static_cast<std::ptrdiff_t>(base.size()), all.end());
      break;
    }
    if (!place.root) {
      Set(error, kPathNotFound);
      return false;
    }
    place.key = KeyOf(path);
  } else {
    const std::string norm = NormalizePath(path);
    if (norm.empty() || norm[0] != drive_) {
      Set(error, kPathNotFound);
      return false;
    }
    place.root = volume_.get();
    place.key = LowerCase(norm);
    for (const auto& part : SplitAny(std::string_view(norm).substr(2)))
      parts.push_back(cp_->ToHostName(part));
    if (forChange && !writable_) {
      Set(error, kWriteProtect);
      return false;
    }
  }
  if (parts.empty()) {
    place.isRoot = true;
    place.dirFd = place.root->fd;
    place.exists = ::fstat(place.dirFd, &place.st) == 0;
    return true;
  }
  place.folder = CachedFolder(*place.root, parts, parts.size() - 1, error);
  if (!place.folder) return false;
  place.dirFd = place.folder->fd;
  place.name = parts.back();
  if (::fstatat(place.dirFd, place.name.c_str(), &place.st, AT_SYMLINK_NOFOLLOW) == 0) {
    place.exists = true;
  } else if (errno == ENOENT) {
    bool found = false;
    const std::string real = MatchName(place.dirFd, place.name, &found);
    if (found) {
      place.name = real;
      place.exists = ::fstatat(place.dirFd, place.name.c_str(), &place.st, AT_SYMLINK_NOFOLLOW) == 0;
    }
  }
  place.winName = cp_->FromUtf8(place.name, true);
  return true;
}

Status OfflineFileSystem::Held(const Place& place, bool replace) const {
  return held && place.root && place.root->volume ? held(place.key, replace) : kOk;
}

bool OfflineFileSystem::ReadOnlyOverlay(const Place& place) const {
  auto it = attributes_.find(place.key);
  return it != attributes_.end() && (it->second & fileattr::kReadOnly);
}

bool OfflineFileSystem::IsDirectoryLinkTarget(const Place& place) {
  // A link's type is its target's, looked up only inside the volume.
  const int fd = OpenAt2(place.dirFd, place.name, O_PATH, place.root->volume
                                                              ? RESOLVE_BENEATH | RESOLVE_NO_XDEV
                                                              : 0);
  if (fd < 0) return false;
  struct stat st {};
  const bool dir = ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode);
  ::close(fd);
  return dir;
}

std::unique_ptr<FindHandle> OfflineFileSystem::FindFirst(std::string_view pattern, FindData& first,
                                                         Status* error) {
  std::lock_guard lock(mutex_);
  Set(error, kOk);
  pattern = pattern.substr(0, pattern.find('\0'));
  const std::string folder = ExtractFilePath(pattern);
  const std::string mask = ExtractFileName(pattern);
  std::vector<FindData> entries;
  auto describe = [&](int dirFd, const std::string& hostName, const struct stat& st,
                      const Place* linkPlace) {
    FindData d;
    d.name = cp_->FromUtf8(hostName, true);
    const bool dir = S_ISDIR(st.st_mode);
    d.attributes = dir ? fileattr::kDirectory : fileattr::kArchive;
    if (!dir) {
      if (!attributes_.empty()) {
        auto it = attributes_.find(KeyOf(IncludeTrailingBackslash(folder) + d.name));
        if (it != attributes_.end()) d.attributes = it->second;
      }
    }
    if (S_ISLNK(st.st_mode)) {
      Place p;
      p.root = linkPlace ? linkPlace->root : nullptr;
      p.dirFd = dirFd;
      p.isRoot = true;  // borrowed descriptor
      p.name = hostName;
      d.attributes = fileattr::kReparsePoint |
                     (p.root && IsDirectoryLinkTarget(p) ? fileattr::kDirectory : fileattr::kArchive);
    }
    if (!dir && !S_ISLNK(st.st_mode)) d.size = static_cast<std::uint64_t>(st.st_size);
    d.lastWrite = ToFileTime(st.st_mtim);
    d.lastWriteIsDosTime = IsDosRepresentable(d.lastWrite);
    entries.push_back(std::move(d));
  };

  if (!HasWildcard(mask)) {
    Place place;
    if (mask.empty() || !Resolve(pattern, place, error, false)) {
      if (mask.empty()) Set(error, kFileNotFound);
      return nullptr;
    }
    if (!place.exists || place.isRoot) {
      Set(error, kFileNotFound);
      return nullptr;
    }
    describe(place.dirFd, place.name, place.st, &place);
  } else {
    Place place;
    if (!Resolve(folder, place, error, false)) return nullptr;
    if (!place.IsDir()) {  // missing, a file, or a link that is not followed
      Set(error, kPathNotFound);
      return nullptr;
    }
    const int fd = ::openat(place.dirFd, place.isRoot ? "." : place.name.c_str(),
                            O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    DIR* d = fd >= 0 ? ::fdopendir(fd) : nullptr;
    if (!d) {
      if (fd >= 0) ::close(fd);
      Set(error, kAccessDenied);
      return nullptr;
    }
    struct Name {
      std::string key, host;
    };
    std::vector<Name> names;
    while (const dirent* e = ::readdir(d)) {
      std::string host = e->d_name;
      if (host == "." || host == "..") continue;
      if (!place.root->names.empty() && place.isRoot && !place.root->names.count(host)) continue;
      std::string text = cp_->FromUtf8(host, true);
      if (!MatchesMask(text, mask)) continue;
      names.push_back({LowerCase(text), std::move(host)});
    }
    // NTFS lists names by their letters, case ignored; "." and ".." first
    // below a drive root.
    std::sort(names.begin(), names.end(), [](const Name& a, const Name& b) {
      return a.key != b.key ? a.key < b.key : a.host < b.host;
    });
    const bool driveRoot = place.isRoot && place.root->volume;
    if (!driveRoot) {
      for (const char* dot : {".", ".."}) {
        struct stat st {};
        if (MatchesMask(dot, mask) && ::fstat(::dirfd(d), &st) == 0) {
          describe(::dirfd(d), dot, st, nullptr);
          entries.back().name = dot;
        }
      }
    }
    Place inside;
    inside.root = place.root;
    for (const auto& n : names) {
      struct stat st {};
      if (::fstatat(::dirfd(d), n.host.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
      describe(::dirfd(d), n.host, st, &inside);
    }
    ::closedir(d);
  }
  if (entries.empty()) {
    Set(error, kFileNotFound);
    return nullptr;
  }
  first = entries.front();
  return std::make_unique<ListedFind>(std::move(entries));
}

std::unique_ptr<File> OfflineFileSystem::Open(std::string_view path, OpenMode mode, Status* error) {
  std::lock_guard lock(mutex_);
  Place place;
  if (!Resolve(path, place, error, mode != OpenMode::Read)) return nullptr;
  auto fail = [&](Status s) -> std::unique_ptr<File> {
    Set(error, s);
    return nullptr;
  };
  if (place.isRoot || place.IsDir() || place.IsLink()) return fail(kAccessDenied);
  if (mode != OpenMode::Write && !place.exists) return fail(kFileNotFound);
  if (mode != OpenMode::Read && place.exists && ReadOnlyOverlay(place)) return fail(kAccessDenied);
  if (mode != OpenMode::Read && place.exists)
    if (Status s = Held(place, false); s != kOk) return fail(s);
  const int flags = mode == OpenMode::Read    ? O_RDONLY
                    : mode == OpenMode::Write ? O_WRONLY | O_CREAT | O_TRUNC
                                              : O_RDWR;
  const int fd = ::openat(place.dirFd, place.name.c_str(), flags | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) return fail(FromErrno(errno));
  if (mode == OpenMode::Write) listings_.clear();
  return std::make_unique<FdFile>(fd);
}

std::unique_ptr<MappedView> OfflineFileSystem::MapReadOnly(std::string_view path, Status* error) {
  int fd = -1;
  {
    std::lock_guard lock(mutex_);
    Place place;
    if (!Resolve(path, place, error, false)) return nullptr;
    if (!place.exists) {
      Set(error, kFileNotFound);
      return nullptr;
    }
    if (place.isRoot || place.IsDir() || place.IsLink()) {
      Set(error, kAccessDenied);
      return nullptr;
    }
    fd = ::openat(place.dirFd, place.name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
      Set(error, FromErrno(errno));
      return nullptr;
    }
  }
  struct stat st {};
  void* data = MAP_FAILED;
  if (::fstat(fd, &st) == 0 && st.st_size > 0)
    data = ::mmap(nullptr, static_cast<std::size_t>(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
  ::close(fd);
  if (st.st_size == 0) return std::make_unique<MapView>(nullptr, 0);
  if (data == MAP_FAILED) {
    Set(error, kNotEnoughMemory);
    return nullptr;
  }
  return std::make_unique<MapView>(data, static_cast<std::size_t>(st.st_size));
}

Status OfflineFileSystem::CopyFile(std::string_view from, std::string_view to, bool failIfExists) {
  {
    std::lock_guard lock(mutex_);
    Place src, dst;
    Status err = kOk;
    if (!Resolve(from, src, &err, false)) return err == kPathNotFound ? kFileNotFound : err;
    if (!src.exists || src.IsDir() || src.IsLink()) return kFileNotFound;
    if (!Resolve(to, dst, &err, true)) return err;
    if (dst.exists) {
      if (failIfExists) return kFileExists;
      if (dst.IsDir() || dst.IsLink() || ReadOnlyOverlay(dst)) return kAccessDenied;
      if (Status s = Held(dst, false); s != kOk) return s;
    }
  }
  auto in = Open(from, OpenMode::Read);
  Status err = kOk;
  auto out = Open(to, OpenMode::Write, &err);
  if (!in) return kFileNotFound;
  if (!out) return err;
  char buffer[1 << 16];
  for (;;) {
    const std::size_t n = in->Read(buffer, sizeof buffer);
    if (n == 0) break;
    if (Status s = out->Write(buffer, n); s != kOk) return s;
  }
  if (Status s = out->Flush(); s != kOk) return s;
  std::lock_guard lock(mutex_);
  auto it = attributes_.find(KeyOf(from));
  if (it != attributes_.end()) attributes_[KeyOf(to)] = it->second | fileattr::kArchive;
  return kOk;
}

Status OfflineFileSystem::MoveFile(std::string_view from, std::string_view to) {
  std::lock_guard lock(mutex_);
  Place src, dst;
  Status err = kOk;
  if (!Resolve(from, src, &err, true)) return err == kPathNotFound ? kFileNotFound : err;
  if (!src.exists || src.isRoot) return kFileNotFound;
  if (Status s = Held(src, false); s != kOk) return s;
  if (!Resolve(to, dst, &err, true)) return err;
  if (dst.isRoot) return kAccessDenied;
  const bool sameEntry = dst.exists && dst.st.st_ino == src.st.st_ino && dst.st.st_dev == src.st.st_dev;
  if (dst.exists && !sameEntry) return kAlreadyExists;
  const std::string target = sameEntry ? ExtractFileName(NormalizePath(to)) : dst.name;
  const std::string targetHost = sameEntry ? cp_->ToHostName(target) : dst.name;
  if (::renameat2(src.dirFd, src.name.c_str(), dst.dirFd, targetHost.c_str(),
                  sameEntry ? 0 : RENAME_NOREPLACE) != 0)
    return FromErrno(errno);
  listings_.clear();
  folders_.clear();  // a folder may have moved or gone
  auto it = attributes_.find(src.key);
  if (it != attributes_.end()) {
    const auto a = it->second;
    attributes_.erase(it);
    attributes_[dst.key] = a;
  }
  return kOk;
}

Status OfflineFileSystem::ReplaceFile(std::string_view from, std::string_view to) {
  std::string key;
  {
    std::lock_guard lock(mutex_);
    Place src, dst;
    Status err = kOk;
    if (!Resolve(from, src, &err, true)) return err == kPathNotFound ? kFileNotFound : err;
    if (!src.exists || src.IsDir() || src.IsLink()) return kFileNotFound;
    if (Status s = Held(src, false); s != kOk) return s;
    if (!Resolve(to, dst, &err, true)) return err;
    if (dst.isRoot || dst.IsDir() || dst.IsLink()) return kAccessDenied;
    if (dst.exists && ReadOnlyOverlay(dst)) return kAccessDenied;
    if (Status s = Held(dst, true); s != kOk) return s;
    if (::renameat(src.dirFd, src.name.c_str(), dst.dirFd, dst.name.c_str()) != 0)
      return FromErrno(errno);
    listings_.clear();
    auto it = attributes_.find(src.key);
    attributes_.erase(dst.key);
    if (it != attributes_.end()) {
      const auto a = it->second;
      attributes_.erase(src.key);
      attributes_[dst.key] = a;
    }
    key = dst.key;
  }
  if (replaced) replaced(key);
  return kOk;
}

Status OfflineFileSystem::RenameOver(std::string_view from, std::string_view to) {
  std::lock_guard lock(mutex_);
  Place src, dst;
  Status err = kOk;
  if (!Resolve(from, src, &err, true) || !Resolve(to, dst, &err, true)) return err;
  if (!src.exists || src.IsLink() || dst.IsDir() || dst.IsLink()) return kAccessDenied;
  if (::renameat(src.dirFd, src.name.c_str(), dst.dirFd, dst.name.c_str()) != 0)
    return FromErrno(errno);
  // The rename itself reaches the disk before anyone relies on it.
  const int dir = ::openat(dst.dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  listings_.clear();
  folders_.clear();  // a folder may have moved or gone
  return kOk;
}

Status OfflineFileSystem::DeleteFile(std::string_view path) {
  std::lock_guard lock(mutex_);
  Place place;
  Status err = kOk;
  if (!Resolve(path, place, &err, true)) return err;
  if (!place.exists) return kFileNotFound;
  if (place.isRoot || place.IsDir()) return kAccessDenied;
  if (ReadOnlyOverlay(place)) return kAccessDenied;
  if (Status s = Held(place, false); s != kOk) return s;
  // A link goes, never what it points at.
  if (::unlinkat(place.dirFd, place.name.c_str(), 0) != 0) return FromErrno(errno);
  listings_.clear();
  attributes_.erase(place.key);
  return kOk;
}

std::uint32_t OfflineFileSystem::GetAttributes(std::string_view path) {
  std::lock_guard lock(mutex_);
  Place place;
  if (!Resolve(path, place, nullptr, false) || !place.exists) return kInvalidAttributes;
  if (place.IsDir()) return fileattr::kDirectory;
  if (place.IsLink())
    return fileattr::kReparsePoint |
           (IsDirectoryLinkTarget(place) ? fileattr::kDirectory : fileattr::kArchive);
  auto it = attributes_.find(place.key);
  return it == attributes_.end() ? fileattr::kArchive : it->second;
}

Status OfflineFileSystem::SetAttributes(std::string_view path, std::uint32_t attributes) {
  std::lock_guard lock(mutex_);
  Place place;
  if (!Resolve(path, place, nullptr, false) || !place.exists) return kFileNotFound;
  if (place.IsDir() || place.IsLink()) return kOk;
  attributes &= fileattr::kReadOnly | fileattr::kHidden | fileattr::kSystem | fileattr::kArchive;
  // FILE_ATTRIBUTE_NORMAL alone, or nothing, reads back as NORMAL.
  attributes_[place.key] = attributes ? attributes : fileattr::kNormal;
  return kOk;
}

Status OfflineFileSystem::SetLastWriteTime(std::string_view path, FileTime time) {
  std::lock_guard lock(mutex_);
  Place place;
  Status err = kOk;
  if (!Resolve(path, place, &err, true)) return err;
  if (!place.exists) return kFileNotFound;
  const std::int64_t ticks = static_cast<std::int64_t>(time) - kUnixEpochTicks;
  std::int64_t sec = ticks / 10000000, rest = ticks % 10000000;
  if (rest < 0) {
    rest += 10000000;
    --sec;
  }
  const struct timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(sec), static_cast<long>(rest * 100)}};
  if (place.isRoot) return kAccessDenied;
  return ::utimensat(place.dirFd, place.name.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0 ? kOk
                                                                                      : FromErrno(errno);
}

Status OfflineFileSystem::CreateDirectory(std::string_view path) {
  std::lock_guard lock(mutex_);
  Place place;
  Status err = kOk;
  if (!Resolve(path, place, &err, true)) return err;
  if (place.exists) return kAlreadyExists;
  if (::mkdirat(place.dirFd, place.name.c_str(), 0755) != 0) return FromErrno(errno);
  listings_.clear();
  return kOk;
}

Status OfflineFileSystem::RemoveDirectory(std::string_view path) {
  std::lock_guard lock(mutex_);
  Place place;
  Status err = kOk;
  if (!Resolve(path, place, &err, true)) return err;
  if (!place.exists) return kFileNotFound;
  if (place.isRoot) return kAccessDenied;
  // A junction goes as a link, its target's contents stay.
  const int flags = place.IsLink() ? 0 : AT_REMOVEDIR;
  if (!place.IsLink() && !place.IsDir()) return kNotADirectory;
  if (::unlinkat(place.dirFd, place.name.c_str(), flags) != 0) return FromErrno(errno);
  listings_.clear();
  folders_.clear();  // a folder may have moved or gone
  return kOk;
}

std::vector<std::string> OfflineFileSystem::LogicalDrives() { return {std::string(1, drive_) + ":\\"}; }

std::uint32_t OfflineFileSystem::DriveType(std::string_view root) {
  return !root.empty() && UpperChar(root[0]) == drive_ ? kDriveFixed : 1;  // DRIVE_NO_ROOT_DIR
}

int OfflineFileSystem::OpenForLibrary(std::string_view winPath, bool write, Status* error) {
  std::lock_guard lock(mutex_);
  Place place;
  if (!Resolve(winPath, place, error, write)) return -1;
  if (place.isRoot || place.IsDir() || place.IsLink() || (!write && !place.exists)) {
    Set(error, place.exists ? kAccessDenied : kFileNotFound);
    return -1;
  }
  const int flags = write ? O_RDWR | O_CREAT | O_TRUNC : O_RDONLY;
  const int fd = ::openat(place.dirFd, place.name.c_str(), flags | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) Set(error, FromErrno(errno));
  if (write) listings_.clear();
  return fd;
}

}  // namespace platform::offline
