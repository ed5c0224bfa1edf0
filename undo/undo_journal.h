#pragma once
// The undo journal: before the program removes or changes anything on the
// user's behalf it records it in a backup, one backup per action, and the
// action can be undone later. It reaches the machine only through
// platform::Machine (files, registry, services), so it works on any machine
// the program can run on.
//
// Writing a backup: each Keep... call stores what the item is now (a file's
// bytes enciphered with the quarantine's transform, a registry value's type
// and data, an INI line, a service's start type) and writes the index entry
// that describes it, each through a temporary file and a rename, before it
// returns. Only then may the caller remove or change the item; when the
// call fails the item must be left as it is.
//
// Undo puts every item back as it was, never over something that exists now
// at the same place (that item is a conflict and is left alone); a file
// replaced as a whole comes back only while it is the one written. A backup
// whose items all came back is removed; one with conflicts keeps those.
#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/machine.h"
#include "undo/backup_index.h"

namespace engine {
class Digest;
}

namespace undo {

// Backups older than this are removed when the program starts.
inline constexpr int kKeepDays = 30;

// One backup as the list shows it.
struct BackupInfo {
  std::string id;      // the folder's name: "20261207-130512", "20261207-130512-2", ...
  std::string action;  // empty when unreadable
  platform::LocalTime created;
  std::size_t items = 0;
  std::uint64_t bytes = 0;  // the sizes of the files it holds
  std::string error;        // why it cannot be read; empty when it can
};

// What undo did to one item.
struct UndoItem {
  enum class Result { Restored, Conflict, Failed };
  std::string what;  // Describe(item)
  Result result = Result::Restored;
  std::string reason;  // for a conflict or a failure
};

struct UndoReport {
  enum class Status {
    Done,        // every item is back
    Conflicts,   // some items were left alone; the rest is back
    Failed,      // some items could not be written back
    Nothing,     // there is no backup (of that name)
    Unreadable,  // the backup's index cannot be read
  };
  Status status = Status::Nothing;
  std::string id, action;
  platform::LocalTime created;
  std::vector<UndoItem> items;
  std::string error;  // for Nothing, Unreadable and Failed: why, in plain words
  bool removed = false;  // the backup is gone (everything came back)
};

class Backup;

class Journal {
 public:
  // programFolder with its trailing backslash.
  Journal(platform::Machine& machine, std::string programFolder);

  // Lets pending window messages run between blocks of a copy.
  std::function<void()> pump;
  // The local time; by default the system's clock.
  std::function<platform::LocalTime()> clock;
  // Where a registry value lives for good, on a machine whose names for it
  // change during a run (the rescue's HKEY_CURRENT_USER is each profile in
  // turn, and its HKEY_LOCAL_MACHINE\SOFTWARE shows the 32-bit view too):
  // a backup records the value under that place. Unset: as named.
  std::function<void(platform::Hive& root, std::string& key, std::string_view name)> valuePlace;
  // Makes what undo wrote lasting, on a machine that keeps registry changes
  // in memory until they are saved (the rescue's hives); false with the
  // reason when it cannot, and the backup then stays whole. Unset: there is
  // nothing to save.
  std::function<bool(std::string& error)> save;

  std::string Folder() const;  // program folder + "Backups"

  // Every backup, newest first. Unreadable ones are listed with their error.
  std::vector<BackupInfo> List();
  // Undoes the backup named (empty: the newest one).
  UndoReport Undo(std::string_view id);
  // Deletes a backup and everything it holds; false with the reason when it
  // cannot.
  bool Delete(std::string_view id, std::string* error = nullptr);
  // Removes the backups older than kKeepDays, oldest first, never the
  // newest one; how many were removed.
  int RemoveExpired();

  platform::Machine& Machine() { return machine_; }

 private:
  friend class Backup;
  struct Loaded;
  bool Load(const std::string& id, Loaded& out, std::string& error);
  bool Rewrite(const std::string& id, Loaded& loaded, std::string& error);
  bool RemoveFolder(const std::string& id, std::string& error);
  UndoItem Restore(const std::string& folder, const BackupItem& item);
  std::vector<std::string> Ids();

