#include "tools/kvxdb/host_files.h"

#ifdef _WIN32
#include "platform/win32/internal.h"

namespace kvxdb {

std::unique_ptr<platform::FileSystem> CreateHostFileSystem() {
  return platform::win32::CreateFileSystem();
}

}  // namespace kvxdb
#else
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>

namespace kvxdb {
namespace {

using platform::Status;
namespace fs = std::filesystem;

Status Errno() { return errno == ENOENT ? platform::kFileNotFound : platform::kAccessDenied; }

Status FromCode(const std::error_code& ec) {
  if (!ec) return platform::kOk;
  return ec == std::errc::no_such_file_or_directory ? platform::kFileNotFound
                                                    : platform::kAccessDenied;
}

class HostFile final : public platform::File {
 public:
  explicit HostFile(std::FILE* f) : f_(f) {}
  ~HostFile() override { std::fclose(f_); }
  std::size_t Read(void* buffer, std::size_t n) override { return std::fread(buffer, 1, n, f_); }
  Status Write(const void* buffer, std::size_t n) override {
    return std::fwrite(buffer, 1, n, f_) == n ? platform::kOk : Errno();
  }
  Status Flush() override { return std::fflush(f_) == 0 ? platform::kOk : Errno(); }
  std::uint64_t Size() override {
    struct stat st;
    return fstat(fileno(f_), &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
  }
  Status Seek(std::uint64_t position) override {
    return fseeko(f_, static_cast<off_t>(position), SEEK_SET) == 0 ? platform::kOk
                                                                    : platform::kInvalidParameter;
  }

 private:
  std::FILE* f_;
};

// What kvxdb needs: open, replace, delete and attributes. Folder searches
// and mappings are not offered.
class HostFileSystem final : public platform::FileSystem {
 public:
  std::unique_ptr<platform::FindHandle> FindFirst(std::string_view, platform::FindData&,
                                                  Status* error) override {
    if (error) *error = platform::kInvalidParameter;
    return nullptr;
  }
  std::unique_ptr<platform::File> Open(std::string_view path, platform::OpenMode mode,
                                       Status* error) override {
    const std::string p(path);
    const char* m = mode == platform::OpenMode::Read    ? "rb"
                    : mode == platform::OpenMode::Write ? "wb"
                                                        : "r+b";
    std::error_code ec;
    std::FILE* f = fs::is_directory(p, ec) ? nullptr : std::fopen(p.c_str(), m);
    if (!f && error) *error = fs::is_directory(p, ec) ? platform::kAccessDenied : Errno();
    return f ? std::make_unique<HostFile>(f) : nullptr;
  }
  std::unique_ptr<platform::MappedView> MapReadOnly(std::string_view, Status* error) override {
    if (error) *error = platform::kInvalidParameter;
    return nullptr;
  }
  Status CopyFile(std::string_view from, std::string_view to, bool failIfExists) override {
    std::error_code ec;
    fs::copy_file(fs::path(from), fs::path(to),
                  failIfExists ? fs::copy_options::none : fs::copy_options::overwrite_existing, ec);
    return FromCode(ec);
  }
  Status MoveFile(std::string_view from, std::string_view to) override {
    std::error_code ec;
    if (fs::exists(fs::path(to), ec)) return platform::kAlreadyExists;
    return ReplaceFile(from, to);
  }
  // rename() replaces its target in one step.
  Status ReplaceFile(std::string_view from, std::string_view to) override {
    std::error_code ec;
    fs::rename(fs::path(from), fs::path(to), ec);
    return FromCode(ec);
  }
  Status DeleteFile(std::string_view path) override {
    return std::remove(std::string(path).c_str()) == 0 ? platform::kOk : Errno();
  }
  std::uint32_t GetAttributes(std::string_view path) override {
    std::error_code ec;
    const auto st = fs::status(fs::path(path), ec);
    if (ec || !fs::exists(st)) return kInvalidAttributes;
    return fs::is_directory(st) ? platform::fileattr::kDirectory : platform::fileattr::kNormal;
  }
  Status SetAttributes(std::string_view, std::uint32_t) override { return platform::kOk; }
  Status SetLastWriteTime(std::string_view, platform::FileTime) override {
    return platform::kInvalidParameter;
  }
  Status CreateDirectory(std::string_view path) override {
    std::error_code ec;
    return fs::create_directory(fs::path(path), ec) ? platform::kOk
           : ec                                     ? FromCode(ec)
                                                    : platform::kAlreadyExists;
  }
  Status RemoveDirectory(std::string_view path) override {
    std::error_code ec;
    fs::remove(fs::path(path), ec);
    return FromCode(ec);
  }
  std::string WindowsDirectory() override { return {}; }
  std::string SystemDirectory() override { return {}; }
  std::string TempPath() override { return fs::temp_directory_path().string() + "/"; }
  // The author's tool names files by host paths; it has no drives to list.
  std::vector<std::string> LogicalDrives() override { return {}; }
  std::uint32_t DriveType(std::string_view) override { return 0; }
};

}  // namespace

std::unique_ptr<platform::FileSystem> CreateHostFileSystem() {
  return std::make_unique<HostFileSystem>();
}

}  // namespace kvxdb
#endif
