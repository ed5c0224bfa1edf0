#pragma once
// The offline machine's files: the mounted volume under one drive letter,
// with Windows' name rules (letter case ignored where the exact name is
// missing, trailing dots and blanks dropped), links never followed and
// names converted through the installation's code page; and the host files
// the program may use, under their host paths.
#include <sys/types.h>

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <unordered_map>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/offline/code_page.h"
#include "platform/offline/errors.h"

namespace platform::offline {

class OfflineFileSystem final : public FileSystem {
 public:
  // volumeFd: an open descriptor of the volume's root folder (taken over).
  OfflineFileSystem(int volumeFd, char drive, const CodePage* codePage, bool writable);
  ~OfflineFileSystem() override;

  std::unique_ptr<FindHandle> FindFirst(std::string_view pattern, FindData& first,
                                        Status* error = nullptr) override;
  std::unique_ptr<File> Open(std::string_view path, OpenMode mode, Status* error = nullptr) override;
  std::unique_ptr<MappedView> MapReadOnly(std::string_view path, Status* error = nullptr) override;
  Status CopyFile(std::string_view from, std::string_view to, bool failIfExists) override;
  Status MoveFile(std::string_view from, std::string_view to) override;
  Status ReplaceFile(std::string_view from, std::string_view to) override;
  Status DeleteFile(std::string_view path) override;
  std::uint32_t GetAttributes(std::string_view path) override;
  Status SetAttributes(std::string_view path, std::uint32_t attributes) override;
  Status SetLastWriteTime(std::string_view path, FileTime time) override;
  Status CreateDirectory(std::string_view path) override;
  Status RemoveDirectory(std::string_view path) override;
  std::string WindowsDirectory() override { return windowsDir_; }
  std::string SystemDirectory() override { return systemDir_; }
  std::string TempPath() override { return tempPath_; }
  std::vector<std::string> LogicalDrives() override;
  std::uint32_t DriveType(std::string_view root) override;

  void SetCodePage(const CodePage* codePage);
  // The drive letter the volume is seen under.
  void SetDrive(char drive);
  void SetFolders(std::string windowsDir, std::string systemDir, std::string tempPath);
  // Host folders whose whole tree the program may use, and single host
  // files (each with its replacement name); everything else on the host is
  // out of reach.
  void AllowHostFolder(const std::string& hostFolder);
  void AllowHostFile(const std::string& hostFile);
  // A descriptor hivex can open a volume file by ("/proc/self/fd/N" of the
  // returned descriptor); -1 with *error set when it does not open.
  int OpenForLibrary(std::string_view winPath, bool write, Status* error);
  // Renames a file over another on the volume in one step (no read-only
  // check and no holder asked: for the hives).
  Status RenameOver(std::string_view from, std::string_view to);

  // Files another part of the machine holds open (the registry hives), by
  // their lower-case Windows path. `held` is asked, under the file system's
  // lock, before a file is written, deleted, renamed (replace false) or
  // replaced by another (replace true): anything but kOk refuses it, as
  // Windows refuses it for a loaded hive. `replaced` is told afterwards,
  // outside the lock, so the holder can read the new file.
  std::function<Status(const std::string& key, bool replace)> held;
  std::function<void(const std::string& key)> replaced;

  // Where an entry lives: its folder (an open descriptor) and its host name.
  struct Place;

 private:
  struct Root;
  struct Listing;
  struct Folder;
  // Folders opened lately, by the names asked for; dropped whenever a folder
  // may have moved or gone.
  static constexpr std::size_t kCachedFolders = 256;
  std::shared_ptr<Folder> CachedFolder(Root& root, const std::vector<std::string>& parts,
                                       std::size_t count, Status* error);
  // Resolves a path to its folder and the entry's name there. wantExisting:
  // the entry's name is matched against what exists (case ignored).
  bool Resolve(std::string_view path, Place& place, Status* error, bool forChange);
  int OpenFolder(Root& root, const std::vector<std::string>& parts, std::size_t count,
                 Status* error);
  std::string MatchName(int dirFd, const std::string& hostName, bool* found);
  std::string Key(const Place& place) const;
  bool ReadOnlyOverlay(const Place& place) const;
  Status Held(const Place& place, bool replace) const;
  bool IsDirectoryLinkTarget(const Place& place);

  std::mutex mutex_;
  const CodePage* cp_;
  bool writable_;
  char drive_;
  std::unique_ptr<Root> volume_;
  std::vector<std::unique_ptr<Root>> hostRoots_;
  // Names of folders by lower case, kept while the folder is unchanged.
  std::map<std::pair<dev_t, ino_t>, std::unique_ptr<Listing>> listings_;
  std::unordered_map<std::string, std::shared_ptr<Folder>> folders_;
  // Attributes set during this run (the volume's own are not read).
  std::map<std::string, std::uint32_t> attributes_;
  std::string windowsDir_ = "C:\\Windows";
  std::string systemDir_ = "C:\\Windows\\system32";
  std::string tempPath_ = "C:\\Windows\\Temp\\";
};

}  // namespace platform::offline
