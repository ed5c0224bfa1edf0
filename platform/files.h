#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/status.h"

namespace platform {

namespace fileattr {
inline constexpr std::uint32_t kReadOnly = 0x01;
inline constexpr std::uint32_t kHidden = 0x02;
inline constexpr std::uint32_t kSystem = 0x04;
inline constexpr std::uint32_t kDirectory = 0x10;
inline constexpr std::uint32_t kArchive = 0x20;
inline constexpr std::uint32_t kNormal = 0x80;
// A junction, symbolic link or other reparse point.
inline constexpr std::uint32_t kReparsePoint = 0x400;
}  // namespace fileattr

// File times are FILETIME ticks: 100 ns units since 1601-01-01 UTC.
using FileTime = std::uint64_t;

struct FindData {
  std::string name;  // file name only
  std::uint32_t attributes = 0;
  std::uint64_t size = 0;
  FileTime lastWrite = 0;
  // Whether lastWrite converts to a local DOS date and time (1980 to 2107).
  bool lastWriteIsDosTime = false;
  bool IsDirectory() const { return (attributes & fileattr::kDirectory) != 0; }
};

class FindHandle {
 public:
  virtual ~FindHandle() = default;
  virtual bool Next(FindData& out) = 0;
};

// A search whose entries were all read at FindFirst (the first went out with it).
class ListedFind final : public FindHandle {
 public:
  explicit ListedFind(std::vector<FindData> entries) : entries_(std::move(entries)) {}
  bool Next(FindData& out) override;

 private:
  std::vector<FindData> entries_;
  std::size_t next_ = 1;
};

enum class OpenMode {
  Read,       // existing file, read-only, others may read
  Write,      // create or truncate, write-only
  ReadWrite,  // existing file
};

class File {
 public:
  virtual ~File() = default;
  // Reads up to n bytes; returns the count read (0 at the end or on error).
  virtual std::size_t Read(void* buffer, std::size_t n) = 0;
  // Writes all n bytes or fails.
  virtual Status Write(const void* buffer, std::size_t n) = 0;
  virtual std::uint64_t Size() = 0;
  virtual Status Seek(std::uint64_t position) = 0;
  // Hands buffered bytes to the system; a failure here is a failed write.
  virtual Status Flush() { return kOk; }
};

class MappedView {
 public:
  virtual ~MappedView() = default;
  virtual const unsigned char* Data() const = 0;
  virtual std::size_t Size() const = 0;
};

// Safe to call from several threads at once (each open File and FindHandle
// used by one thread at a time), as the system's own calls are.
class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // First entry matching the pattern (a folder, a backslash, a name mask);
  // null with *error set when nothing matches or the folder is missing.
  virtual std::unique_ptr<FindHandle> FindFirst(std::string_view pattern, FindData& first,
                                                Status* error = nullptr) = 0;
  virtual std::unique_ptr<File> Open(std::string_view path, OpenMode mode,
                                     Status* error = nullptr) = 0;
  // Read-only mapping of the whole file; an empty file maps to an empty view.
  virtual std::unique_ptr<MappedView> MapReadOnly(std::string_view path,
                                                  Status* error = nullptr) = 0;

  virtual Status CopyFile(std::string_view from, std::string_view to, bool failIfExists) = 0;
  virtual Status MoveFile(std::string_view from, std::string_view to) = 0;
  // Renames from over to in one step, replacing an existing to: a reader sees
  // either the old file or the new one, never a missing or partial one.
  virtual Status ReplaceFile(std::string_view from, std::string_view to) = 0;
  virtual Status DeleteFile(std::string_view path) = 0;
  // Attributes of a file or folder; kInvalidAttributes when it does not exist.
  virtual std::uint32_t GetAttributes(std::string_view path) = 0;
  virtual Status SetAttributes(std::string_view path, std::uint32_t attributes) = 0;
  virtual Status SetLastWriteTime(std::string_view path, FileTime time) = 0;
  virtual Status CreateDirectory(std::string_view path) = 0;
  virtual Status RemoveDirectory(std::string_view path) = 0;

  // Without trailing backslash, as the system reports them.
  virtual std::string WindowsDirectory() = 0;
  virtual std::string SystemDirectory() = 0;
  virtual std::string TempPath() = 0;  // with trailing backslash

  // Roots of the logical drives ("C:\\"), in drive letter order, and the
  // system's drive type of one root (kDriveFixed for a local disk).
  virtual std::vector<std::string> LogicalDrives() = 0;
  virtual std::uint32_t DriveType(std::string_view root) = 0;
  static constexpr std::uint32_t kDriveRemovable = 2;
  static constexpr std::uint32_t kDriveFixed = 3;

  static constexpr std::uint32_t kInvalidAttributes = 0xFFFFFFFF;
};

// Whole-file convenience over FileSystem::Open. Reading fails with
// kFileTooLarge for a file of more than maxBytes, kNotEnoughMemory when its
// buffer cannot be had, and kHandleEof when the file gives fewer bytes than its
// size; out is left as it was on every failure.
inline constexpr std::uint64_t kWholeFileLimit = 256ull << 20;
Status ReadWholeFile(FileSystem& fs, std::string_view path, std::string& out,
                     std::uint64_t maxBytes = kWholeFileLimit);
Status WriteWholeFile(FileSystem& fs, std::string_view path, std::string_view bytes);
// Writes the bytes completely to a temporary file beside path and then
// replaces path with it; on any failure path is left as it was and the
// temporary file is removed.
Status WriteFileReplacing(FileSystem& fs, std::string_view path, std::string_view bytes);
// The temporary name WriteFileReplacing uses for path.
std::string ReplacementTempPath(std::string_view path);
// Creates the folder and every missing folder above it; kOk when it exists
// afterwards.
Status ForceDirectories(FileSystem& fs, std::string_view folder);
bool FileExists(FileSystem& fs, std::string_view path);       // a file, not a folder
bool DirectoryExists(FileSystem& fs, std::string_view path);

// A drive path as Windows reads it ("C:\\a\\b", no trailing backslash but
// for a drive root): the drive letter upper case, "/" taken as "\\", "." and
// ".." applied, trailing dots and blanks of each name dropped, the path ended
// at its first NUL (the "A" functions take C strings). Empty when the text
// names no drive.
std::string NormalizePath(std::string_view winPath);

// DOS date/time range check shared by both implementations (local == the
// time given; callers convert first).
bool IsDosRepresentable(FileTime localTime);

}  // namespace platform
