#pragma once
// The file and registry ignore lists: their records and their two small
// text files beside the program ("FileIgnoreL.fil", "RegIgnoreL.fil").
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/machine.h"

namespace ignore {

inline constexpr const char* kFileListName = "FileIgnoreL.fil";
inline constexpr const char* kRegListName = "RegIgnoreL.fil";

struct TFileIgnoreList {
  std::string Kind;         // "Folder" for folders the user adds
  std::string IgnoredPath;  // shown as the row; a folder ends in ";"
  std::string Extra1;
  std::string Extra2;
  std::int32_t Number1 = 0;
  std::int32_t Number2 = 0;
  bool Flag1 = false;
  bool Flag2 = false;
  bool operator==(const TFileIgnoreList&) const = default;
};

struct TRegIgnoreList {
  std::int32_t RootKey = 0;  // 0 HKEY_CLASSES_ROOT .. 4 HKEY_CURRENT_CONFIG
  std::string KeyPath;
  std::string ValueName;
  std::string Info;
  std::string Data;
  bool IsNew = false;
  bool operator==(const TRegIgnoreList&) const = default;
};

// A list file larger than this is not read: no real list comes near it.
inline constexpr std::size_t kMaxListFileBytes = 4u << 20;

// Reading replaces the list with what the bytes hold: the count line, then
// entries field by field. A missing line or a malformed number stops the
// reading; the entries completed before stay. A flag line other than "1" or
// "0" keeps the value the previous entry had (false for the first). False when
// anything but blank lines follows the last entry kept: writing the list back
// would lose it.
bool ParseFileIgnoreList(std::string_view bytes, std::vector<TFileIgnoreList>& list);
bool ParseRegIgnoreList(std::string_view bytes, std::vector<TRegIgnoreList>& list);
std::string FormatFileIgnoreList(const std::vector<TFileIgnoreList>& list);
std::string FormatRegIgnoreList(const std::vector<TRegIgnoreList>& list);

// Loading a missing file leaves the list as it was. A file that cannot be
// read whole (or is over the limit) leaves the list as it was and fails; a
// damaged one fails too, keeping the entries read before the damage. Saving
// replaces the file only once the new one is written whole; a failure keeps
// the previous file.
bool LoadFileIgnoreList(platform::FileSystem& fs, std::string_view path,
                        std::vector<TFileIgnoreList>& list);
bool LoadRegIgnoreList(platform::FileSystem& fs, std::string_view path,
                       std::vector<TRegIgnoreList>& list);
platform::Status SaveFileIgnoreList(platform::FileSystem& fs, std::string_view path,
                                    const std::vector<TFileIgnoreList>& list);
platform::Status SaveRegIgnoreList(platform::FileSystem& fs, std::string_view path,
                                   const std::vector<TRegIgnoreList>& list);

// Renames a list file that was not read whole to "NAME.damaged" (or
// "NAME.damaged.2", ... when that exists) so a repaired list can take its
// place; the new name, or empty when it could not be renamed.
std::string KeepDamagedFile(platform::FileSystem& fs, std::string_view path);

// "HKEY_LOCAL_MACHINE" for 2; empty for codes without a root key.
std::string RootKeyName(std::int32_t code);
// The row: root key name, "\", key path, "\", value name.
std::string RegRowText(const TRegIgnoreList& e);
// The hint of a registry row from the entry and the live registry.
std::string RegRowHint(platform::Registry& reg, const TRegIgnoreList& e);

// Whether a path lies inside (or is) a folder of the file ignore list. Folder
// entries are stored with a trailing ";"; the comparison ignores case.
bool IsIgnoredPath(const std::vector<TFileIgnoreList>& list, std::string_view path);

}  // namespace ignore