  platform::Machine& machine_;
  std::string programFolder_;
  std::set<std::string> open_;  // backups being written
};

// The result of keeping one thing in a backup.
struct Kept {
  bool ok = false;
  std::string error;  // why not, in plain words
  // Not kept because another program holds the file: trying again after
  // that program ended may work.
  bool inUse = false;
  // The numbers of the items written (none when there was nothing to keep:
  // a value that does not exist, a line that does not change).
  std::vector<std::size_t> items;
  explicit operator bool() const { return ok; }
};

// One action's backup. The backup folder is made with the first item kept;
// an action that keeps nothing leaves nothing behind.
class Backup {
 public:
  Backup(Journal& journal, std::string action);
  ~Backup();
  Backup(const Backup&) = delete;
  Backup& operator=(const Backup&) = delete;

  // A file: its bytes, size, MD5, attributes and time (nothing to keep when
  // it does not exist). With `tell` off a failure is not added to
  // Failures(): the caller tries again and tells with NotKept when it gives
  // up.
  Kept KeepFile(std::string_view path, bool tell = true);
  void NotKept(const std::string& what, const std::string& why);
  // A folder about to be removed (its files are kept one by one).
  Kept KeepFolder(std::string_view path);
  // A registry value about to be deleted; nothing to keep when it does not
  // exist.
  Kept KeepValue(platform::Hive root, std::string_view key, std::string_view name);
  // A registry value about to be set to `type` and `data` (created when it
  // does not exist).
  Kept KeepValueChange(platform::Hive root, std::string_view key, std::string_view name,
                       platform::ValueType type, std::string_view data);
  // An INI file about to be rewritten from `before` to `after`: one item per
  // line that changes (the two texts have the same lines otherwise).
  Kept KeepIniChange(std::string_view path, std::string_view before, std::string_view after);
  // A service whose start type is about to become `newStart`.
  Kept KeepStartType(std::string_view keyName, std::uint32_t newStart);
  // A file about to be renamed.
  Kept KeepMove(std::string_view from, std::string_view to);
  // A file about to be replaced as a whole by the complete file
  // `replacement`: its bytes and SHA-256, and the SHA-256 of the
  // replacement, so that undo puts the old bytes back only while the file is
  // still the one written. Nothing to keep when it does not exist.
  Kept KeepReplacement(std::string_view path, std::string_view replacement);

  // The change did not happen after all: the items go from the backup.
  void NotDone(const Kept& kept);
  // Ends the backup; one that holds no item is removed. Also on destruction.
  void Finish();

  // The backup's name; empty while nothing was kept.
  const std::string& Id() const { return id_; }
  std::size_t ItemCount() const { return items_.size(); }
  // What could not be kept, as "what: why", in order; the caller tells the
  // user.
  const std::vector<std::string>& Failures() const { return failures_; }

 private:
  Kept Fail(const std::string& what, std::string why);
  bool Begin(std::string& error);
  std::string Folder() const;
  // Writes index file `file` (0 the first) as the items now are; one past
  // the last item is deleted. False with the reason when it cannot.
  bool WriteIndexFile(std::size_t file, std::string& error);
  Kept Add(BackupItem item, const std::string& what);
  // Stores the bytes of the file at path, enciphered, as the item's copy
  // and adds the item; the digest sees the bytes.
  Kept AddWithCopy(std::string_view path, BackupItem item, engine::Digest& digest,
                   const std::string& what);
  // A value item as the machine names the value's place for good, with the
  // value as it is now.
  BackupItem ValueItem(platform::Hive root, std::string_view key, std::string_view name);

  Journal& journal_;
  bool tell_ = true;
  BackupIndex header_;
  std::vector<BackupItem> items_;
  std::vector<std::size_t> serials_;  // each item's number, never given twice
  std::size_t nextSerial_ = 1;
  std::string id_;
  std::size_t nextCopy_ = 1;
  bool finished_ = false;
  std::vector<std::string> failures_;
};

}  // namespace undo
