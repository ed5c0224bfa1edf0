#pragma once
// What one backup of the undo journal holds, and the index files that list
// it. A backup is a folder of its own under "Backups" beside the program:
// the index ("Backup.info", continued in "Backup2.info", "Backup3.info", ...
// every kItemsPerFile items, so adding an item rewrites one short file),
// the enciphered stored copies of the files ("1.dat", "2.dat", ...) and
// "Registry.reg", the removed registry values as a regedit file.
//
// An index file is text in the system code page, CR LF lines, fields
// separated by tabs; tabs, line ends, other control characters and "%" in a
// field are written as "%" and two hexadecimal digits. The first line is
// kIndexMagic; the first file also holds "action" and "created"; every
// other line is one item:
//   file     PATH SIZE MD5 ATTRIBUTES LASTWRITE STORED
//   folder   PATH
//   value    ROOT KEY NAME BEFORE AFTER    (a value: TYPE ":" HEX, or "-" for none)
//   ini      FILE SECTION OLD NEW
//   service  KEYNAME OLDSTART NEWSTART
//   moved    FROM TO SIZE MD5
//   replaced PATH SIZE SHA256 NEWSHA256 STORED
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files.h"
#include "platform/local_time.h"
#include "platform/registry.h"

namespace undo {

inline constexpr char kFolderName[] = "Backups";
inline constexpr char kIndexMagic[] = "Klaruvex Pro backup 1";
inline constexpr char kRegeditName[] = "Registry.reg";

// Limits of what the reader takes in: an index file is written
// kItemsPerFile items at a time, a backup holds at most kMaxIndexFiles of
// them. Anything beyond is a damaged backup, not one to act on.
inline constexpr std::size_t kItemsPerFile = 256;
inline constexpr std::size_t kMaxIndexFiles = 4096;
inline constexpr std::size_t kMaxIndexFileBytes = 8u << 20;
inline constexpr std::size_t kMaxFieldBytes = 1u << 20;  // a registry value's data in hex

// The name of index file n (1, 2, ...).
std::string IndexFileName(std::size_t n);

// A registry value as it was or is: type and raw bytes.
struct StoredValue {
  platform::ValueType type = platform::ValueType::None;
  std::string data;
  bool operator==(const StoredValue&) const = default;
};

enum class ItemKind { File, Folder, Value, IniLine, StartType, Moved, Replaced };

// One thing the program removed or changed.
struct BackupItem {
  ItemKind kind = ItemKind::File;
  // File, Folder, Moved (where it was), IniLine (the INI file), Replaced.
  std::string path;
  // File, Moved and Replaced.
  std::uint64_t size = 0;
  std::string md5;
  // Replaced: a file written anew as a whole (a registry hive the rescue
  // saved), the SHA-256 of its bytes before and of what was written.
  std::string sha256, newSha256;
  // File and Replaced: the name of the stored copy in the backup folder.
  // File: how it was.
  std::uint32_t attributes = 0;
  platform::FileTime lastWrite = 0;
  std::string stored;
  // Moved: where it went.
  std::string target;
  // Value: root key (as platform::Hive counts them), key path, value name,
  // the value before and after the change (none: it did not exist).
  platform::Hive root = platform::Hive::CurrentUser;
  std::string key, name;
  std::optional<StoredValue> before, after;
  // IniLine: the section header ("[boot]", empty before the first one) and
  // the line before and after.
  std::string section, oldText, newText;
  // StartType: the service's key name and its start types.
  std::string service;
  std::uint32_t oldStart = 0, newStart = 0;

  bool operator==(const BackupItem&) const = default;
};

// What one index file says.
struct BackupIndex {
  std::string action;          // "Fix", "Delete files", ...
  platform::LocalTime created;  // local time the backup was begun
  bool hasHeader = false;      // the first file's "action" and "created" lines were there
  std::vector<BackupItem> items;
  bool operator==(const BackupIndex& o) const;
};

// nullopt when the text is not an index file or breaks the limits above.
std::optional<BackupIndex> ParseIndexFile(std::string_view bytes);
// Index file n of a backup: the header (first file only) and its items.
std::string FormatIndexFile(const BackupIndex& header, bool first,
                            const std::vector<BackupItem>& items, std::size_t from,
                            std::size_t count);

// The registry values the items removed or changed, as they were, in a
// regedit file ("REGEDIT4") a technician can import by hand.
std::string RegeditText(const std::vector<BackupItem>& items);

// "HKEY_CURRENT_USER" and so on.
std::string RootName(platform::Hive root);
// A short description of an item for lists and reports.
std::string Describe(const BackupItem& item);

// "2026-12-07 13:05:12", and back (nullopt when it is not one).
std::string TimeText(const platform::LocalTime& t);
std::optional<platform::LocalTime> ParseTimeText(std::string_view text);
// Seconds since 1970 of a local time, for comparing ages.
std::int64_t SecondsOf(const platform::LocalTime& t);

}  // namespace undo
