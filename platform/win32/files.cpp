#include <algorithm>
#include <cstring>
#include <string>

#include "platform/win32/internal.h"
#include "platform/win32/win.h"

namespace platform::win32 {
namespace {

Status LastError() { return static_cast<Status>(GetLastError()); }

FileTime ToTicks(const FILETIME& ft) {
  return (static_cast<FileTime>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

void Fill(const WIN32_FIND_DATAA& w, FindData& d) {
  d.name = w.cFileName;
  d.attributes = w.dwFileAttributes;
  d.size = (static_cast<std::uint64_t>(w.nFileSizeHigh) << 32) | w.nFileSizeLow;
  d.lastWrite = ToTicks(w.ftLastWriteTime);
  FILETIME local;
  WORD date, time;
  d.lastWriteIsDosTime = FileTimeToLocalFileTime(&w.ftLastWriteTime, &local) &&
                         FileTimeToDosDateTime(&local, &date, &time);
}

class Win32Find final : public FindHandle {
 public:
  explicit Win32Find(HANDLE h) : h_(h) {}
  ~Win32Find() override { FindClose(h_); }
  bool Next(FindData& out) override {
    WIN32_FIND_DATAA w;
    if (!FindNextFileA(h_, &w)) return false;
    Fill(w, out);
    return true;
  }

 private:
  HANDLE h_;
};

class Win32File final : public File {
 public:
  explicit Win32File(HANDLE h) : h_(h) {}
  ~Win32File() override { CloseHandle(h_); }
  std::size_t Read(void* buffer, std::size_t n) override {
    std::size_t total = 0;
    while (total < n) {
      DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(n - total, 1u << 30));
      DWORD got = 0;
      if (!ReadFile(h_, static_cast<char*>(buffer) + total, chunk, &got, nullptr) || got == 0) break;
      total += got;
    }
    return total;
  }
  Status Write(const void* buffer, std::size_t n) override {
    std::size_t total = 0;
    while (total < n) {
      DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(n - total, 1u << 30));
      DWORD put = 0;
      if (!WriteFile(h_, static_cast<const char*>(buffer) + total, chunk, &put, nullptr))
        return LastError();
      total += put;
    }
    return kOk;
  }
  std::uint64_t Size() override {
    LARGE_INTEGER s;
    return GetFileSizeEx(h_, &s) ? static_cast<std::uint64_t>(s.QuadPart) : 0;
  }
  Status Seek(std::uint64_t position) override {
    LARGE_INTEGER p;
    p.QuadPart = static_cast<LONGLONG>(position);
    return SetFilePointerEx(h_, p, nullptr, FILE_BEGIN) ? kOk : LastError();
  }

 private:
  HANDLE h_;
};

class Win32View final : public MappedView {
 public:
  Win32View(HANDLE mapping, const unsigned char* data, std::size_t size)
      : mapping_(mapping), data_(data), size_(size) {}
  ~Win32View() override {
    if (data_) UnmapViewOfFile(data_);
    if (mapping_) CloseHandle(mapping_);
  }
  const unsigned char* Data() const override { return data_; }
  std::size_t Size() const override { return size_; }

 private:
  HANDLE mapping_;
  const unsigned char* data_;
  std::size_t size_;
};

std::string Folder(UINT(WINAPI* get)(LPSTR, UINT)) {
  char buf[MAX_PATH + 1];
  UINT n = get(buf, sizeof(buf));
  return n && n < sizeof(buf) ? std::string(buf, n) : std::string();
}

class Win32FileSystem final : public FileSystem {
 public:
  std::unique_ptr<FindHandle> FindFirst(std::string_view pattern, FindData& first,
                                        Status* error) override {
    const std::string p(pattern);
    WIN32_FIND_DATAA w;
    HANDLE h = FindFirstFileA(p.c_str(), &w);
    if (h == INVALID_HANDLE_VALUE) {
      if (error) *error = LastError();
      return nullptr;
    }
    if (error) *error = kOk;
    Fill(w, first);
    return std::make_unique<Win32Find>(h);
  }

  std::vector<std::string> LogicalDrives() override {
    char buf[256] = {};
    DWORD n = GetLogicalDriveStringsA(sizeof(buf) - 1, buf);
    std::vector<std::string> roots;
    if (n == 0 || n >= sizeof(buf)) return roots;
    for (const char* p = buf; *p; p += std::strlen(p) + 1) roots.emplace_back(p);
    return roots;
  }
  std::uint32_t DriveType(std::string_view root) override {
    return GetDriveTypeA(std::string(root).c_str());
  }

