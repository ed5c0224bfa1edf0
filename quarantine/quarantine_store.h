#pragma once
// The quarantine: enciphered copies of files in the "Quarantine" folder
// beside the program, listed in "Quarantine.info". The store never deletes
// a source file itself, never overwrites a stored copy, and writes every
// file it makes (stored copies, restored files, the index) completely
// before it puts it in place.
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files.h"
#include "quarantine/quarantine_index.h"
#include "quarantine/quarantine_transform.h"

namespace quarantine {

inline constexpr char kFolderName[] = "Quarantine";
inline constexpr char kIndexName[] = "Quarantine.info";

// Codes the whole of `from` into `to` in one direction: through a temporary
// file beside `to` that replaces `to` only once it is complete. `pump` runs
// before each block. On failure `to` is as it was and the temporary file is
// gone. `plain`, when given, sees the uncoded bytes in order (what is read
// when storing, what is written when restoring), so a caller can check them.
using PlainBytes = std::function<void(const std::uint8_t* bytes, std::size_t n)>;
platform::Status CodeFile(platform::FileSystem& fs, std::string_view from, std::string_view to,
                          Direction direction, const std::function<void()>& pump = {},
                          const PlainBytes& plain = {});

class QuarantineStore {
 public:
  // programFolder is the program's folder with its trailing backslash.
  QuarantineStore(platform::FileSystem& fs, std::string programFolder);

  // Lets pending window messages run between blocks of a copy.
  std::function<void()> pump;
  // The "Added" text of a new entry; by default the local short date, ", "
  // and the local long time.
  std::function<std::string()> clock;

  std::string Folder() const;     // program folder + "Quarantine"
  std::string IndexPath() const;  // program folder + "Quarantine.info"

  // Stores an enciphered copy of the file and enters it. False when the file
  // is already in quarantine or cannot be stored; nothing changes then.
  // The entry's StoredPath names the copy (Find(source)->StoredPath).
  bool Add(std::string_view source, std::string_view task, std::string_view checksum);
  // Writes the file back into targetFolder (ending in a backslash; created
  // when missing) under its own name, then deletes the stored copy and the
  // entry. False when there is no stored copy, the file cannot be written
  // or the index cannot be written; the stored copy and the entry then stay
  // as they were.
  bool Restore(std::string_view source, std::string_view targetFolder);
  // Deletes the stored copy and the entry; false when there is no such
  // entry or its stored copy cannot be deleted (the entry then stays).
  // Does not write the index.
  bool Remove(std::string_view source);
  bool Contains(std::string_view source) const { return Find(source) != nullptr; }
  const TQFileList* Find(std::string_view source) const;
  // The entry whose stored copy this is (see StoredCopyOf); null when none.
  const TQFileList* FindStored(std::string_view storedCopy) const;

  // The list again from the index; an empty list when there is no index.
  // False after an input error; the list is then empty.
  bool Reload();
  // False after an input error; the list is then empty.
  bool ReadIndex(std::string_view path);
  bool ReadIndex() { return ReadIndex(IndexPath()); }
  // Replaces the index in one step; false on an output error.
  bool WriteIndex(std::string_view path);
  // The same for the program's index, which is left alone when it exists
  // but could not be read.
  bool WriteIndex();
  // Deletes every listed stored copy and the index. False (and nothing
  // deleted) when the index exists but cannot be read; false too when a copy
  // cannot be deleted: its entry then stays in a new index.
  bool Clear();

  const std::vector<TQFileList>& Entries() const { return entries_; }
  // The stored copy an entry's file is in: its StoredPath when that names a
  // file directly inside the quarantine folder, otherwise the folder and the
  // bare name of its source path (the only name indexes of earlier versions
  // give).
  std::string StoredCopyOf(const TQFileList& entry) const;
  // Why the last Add, Restore, Remove or Clear failed or what it left behind, in
  // plain words; empty after a clean success.
  const std::string& LastError() const { return error_; }

 private:
  bool Fail(std::string why);
  std::string NewStoredPath(std::string_view source) const;
  bool SharedWithOthers(const TQFileList& entry) const;
  bool DeleteStoredCopy(const std::string& path);

  platform::FileSystem& fs_;
  std::string programFolder_;
  std::vector<TQFileList> entries_;
  bool indexRead_ = false;
  std::string error_;
};

}  // namespace quarantine
