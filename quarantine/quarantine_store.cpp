#include "quarantine/quarantine_store.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "platform/local_time.h"
#include "platform/text.h"

namespace quarantine {
namespace {

using platform::FileSystem;
using platform::kOk;
using platform::Status;

// Bytes coded per round between message pumps: a multiple of the cipher's
// block, so only the last round can hold a partial block.
constexpr std::size_t kChunk = 256 * 1024;
// A stored copy that will not go away is given up on after this many tries.
constexpr int kDeleteAttempts = 20;
// Distinct names tried for files that share a bare name.
constexpr int kMaxNameNumber = 100000;

std::string DefaultClock() {
  const auto now = platform::NowLocal();
  return platform::ShortDateText(now) + ", " + platform::LongTimeText(now);
}

// Reads until the buffer is full or the file ends.
std::size_t ReadFull(platform::File& f, std::uint8_t* buffer, std::size_t n) {
  std::size_t got = 0;
  while (got < n) {
    const std::size_t r = f.Read(buffer + got, n - got);
    if (r == 0) break;
    got += r;
  }
  return got;
}

std::string Describe(Status s) {
  switch (s) {
    case platform::kFileNotFound: return "the file does not exist";
    case platform::kPathNotFound: return "the folder does not exist";
    case platform::kAccessDenied: return "access is denied";
    case platform::kSharingViolation: return "the file is in use by another program";
    default: return "system error " + std::to_string(s);
  }
}

}  // namespace

Status CodeFile(FileSystem& fs, std::string_view from, std::string_view to, Direction direction,
                const std::function<void()>& pump, const PlainBytes& plain) {
  Status err = kOk;
  auto in = fs.Open(from, platform::OpenMode::Read, &err);
  if (!in) return err ? err : platform::kFileNotFound;
  const std::uint64_t size = in->Size();
  const std::string temp = platform::ReplacementTempPath(to);
  Status s = kOk;
  {
    auto out = fs.Open(temp, platform::OpenMode::Write, &err);
    if (!out) return err ? err : platform::kAccessDenied;
    QuarantineTransform transform(direction);
    if (!transform.Ready()) s = platform::kInvalidParameter;
    std::vector<std::uint8_t> buffer(kChunk), coded(kChunk);
    std::uint64_t done = 0;
    while (s == kOk) {
      if (pump) pump();
      const std::size_t n = ReadFull(*in, buffer.data(), buffer.size());
      if (n == 0) break;
      transform.Code(buffer.data(), coded.data(), n);
      if (plain) plain(direction == Direction::Inverse ? buffer.data() : coded.data(), n);
      s = out->Write(coded.data(), n);
      done += n;
      if (n < buffer.size()) break;
    }
    // A short read is an input error, not the end of the file.
    if (s == kOk && done != size) s = platform::kInvalidHandle;
    if (s == kOk) s = out->Flush();
  }
  in.reset();
  if (s == kOk) s = fs.ReplaceFile(temp, to);
  if (s != kOk) fs.DeleteFile(temp);
  return s;
}

QuarantineStore::QuarantineStore(FileSystem& fs, std::string programFolder)
    : clock(DefaultClock), fs_(fs), programFolder_(std::move(programFolder)) {}

std::string QuarantineStore::Folder() const { return programFolder_ + kFolderName; }
std::string QuarantineStore::IndexPath() const { return programFolder_ + kIndexName; }

bool QuarantineStore::Fail(std::string why) {
  error_ = std::move(why);
  return false;
}

const TQFileList* QuarantineStore::Find(std::string_view source) const {
  const std::string key = platform::LowerCase(source);
  for (const auto& e : entries_)
    if (platform::LowerCase(e.SourcePath) == key) return &e;
  return nullptr;
}

const TQFileList* QuarantineStore::FindStored(std::string_view storedCopy) const {
  for (const auto& e : entries_)
    if (platform::SameText(StoredCopyOf(e), storedCopy)) return &e;
  return nullptr;
}

std::string QuarantineStore::StoredCopyOf(const TQFileList& e) const {
  const std::string folder = Folder() + "\\";
  const std::string& stored = e.StoredPath;
  if (stored.size() > folder.size() && platform::SameText(stored.substr(0, folder.size()), folder)) {
    // Only a plain name inside the folder: an index can be edited by anyone,
    // and restore and remove delete what this names.
    const std::string name = stored.substr(folder.size());
    if (name.find_first_of("\\/:") == std::string::npos && name != "." && name != "..")
      return stored;
  }
  return folder + platform::ExtractFileName(e.SourcePath);
}

bool QuarantineStore::SharedWithOthers(const TQFileList& entry) const {
  const std::string copy = StoredCopyOf(entry);
  return std::any_of(entries_.begin(), entries_.end(), [&](const TQFileList& e) {
    return &e != &entry && platform::SameText(StoredCopyOf(e), copy);
  });
}

// The bare name of the source, as earlier versions named every copy; a file
// whose bare name is taken (by another entry or by any file in the folder)
// gets "name.2", "name.3", ... so no copy is ever overwritten.
std::string QuarantineStore::NewStoredPath(std::string_view source) const {
  const std::string base = Folder() + "\\" + platform::ExtractFileName(source);
  auto taken = [&](const std::string& path) {
    if (fs_.GetAttributes(path) != FileSystem::kInvalidAttributes) return true;
    if (fs_.GetAttributes(platform::ReplacementTempPath(path)) != FileSystem::kInvalidAttributes)
      return true;
    return std::any_of(entries_.begin(), entries_.end(), [&](const TQFileList& e) {
      return platform::SameText(StoredCopyOf(e), path);
    });
  };
  if (!taken(base)) return base;
  for (int n = 2; n <= kMaxNameNumber; ++n) {
    std::string path = base + "." + std::to_string(n);
    if (!taken(path)) return path;
  }
  return {};
}

bool QuarantineStore::Add(std::string_view source, std::string_view task,
                          std::string_view checksum) {
  error_.clear();
  // Entries of earlier runs must survive the index write below: an index
  // that exists but cannot be read is never overwritten.
  if (!indexRead_ && !Reload())
    return Fail("the quarantine index " + IndexPath() + " cannot be read");
  if (Contains(source)) return Fail("the file is already in quarantine");
  const std::string added = clock ? clock() : std::string();
  if (!platform::DirectoryExists(fs_, Folder()) && fs_.CreateDirectory(Folder()) != kOk)
    return Fail("the folder " + Folder() + " cannot be created");
  const std::string stored = NewStoredPath(source);
  if (stored.empty()) return Fail("no free name for the stored copy");
  if (Status s = CodeFile(fs_, source, stored, Direction::Inverse, pump); s != kOk)
    return Fail("cannot store the file: " + Describe(s));
  entries_.push_back({std::string(source), stored, std::string(task), added, std::string(checksum)});
  // An entry the index does not record would be lost at the next start,
  // while the caller goes on to delete the original.
  if (!WriteIndex()) {
    entries_.pop_back();
    fs_.DeleteFile(stored);
    return Fail("the quarantine index " + IndexPath() + " cannot be written");
  }
  return true;
}

bool QuarantineStore::DeleteStoredCopy(const std::string& path) {
  for (int attempt = 0; attempt < kDeleteAttempts; ++attempt) {
    if (!platform::FileExists(fs_, path)) return true;
    fs_.DeleteFile(path);
    if (pump) pump();
  }
  return !platform::FileExists(fs_, path);
}

bool QuarantineStore::Restore(std::string_view source, std::string_view targetFolder) {
  error_.clear();
  // The entry names the stored copy; without it the bare name is tried.
  if (!indexRead_) Reload();
  const TQFileList* entry = Find(source);
  const std::string stored =
      StoredCopyOf(entry ? *entry : TQFileList{std::string(source), {}, {}, {}, {}});
  if (!platform::DirectoryExists(fs_, Folder()) || !platform::FileExists(fs_, stored))
    return Fail("the stored copy " + stored + " does not exist");
  if (!targetFolder.empty() && platform::ForceDirectories(fs_, targetFolder) != kOk)
    return Fail("the folder " + std::string(targetFolder) + " cannot be created");
  const std::string target = std::string(targetFolder) + platform::ExtractFileName(source);
  // Decoded into a separate file: the stored copy stays as it is until the
  // restored file is complete.
  if (Status s = CodeFile(fs_, stored, target, Direction::Forward, pump); s != kOk)
    return Fail("cannot write " + target + ": " + Describe(s));
  // Window messages ran during the copy and may have re-read the list.
  entry = Find(source);
  const bool shared = entry && SharedWithOthers(*entry);
  // The index first: should it fail, the entry and its copy both stay.
  const std::vector<TQFileList> before = entries_;
  const std::string key = platform::LowerCase(source);
  if (std::erase_if(entries_,
                    [&](const TQFileList& e) { return platform::LowerCase(e.SourcePath) == key; }) &&
      !WriteIndex()) {
    entries_ = before;
    return Fail("the quarantine index " + IndexPath() + " cannot be written; " + target +
                " was restored but stays in quarantine");
  }
  if (!shared && !DeleteStoredCopy(stored))
    error_ = "the stored copy " + stored + " could not be deleted";
  return true;
}

bool QuarantineStore::Remove(std::string_view source) {
  error_.clear();
  bool first = true, result = false;
  const std::string key = platform::LowerCase(source);
  for (auto it = entries_.begin(); it != entries_.end();) {
    if (platform::LowerCase(it->SourcePath) != key) {
      ++it;
      continue;
    }
    const std::string stored = StoredCopyOf(*it);
    bool deleted = SharedWithOthers(*it) || !platform::FileExists(fs_, stored) ||
                   fs_.DeleteFile(stored) == kOk;
    if (first) {
      result = deleted;
      first = false;
    }
    // An entry whose copy stays keeps its place: the copy is not orphaned.
    if (deleted) {
      it = entries_.erase(it);
    } else {
      error_ = "the stored copy " + stored + " cannot be deleted";
      ++it;
    }
  }
  if (first) error_ = "no such task";
  return result;
}

bool QuarantineStore::Reload() {
  if (platform::FileExists(fs_, IndexPath())) return ReadIndex();
  entries_.clear();
  indexRead_ = true;
  return true;
}

bool QuarantineStore::ReadIndex(std::string_view path) {
  entries_.clear();
  indexRead_ = false;
  Status err = kOk;
  auto f = fs_.Open(path, platform::OpenMode::Read, &err);
  if (!f) return false;
  const std::uint64_t size = f->Size();
  if (size > kMaxIndexBytes) return false;
  std::string bytes(static_cast<std::size_t>(size), '\0');
  if (ReadFull(*f, reinterpret_cast<std::uint8_t*>(bytes.data()), bytes.size()) != bytes.size())
    return false;
  auto parsed = ParseIndex(bytes);
  if (!parsed) return false;
  entries_ = std::move(*parsed);
  indexRead_ = true;
  return true;
}

bool QuarantineStore::WriteIndex() {
  // A damaged index is kept for whoever can mend it, not replaced by the
  // empty list its failed reading left.
  if (!indexRead_ && platform::FileExists(fs_, IndexPath())) return false;
  return WriteIndex(IndexPath());
}

bool QuarantineStore::WriteIndex(std::string_view path) {
  return platform::WriteFileReplacing(fs_, path, FormatIndex(entries_)) == kOk;
}

bool QuarantineStore::Clear() {
  error_.clear();
  // Without the index the stored copies are unknown: deleting it would
  // orphan them all.
  if (!indexRead_ && !Reload())
    return Fail("the quarantine index " + IndexPath() + " cannot be read");
  // The index goes first: a failure later leaves stray copies, never
  // entries whose copies are gone.
  if (platform::FileExists(fs_, IndexPath()) && fs_.DeleteFile(IndexPath()) != kOk)
    return Fail("the quarantine index " + IndexPath() + " cannot be deleted");
  // The deletions let messages run, and a refresh meanwhile reads the list
  // anew: the walk goes over its own copy.
  const std::vector<TQFileList> entries = entries_;
  std::vector<TQFileList> kept;
  for (const auto& e : entries)
    if (!DeleteStoredCopy(StoredCopyOf(e))) kept.push_back(e);
  entries_ = std::move(kept);
  if (entries_.empty()) return true;
  // Entries whose copies remain are listed again so they can be removed later.
  if (!WriteIndex())
    return Fail("the quarantine index " + IndexPath() + " cannot be written");
  return Fail(std::to_string(entries_.size()) + " stored copies could not be deleted");
}

}  // namespace quarantine