  std::unique_ptr<File> Open(std::string_view path, OpenMode mode, Status* error) override {
    const std::string p(path);
    DWORD access = GENERIC_READ, share = FILE_SHARE_READ, disposition = OPEN_EXISTING;
    if (mode == OpenMode::Write) {
      access = GENERIC_WRITE;
      share = 0;
      disposition = CREATE_ALWAYS;
    } else if (mode == OpenMode::ReadWrite) {
      access = GENERIC_READ | GENERIC_WRITE;
      share = 0;
    } else {
      share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    }
    HANDLE h = CreateFileA(p.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      if (error) *error = LastError();
      return nullptr;
    }
    if (error) *error = kOk;
    return std::make_unique<Win32File>(h);
  }

  std::unique_ptr<MappedView> MapReadOnly(std::string_view path, Status* error) override {
    const std::string p(path);
    HANDLE f = CreateFileA(p.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) {
      if (error) *error = LastError();
      return nullptr;
    }
    LARGE_INTEGER size;
    if (!GetFileSizeEx(f, &size)) size.QuadPart = 0;
    if (size.QuadPart == 0) {  // an empty file cannot be mapped: an empty view
      CloseHandle(f);
      if (error) *error = kOk;
      return std::make_unique<Win32View>(nullptr, nullptr, 0);
    }
    HANDLE m = CreateFileMappingA(f, nullptr, PAGE_READONLY, 0, 0, nullptr);
    Status s = m ? kOk : LastError();
    CloseHandle(f);
    if (!m) {
      if (error) *error = s;
      return nullptr;
    }
    auto* data = static_cast<const unsigned char*>(MapViewOfFile(m, FILE_MAP_READ, 0, 0, 0));
    if (!data) {
      if (error) *error = LastError();
      CloseHandle(m);
      return nullptr;
    }
    if (error) *error = kOk;
    return std::make_unique<Win32View>(m, data, static_cast<std::size_t>(size.QuadPart));
  }

  Status CopyFile(std::string_view from, std::string_view to, bool failIfExists) override {
    const std::string a(from), b(to);
    return CopyFileA(a.c_str(), b.c_str(), failIfExists) ? kOk : LastError();
  }
  Status MoveFile(std::string_view from, std::string_view to) override {
    const std::string a(from), b(to);
    return MoveFileA(a.c_str(), b.c_str()) ? kOk : LastError();
  }
  Status ReplaceFile(std::string_view from, std::string_view to) override {
    const std::string a(from), b(to);
    // Windows refuses to replace a read-only file; so do we, everywhere.
    const DWORD target = GetFileAttributesA(b.c_str());
    if (target != INVALID_FILE_ATTRIBUTES && (target & FILE_ATTRIBUTE_READONLY)) return kAccessDenied;
    return MoveFileExA(a.c_str(), b.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
               ? kOk
               : LastError();
  }
  Status DeleteFile(std::string_view path) override {
    const std::string p(path);
    return DeleteFileA(p.c_str()) ? kOk : LastError();
  }
  std::uint32_t GetAttributes(std::string_view path) override {
    const std::string p(path);
    return GetFileAttributesA(p.c_str());
  }
  Status SetAttributes(std::string_view path, std::uint32_t attributes) override {
    const std::string p(path);
    return SetFileAttributesA(p.c_str(), attributes) ? kOk : LastError();
  }
  Status SetLastWriteTime(std::string_view path, FileTime time) override {
    const std::string p(path);
    HANDLE h = CreateFileA(p.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return LastError();
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(time);
    ft.dwHighDateTime = static_cast<DWORD>(time >> 32);
    Status s = SetFileTime(h, nullptr, nullptr, &ft) ? kOk : LastError();
    CloseHandle(h);
    return s;
  }
  Status CreateDirectory(std::string_view path) override {
    const std::string p(path);
    return CreateDirectoryA(p.c_str(), nullptr) ? kOk : LastError();
  }
  Status RemoveDirectory(std::string_view path) override {
    const std::string p(path);
    return RemoveDirectoryA(p.c_str()) ? kOk : LastError();
  }
  std::string WindowsDirectory() override { return Folder(GetWindowsDirectoryA); }
  std::string SystemDirectory() override { return Folder(GetSystemDirectoryA); }
  std::string TempPath() override {
    char buf[MAX_PATH + 1];
    DWORD n = GetTempPathA(sizeof(buf), buf);
    return n && n < sizeof(buf) ? std::string(buf, n) : std::string();
  }
};

}  // namespace

std::unique_ptr<FileSystem> CreateFileSystem() { return std::make_unique<Win32FileSystem>(); }

bool CreateDirectoryLink(const std::string& link, const std::string& target) {
  // Vista and later only: looked up, so the program still starts on XP.
  using Fn = BOOLEAN(WINAPI*)(LPCSTR, LPCSTR, DWORD);
  auto fn = reinterpret_cast<Fn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "CreateSymbolicLinkA")));
  if (!fn) return false;
  constexpr DWORD kDirectory = 1, kUnprivileged = 2;
  return fn(link.c_str(), target.c_str(), kDirectory | kUnprivileged) ||
         fn(link.c_str(), target.c_str(), kDirectory);
}

}  // namespace platform::win32
