#include "undo/undo_journal.h"

#include <algorithm>

#include "engine/helpers.h"
#include "platform/text.h"
#include "quarantine/quarantine_store.h"
#include "startup/startup_text.h"

namespace undo {
namespace {

using platform::FileSystem;
using platform::kOk;
using platform::Status;
namespace svc = platform::svc;

constexpr platform::Status kDiskFull = 112;
// Distinct names tried for backups begun in the same second.
constexpr int kMaxSameSecond = 1000;
// Entries of the "Backups" folder looked at; more is not a folder the
// program made.
constexpr std::size_t kMaxBackups = 100000;
// Bytes read per round when a renamed file is checked.
constexpr std::size_t kChunk = 256 * 1024;

std::string Why(Status s) {
  switch (s) {
    case platform::kFileNotFound: return "it does not exist";
    case platform::kPathNotFound: return "its folder does not exist";
    case platform::kAccessDenied: return "access is denied";
    case platform::kInvalidHandle:
    case platform::kHandleEof: return "it could not be read whole";
    case platform::kSharingViolation: return "it is in use by another program";
    case kDiskFull: return "the disk is full";
    case platform::kAlreadyExists:
    case platform::kFileExists: return "something else is in the way";
    default: return "system error " + std::to_string(s);
  }
}

// "20261207-130512" and the number after it ("-2"), or nothing when the
// name is not one the journal gives.
struct IdParts {
  std::string base;
  int number = 1;
};
std::optional<IdParts> ParseId(std::string_view id) {
  if (id.size() < 15 || id[8] != '-') return std::nullopt;
  for (std::size_t i = 0; i < 15; ++i)
    if (i != 8 && (id[i] < '0' || id[i] > '9')) return std::nullopt;
  IdParts p{std::string(id.substr(0, 15)), 1};
  if (id.size() == 15) return p;
  if (id[15] != '-' || id.size() > 20 || id.size() < 17 || id[16] == '0') return std::nullopt;
  int n = 0;
  for (char c : id.substr(16)) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + (c - '0');
  }
  if (n < 2) return std::nullopt;
  p.number = n;
  return p;
}

bool Newer(const std::string& a, const std::string& b) {
  const auto pa = ParseId(a), pb = ParseId(b);
  if (pa->base != pb->base) return pa->base > pb->base;
  return pa->number > pb->number;
}

std::string IdBase(const platform::LocalTime& t) {
  std::string text = TimeText(t);  // "2026-12-07 13:05:12"
  std::string id;
  for (char c : text)
    if (c >= '0' && c <= '9') id += c;
  return id.substr(0, 8) + "-" + id.substr(8);
}

platform::LocalTime TimeOfId(const std::string& id) {
  auto t = ParseTimeText(id.substr(0, 4) + "-" + id.substr(4, 2) + "-" + id.substr(6, 2) + " " +
                         id.substr(9, 2) + ":" + id.substr(11, 2) + ":" + id.substr(13, 2));
  return t.value_or(platform::LocalTime{});
}

// A stored copy's name must name a file directly in its backup folder:
// undo reads and deletes what it names.
bool PlainName(const std::string& name) {
  return !name.empty() && name.find_first_of("\\/:") == std::string::npos && name != "." &&
         name != "..";
}

// Lines of a text, split as the INI lists split them, however many.
std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) end = text.size();
    lines.push_back(text.substr(pos, end - pos));
    pos = end;
    if (pos < text.size() && text[pos] == '\r') ++pos;
    if (pos < text.size() && text[pos] == '\n') ++pos;
  }
  return lines;
}

// The section a line opens ("[boot]"), or nothing.
std::optional<std::string> SectionHeader(std::string_view line) {
  std::string t = platform::Trim(line);
  if (t.size() >= 2 && t.front() == '[' && t.back() == ']') return t;
  return std::nullopt;
}

bool Same(const std::optional<platform::RegValue>& now, const std::optional<StoredValue>& v) {
  if (!now || !v) return !now && !v;
  return now->type == v->type && now->data == v->data;
}

// The digest and size of a file read whole, or the reason it could not be.
Status DigestOfFile(FileSystem& fs, std::string_view path, engine::Digest& digest, std::string& hex,
                    std::uint64_t& size, const std::function<void()>& pump) {
  Status err = kOk;
  auto f = fs.Open(path, platform::OpenMode::Read, &err);
  if (!f) return err ? err : platform::kFileNotFound;
  const std::uint64_t expected = f->Size();
  std::vector<char> buffer(kChunk);
  std::uint64_t total = 0;
  for (;;) {
    if (pump) pump();
    const std::size_t n = f->Read(buffer.data(), buffer.size());
    if (n == 0) break;
    digest.Add(buffer.data(), n);
    total += n;
  }
  if (total != expected) return platform::kHandleEof;
  hex = digest.Hex();
  size = total;
  return kOk;
}

Status Md5OfFile(FileSystem& fs, std::string_view path, std::string& md5, std::uint64_t& size,
                 const std::function<void()>& pump) {
  engine::Md5 digest;
  return DigestOfFile(fs, path, digest, md5, size, pump);
}

Status Sha256OfFile(FileSystem& fs, std::string_view path, std::string& sha256,
                    std::uint64_t& size, const std::function<void()>& pump) {
  engine::Sha256 digest;
  return DigestOfFile(fs, path, digest, sha256, size, pump);
}

// Items whose stored copy lies in the backup folder.
bool HasStoredCopy(const BackupItem& item) {
  return item.kind == ItemKind::File || item.kind == ItemKind::Replaced;
}

std::optional<std::uint32_t> StartTypeOf(platform::ServiceHandle& h) {
  std::uint32_t bytes = 0;
  if (h.QueryConfigSize(bytes) != svc::kInsufficientBuffer) return std::nullopt;
  platform::ServiceConfig config;
  if (h.QueryConfig(bytes, config) != kOk) return std::nullopt;
  return config.startType;
}

// Success with no item: there was nothing that could be lost.
Kept NothingToKeep() {
  Kept k;
  k.ok = true;
  return k;
}

std::unique_ptr<platform::ServiceHandle> OpenService(platform::Services& services,
                                                     std::string_view key, std::uint32_t access,
                                                     Status& error) {
  auto manager = services.OpenManager("", svc::kManagerConnect, &error);
  if (!manager) return nullptr;
  return manager->OpenService(key, access, &error);
}

}  // namespace

// ---------------------------------------------------------------------------
// The journal: listing, undo, deletion.

struct Journal::Loaded {
  BackupIndex header;
  std::vector<BackupItem> items;
  std::size_t files = 0;  // index files read
};

Journal::Journal(platform::Machine& machine, std::string programFolder)
    : clock(platform::NowLocal), machine_(machine), programFolder_(std::move(programFolder)) {}

std::string Journal::Folder() const { return programFolder_ + kFolderName; }

std::vector<std::string> Journal::Ids() {
  std::vector<std::string> ids;
  platform::FindData d;
  auto find = machine_.Files().FindFirst(Folder() + "\\*", d);
  if (!find) return ids;
  do {
    if (d.IsDirectory() && ParseId(d.name)) ids.push_back(d.name);
  } while (ids.size() < kMaxBackups && find->Next(d));
  std::sort(ids.begin(), ids.end(), Newer);
  return ids;
}

bool Journal::Load(const std::string& id, Loaded& out, std::string& error) {
  auto& fs = machine_.Files();
  const std::string folder = Folder() + "\\" + id + "\\";
  out = Loaded{};
  for (std::size_t n = 1; n <= kMaxIndexFiles; ++n) {
    const std::string path = folder + IndexFileName(n);
    if (n > 1 && fs.GetAttributes(path) == FileSystem::kInvalidAttributes) return true;
    std::string bytes;
    if (Status s = platform::ReadWholeFile(fs, path, bytes, kMaxIndexFileBytes); s != kOk) {
      error = "its index " + path + " cannot be read: " + Why(s);
      return false;
    }
    auto index = ParseIndexFile(bytes);
    if (!index || index->hasHeader != (n == 1)) {
      error = "its index " + path + " is damaged";
      return false;
    }
    for (const auto& item : index->items) {
      if (HasStoredCopy(item) && !PlainName(item.stored)) {
        error = "its index " + path + " is damaged";
        return false;
      }
    }
    if (n == 1) out.header = *index;
    out.items.insert(out.items.end(), std::make_move_iterator(index->items.begin()),
                     std::make_move_iterator(index->items.end()));
    out.files = n;
  }
  error = "it has more index files than any backup the program makes";
  return false;
}

std::vector<BackupInfo> Journal::List() {
  std::vector<BackupInfo> list;
  for (const auto& id : Ids()) {
    BackupInfo info;
    info.id = id;
    Loaded loaded;
    if (Load(id, loaded, info.error)) {
      info.action = loaded.header.action;
      info.created = loaded.header.created;
      info.items = loaded.items.size();
      for (const auto& item : loaded.items)
        if (HasStoredCopy(item)) info.bytes += item.size;
    } else {
      info.created = TimeOfId(id);
    }
    list.push_back(std::move(info));
  }
  return list;
}

bool Journal::RemoveFolder(const std::string& id, std::string& error) {
  auto& fs = machine_.Files();
  const std::string folder = Folder() + "\\" + id;
  std::vector<std::string> names;
  platform::FindData d;
  if (auto find = fs.FindFirst(folder + "\\*", d)) {
    do {
      if (d.name != "." && d.name != "..") names.push_back(d.name);
    } while (names.size() < kMaxBackups && find->Next(d));
  }
  for (const auto& name : names) {
    const std::string path = folder + "\\" + name;
    fs.SetAttributes(path, platform::fileattr::kNormal);
    if (Status s = fs.DeleteFile(path); s != kOk && s != platform::kFileNotFound) {
      error = path + " cannot be deleted: " + Why(s);
      return false;
    }
  }
  if (Status s = fs.RemoveDirectory(folder); s != kOk) {
    error = folder + " cannot be removed: " + Why(s);
    return false;
  }
  return true;
}

bool Journal::Delete(std::string_view id, std::string* error) {
  std::string why;
  const std::string name(id);
  if (!ParseId(name) || !platform::DirectoryExists(machine_.Files(), Folder() + "\\" + name))
    why = "there is no backup " + name;
  else if (open_.count(name))
    why = "the backup " + name + " is still being written";
  else if (RemoveFolder(name, why))
    return true;
  if (error) *error = why;
  return false;
}

int Journal::RemoveExpired() {
  const auto ids = Ids();  // newest first
  const std::int64_t limit = SecondsOf(clock ? clock() : platform::NowLocal()) -
                             std::int64_t(kKeepDays) * 86400;
  int removed = 0;
  for (std::size_t i = ids.size(); i-- > 1;) {  // oldest first, never the newest
    if (SecondsOf(TimeOfId(ids[i])) >= limit) break;
    if (Delete(ids[i])) ++removed;
  }
  return removed;
}

bool Journal::Rewrite(const std::string& id, Loaded& loaded, std::string& error) {
  auto& fs = machine_.Files();
  const std::string folder = Folder() + "\\" + id + "\\";
  const std::size_t files = std::max<std::size_t>(1, (loaded.items.size() + kItemsPerFile - 1) / kItemsPerFile);
  for (std::size_t n = 1; n <= files; ++n) {
    const std::string text = FormatIndexFile(loaded.header, n == 1, loaded.items,
                                             (n - 1) * kItemsPerFile, kItemsPerFile);
    if (Status s = platform::WriteFileReplacing(fs, folder + IndexFileName(n), text); s != kOk) {
      error = "its index cannot be written: " + Why(s);
      return false;
    }
  }
  for (std::size_t n = files + 1; n <= loaded.files; ++n) fs.DeleteFile(folder + IndexFileName(n));
  const bool values = std::any_of(loaded.items.begin(), loaded.items.end(),
                                  [](const BackupItem& i) { return i.kind == ItemKind::Value; });
  if (values)
    platform::WriteFileReplacing(fs, folder + kRegeditName, RegeditText(loaded.items));
  else
    fs.DeleteFile(folder + kRegeditName);
  return true;
}

UndoReport Journal::Undo(std::string_view wanted) {
  UndoReport report;
  const auto ids = Ids();
  if (ids.empty()) {
    report.error = "There is nothing to undo.";
    return report;
  }
  std::string id = ids.front();
  if (!wanted.empty()) {
    auto it = std::find_if(ids.begin(), ids.end(),
                           [&](const std::string& i) { return platform::SameText(i, wanted); });
    if (it == ids.end()) {
      report.error = "There is no backup " + std::string(wanted) + " to undo.";
      return report;
    }
    id = *it;
  }
  report.id = id;
  if (open_.count(id)) {
    report.status = UndoReport::Status::Unreadable;
    report.error = "The backup " + id + " is still being written.";
    return report;
  }
  Loaded loaded;
  std::string why;
  if (!Load(id, loaded, why)) {
    report.status = UndoReport::Status::Unreadable;
    report.created = TimeOfId(id);
    report.error = "The backup " + id + " cannot be read: " + why + ".";
    return report;
  }
  report.action = loaded.header.action;
  report.created = loaded.header.created;

  const std::string folder = Folder() + "\\" + id + "\\";
  std::vector<BackupItem> left;
  std::vector<std::string> restoredCopies;
  // Newest change first: a value moved to another key is taken out of its
  // new place before it goes back to the old one, folders come back before
  // their files.
  for (std::size_t k = loaded.items.size(); k-- > 0;) {
    const BackupItem& item = loaded.items[k];
    UndoItem outcome = Restore(folder, item);
    if (outcome.result == UndoItem::Result::Restored) {
      if (HasStoredCopy(item)) restoredCopies.push_back(folder + item.stored);
    } else {
      left.insert(left.begin(), item);
    }
    report.items.push_back(std::move(outcome));
  }
  const bool failed = std::any_of(report.items.begin(), report.items.end(), [](const UndoItem& i) {
    return i.result == UndoItem::Result::Failed;
  });
  report.status = failed         ? UndoReport::Status::Failed
                  : left.empty() ? UndoReport::Status::Done
                                 : UndoReport::Status::Conflicts;
  if (failed) report.error = "Some items could not be put back.";
  // What was written back must last before the backup forgets it; if it
  // cannot, the backup stays whole and a later undo finds what did come
  // back as it was.
  if (save && !save(why)) {
    report.status = UndoReport::Status::Failed;
    report.error = "What was put back could not be saved: " + why + ". The backup " + id + " is kept whole.";
    return report;
  }

  if (left.empty()) {
    if (RemoveFolder(id, why)) {
      report.removed = true;
    } else {
      // Everything is back: a backup that stays must not put it back twice.
      loaded.items.clear();
      Rewrite(id, loaded, why);
    }
    return report;
  }
  loaded.items = std::move(left);
  if (Rewrite(id, loaded, why)) {
    for (const auto& copy : restoredCopies) machine_.Files().DeleteFile(copy);
  } else {
    report.error += (report.error.empty() ? "" : " ") + std::string("The backup ") + id + " " + why + ".";
  }
  return report;
}

UndoItem Journal::Restore(const std::string& folder, const BackupItem& item) {
  auto& fs = machine_.Files();
  UndoItem out{Describe(item), UndoItem::Result::Restored, {}};
  auto conflict = [&](std::string why) {
    out.result = UndoItem::Result::Conflict;
    out.reason = std::move(why);
    return out;
  };
  auto failure = [&](std::string why) {
    out.result = UndoItem::Result::Failed;
    out.reason = std::move(why);
    return out;
  };
  // The item's stored copy decoded beside its place and checked before it is
  // put there; why it could not be, or empty.
  auto decode = [&](const std::string& temp, engine::Digest& digest, const std::string& hex) {
    const std::string stored = folder + item.stored;
    std::uint64_t size = 0;
    Status s = quarantine::CodeFile(fs, stored, temp, quarantine::Direction::Forward, pump,
                                    [&](const std::uint8_t* b, std::size_t n) {
                                      digest.Add(b, n);
                                      size += n;
                                    });
    if (s != kOk) return "it cannot be written: " + Why(s);
    if (size == item.size && digest.Hex() == hex) return std::string();
    fs.DeleteFile(temp);
    return "its stored copy " + stored + " is damaged";
  };
  // Whether the file at path is the one the item describes.
  auto sameFile = [&](const std::string& path) {
    std::string md5;
    std::uint64_t size = 0;
    return Md5OfFile(fs, path, md5, size, pump) == kOk && size == item.size && md5 == item.md5;
  };

  switch (item.kind) {
    case ItemKind::File: {
      const auto now = fs.GetAttributes(item.path);
      if (now != FileSystem::kInvalidAttributes) {
        if (now & platform::fileattr::kDirectory) return conflict("a folder of that name is there now");
        if (sameFile(item.path)) return out;  // it is there as it was
        return conflict("another file is there now");
      }
      const std::string stored = folder + item.stored;
      if (!platform::FileExists(fs, stored)) return failure("its stored copy " + stored + " is missing");
      if (Status s = platform::ForceDirectories(fs, platform::ExtractFilePath(item.path)); s != kOk)
        return failure("its folder cannot be created: " + Why(s));
      const std::string temp = item.path + ".kvxundo";
      engine::Md5 digest;
      if (auto why = decode(temp, digest, item.md5); !why.empty()) return failure(why);
      // A move never replaces: something that appeared meanwhile stays.
      Status s = fs.MoveFile(temp, item.path);
      if (s != kOk) {
        fs.DeleteFile(temp);
        if (fs.GetAttributes(item.path) != FileSystem::kInvalidAttributes)
          return conflict("another file is there now");
        return failure("it cannot be written: " + Why(s));
      }
      if (item.lastWrite) fs.SetLastWriteTime(item.path, item.lastWrite);
      if (item.attributes) fs.SetAttributes(item.path, item.attributes);
      return out;
    }
    case ItemKind::Folder: {
      const auto now = fs.GetAttributes(item.path);
      if (now != FileSystem::kInvalidAttributes)
        return now & platform::fileattr::kDirectory ? out : conflict("a file of that name is there now");
      if (Status s = platform::ForceDirectories(fs, item.path); s != kOk)
        return failure("it cannot be created: " + Why(s));
      return out;
    }
    case ItemKind::Value: {
      auto& reg = machine_.Reg();
      std::optional<platform::RegValue> now;
      if (auto key = reg.Open(item.root, item.key, platform::keyaccess::kRead)) now = key->Query(item.name);
      if (Same(now, item.before)) return out;
      if (!Same(now, item.after))
        return conflict(now ? "another value is there now" : "the value has been deleted since");
      // A profile's values live under HKEY_USERS only while its registry is
      // loaded (on Windows, while that user is logged on): never make up a
      // key there that Windows would not read.
      if (item.root == platform::Hive::Users && item.before) {
        const std::string user = item.key.substr(0, item.key.find('\\'));
        if (!reg.Open(platform::Hive::Users, user, platform::keyaccess::kRead))
          return failure("the registry of that user (HKEY_USERS\\" + user +
                         ") is not loaded; it is while that user is logged on");
      }
      Status err = kOk;
      auto key = item.before ? reg.Create(item.root, item.key, platform::keyaccess::kAllAccess, &err)
                             : reg.Open(item.root, item.key, platform::keyaccess::kAllAccess, &err);
      if (!key) return failure("its key cannot be opened: " + Why(err));
      err = item.before ? key->Set(item.name, item.before->type, item.before->data)
                        : key->DeleteValue(item.name);
      if (err != kOk) return failure("it cannot be written: " + Why(err));
      return out;
    }
    case ItemKind::IniLine: {
      std::string text;
      if (Status s = platform::ReadWholeFile(fs, item.path, text, startup::kMaxIniBytes); s != kOk)
        return s == platform::kFileNotFound ? conflict("the file has been deleted since")
                                            : failure("the file cannot be read: " + Why(s));
      const auto lines = Lines(text);
      std::string section;
      std::optional<std::size_t> changed;
      bool asItWas = false;
      for (std::size_t i = 0; i < lines.size() && !changed; ++i) {
        if (auto header = SectionHeader(lines[i])) section = *header;
        if (!platform::SameText(section, item.section)) continue;
        if (lines[i] == item.newText) changed = i;
        else if (lines[i] == item.oldText) asItWas = true;
      }
      if (!changed) return asItWas ? out : conflict("the line has been changed since");
      std::string rewritten;
      rewritten.reserve(text.size() + item.oldText.size() + 2);
      for (std::size_t i = 0; i < lines.size(); ++i) {
        rewritten += i == *changed ? std::string_view(item.oldText) : lines[i];
        rewritten += "\r\n";
      }
      if (Status s = platform::WriteFileReplacing(fs, item.path, rewritten); s != kOk)
        return failure("the file cannot be written: " + Why(s));
      return out;
    }
    case ItemKind::StartType: {
      Status err = kOk;
      auto h = OpenService(machine_.Svc(), item.service, svc::kQueryConfig | svc::kChangeConfig, err);
      if (!h)
        return err == svc::kServiceDoesNotExist ? conflict("the service no longer exists")
                                                : failure("the service cannot be opened: " + Why(err));
      const auto now = StartTypeOf(*h);
      if (!now) return failure("its configuration cannot be read");
      if (*now == item.oldStart) return out;
      if (*now != item.newStart) return conflict("its start type has been changed since");
      if (Status s = h->ChangeStartType(item.oldStart); s != kOk)
        return failure("its start type cannot be changed: " + Why(s));
      return out;
    }
    case ItemKind::Moved: {
      if (fs.GetAttributes(item.path) != FileSystem::kInvalidAttributes)
        return sameFile(item.path) ? out : conflict("another file is there now");
      if (!platform::FileExists(fs, item.target))
        return conflict("the renamed file " + item.target + " is gone");
      std::string md5;
      std::uint64_t size = 0;
      if (Md5OfFile(fs, item.target, md5, size, pump) != kOk || md5 != item.md5 || size != item.size)
        return conflict("the renamed file " + item.target + " has been changed since");
      if (Status s = fs.MoveFile(item.target, item.path); s != kOk)
        return failure("it cannot be renamed back: " + Why(s));
      return out;
    }
    case ItemKind::Replaced: {
      const auto now = fs.GetAttributes(item.path);
      if (now == FileSystem::kInvalidAttributes) return conflict("it has been deleted since");
      if (now & platform::fileattr::kDirectory) return conflict("a folder of that name is there now");
      std::string sha256;
      std::uint64_t size = 0;
      if (Status s = Sha256OfFile(fs, item.path, sha256, size, pump); s != kOk)
        return s == platform::kSharingViolation
                   ? conflict("it is in use (a running Windows keeps its registry files open)")
                   : failure("it cannot be read: " + Why(s));
      if (sha256 == item.sha256 && size == item.size) return out;  // it is as it was
      // Anything but the bytes written then is a change made since (a
      // Windows that ran meanwhile): those stay.
      if (sha256 != item.newSha256) return conflict("it has been changed since it was saved");
      if (!platform::FileExists(fs, folder + item.stored))
        return failure("its stored copy " + folder + item.stored + " is missing");
      const std::string temp = item.path + ".kvxundo";
      engine::Sha256 digest;
      if (auto why = decode(temp, digest, item.sha256); !why.empty()) return failure(why);
      if (Status s = fs.ReplaceFile(temp, item.path); s != kOk) {
        fs.DeleteFile(temp);
        return failure("it cannot be replaced: " + Why(s));
      }
      return out;
    }
  }
  return failure("unknown item");
}

// ---------------------------------------------------------------------------
// One action's backup.

Backup::Backup(Journal& journal, std::string action) : journal_(journal) {
  header_.action = std::move(action);
  header_.hasHeader = true;
}

Backup::~Backup() { Finish(); }

std::string Backup::Folder() const { return journal_.Folder() + "\\" + id_ + "\\"; }

void Backup::NotKept(const std::string& what, const std::string& why) {
  // A walk that tries an item again on each pass tells of it once.
  std::string line = what + ": " + why;
  if (std::find(failures_.begin(), failures_.end(), line) == failures_.end())
    failures_.push_back(std::move(line));
}

Kept Backup::Fail(const std::string& what, std::string why) {
  if (tell_) NotKept(what, why);
  Kept k;
  k.error = std::move(why);
  return k;
}

bool Backup::Begin(std::string& error) {
  if (!id_.empty()) return true;
  auto& fs = journal_.machine_.Files();
  const std::string root = journal_.Folder();
  const auto attributes = fs.GetAttributes(root);
  if (attributes != FileSystem::kInvalidAttributes && !(attributes & platform::fileattr::kDirectory)) {
    error = "the backup folder " + root + " cannot be made: a file of that name is in the way";
    return false;
  }
  if (Status s = platform::ForceDirectories(fs, root); s != kOk) {
    error = "the backup folder " + root + " cannot be made: " + Why(s);
    return false;
  }
  header_.created = journal_.clock ? journal_.clock() : platform::NowLocal();
  const std::string base = IdBase(header_.created);
  for (int n = 1; n <= kMaxSameSecond; ++n) {
    const std::string id = n == 1 ? base : base + "-" + std::to_string(n);
    const std::string folder = root + "\\" + id;
    if (journal_.open_.count(id) || fs.GetAttributes(folder) != FileSystem::kInvalidAttributes)
      continue;
    if (Status s = fs.CreateDirectory(folder); s != kOk) {
      error = "the backup folder " + folder + " cannot be made: " + Why(s);
      return false;
    }
    const std::string text = FormatIndexFile(header_, true, {}, 0, 0);
    if (Status s = platform::WriteFileReplacing(fs, folder + "\\" + IndexFileName(1), text); s != kOk) {
      fs.RemoveDirectory(folder);
      error = "the backup index cannot be written in " + folder + ": " + Why(s);
      return false;
    }
    id_ = id;
    journal_.open_.insert(id_);
    return true;
  }
  error = "too many backups were begun in one second";
  return false;
}

bool Backup::WriteIndexFile(std::size_t file, std::string& error) {
  auto& fs = journal_.machine_.Files();
  const std::string path = Folder() + IndexFileName(file + 1);
  if (file > 0 && items_.size() <= file * kItemsPerFile) {
    fs.DeleteFile(path);
    return true;
  }
  const std::string text =
      FormatIndexFile(header_, file == 0, items_, file * kItemsPerFile, kItemsPerFile);
  if (Status s = platform::WriteFileReplacing(fs, path, text); s != kOk) {
    error = "the backup index cannot be written: " + Why(s);
    return false;
  }
  return true;
}

Kept Backup::Add(BackupItem item, const std::string& what) {
  std::string why;
  if (!Begin(why)) return Fail(what, why);
  auto& fs = journal_.machine_.Files();
  const bool value = item.kind == ItemKind::Value;
  items_.push_back(std::move(item));
  serials_.push_back(nextSerial_);
  const std::size_t file = (items_.size() - 1) / kItemsPerFile;
  bool ok = WriteIndexFile(file, why);
  if (ok && value) {
    if (Status s = platform::WriteFileReplacing(fs, Folder() + kRegeditName, RegeditText(items_));
        s != kOk) {
      why = "the regedit file of the backup cannot be written: " + Why(s);
      ok = false;
    }
  }
  if (!ok) {
    items_.pop_back();
    serials_.pop_back();
    std::string ignored;
    WriteIndexFile(file, ignored);  // without the item again
    return Fail(what, why);
  }
  Kept k;
  k.ok = true;
  k.items.push_back(nextSerial_++);
  return k;
}

Kept Backup::KeepFile(std::string_view path, bool tell) {
  tell_ = tell;
  struct Reset {
    bool& flag;
    ~Reset() { flag = true; }
  } reset{tell_};
  auto& fs = journal_.machine_.Files();
  const std::string what(path);
  const auto attributes = fs.GetAttributes(path);
  if (attributes == FileSystem::kInvalidAttributes) return NothingToKeep();  // nothing to lose
  if (attributes & platform::fileattr::kDirectory) return Fail(what, "it is a folder");
  std::string why;
  if (!Begin(why)) return Fail(what, why);
  BackupItem item;
  item.kind = ItemKind::File;
  item.path = what;
  item.attributes = attributes;
  platform::FindData d;
  if (fs.FindFirst(path, d)) item.lastWrite = d.lastWrite;
  engine::Md5 digest;
  return AddWithCopy(path, std::move(item), digest, what);
}

Kept Backup::AddWithCopy(std::string_view path, BackupItem item, engine::Digest& digest,
                         const std::string& what) {
  auto& fs = journal_.machine_.Files();
  item.stored = std::to_string(nextCopy_++) + ".dat";
  const std::string stored = Folder() + item.stored;
  const Status s = quarantine::CodeFile(fs, path, stored, quarantine::Direction::Inverse,
                                        journal_.pump, [&](const std::uint8_t* b, std::size_t n) {
                                          digest.Add(b, n);
                                          item.size += n;
                                        });
  if (s != kOk) {
    fs.DeleteFile(stored);
    Kept k = Fail(what, "it cannot be copied into the backup: " + Why(s));
    k.inUse = s == platform::kSharingViolation;
    return k;
  }
  (item.kind == ItemKind::File ? item.md5 : item.sha256) = digest.Hex();
  Kept k = Add(std::move(item), what);
  if (!k) fs.DeleteFile(stored);
  return k;
}

Kept Backup::KeepReplacement(std::string_view path, std::string_view replacement) {
  auto& fs = journal_.machine_.Files();
  BackupItem item;
  item.kind = ItemKind::Replaced;
  item.path = std::string(path);
  const std::string what = Describe(item);
  const auto attributes = fs.GetAttributes(path);
  if (attributes == FileSystem::kInvalidAttributes) return NothingToKeep();  // nothing to lose
  if (attributes & platform::fileattr::kDirectory) return Fail(what, "it is a folder");
  std::uint64_t newSize = 0;
  if (Status s = Sha256OfFile(fs, replacement, item.newSha256, newSize, journal_.pump); s != kOk)
    return Fail(what, "its new contents cannot be read: " + Why(s));
  std::string why;
  if (!Begin(why)) return Fail(what, why);
  engine::Sha256 digest;
  return AddWithCopy(path, std::move(item), digest, what);
}

Kept Backup::KeepFolder(std::string_view path) {
  BackupItem item;
  item.kind = ItemKind::Folder;
  item.path = std::string(path);
  const std::string what = item.path;
  return Add(std::move(item), what);
}

BackupItem Backup::ValueItem(platform::Hive root, std::string_view key, std::string_view name) {
  BackupItem item;
  item.kind = ItemKind::Value;
  item.root = root;
  item.key = std::string(key);
  item.name = std::string(name);
  if (journal_.valuePlace) journal_.valuePlace(item.root, item.key, name);
  if (auto k = journal_.machine_.Reg().Open(item.root, item.key, platform::keyaccess::kRead)) {
    if (auto v = k->Query(name)) item.before = StoredValue{v->type, std::move(v->data)};
  }
  return item;
}

Kept Backup::KeepValueChange(platform::Hive root, std::string_view key, std::string_view name,
                             platform::ValueType type, std::string_view data) {
  BackupItem item = ValueItem(root, key, name);
  item.after = StoredValue{type, std::string(data)};
  if (item.before == item.after) return NothingToKeep();
  const std::string what = Describe(item);
  return Add(std::move(item), what);
}

Kept Backup::KeepValue(platform::Hive root, std::string_view key, std::string_view name) {
  BackupItem item = ValueItem(root, key, name);
  if (!item.before) return NothingToKeep();  // nothing there to lose
  const std::string what = Describe(item);
  return Add(std::move(item), what);
}

Kept Backup::KeepIniChange(std::string_view path, std::string_view before, std::string_view after) {
  const auto was = Lines(before), will = Lines(after);
  Kept all = NothingToKeep();
  std::string section;
  for (std::size_t i = 0; i < was.size(); ++i) {
    if (auto header = SectionHeader(was[i])) section = *header;
    const std::string_view now = i < will.size() ? will[i] : std::string_view();
    if (was[i] == now) continue;
    BackupItem item;
    item.kind = ItemKind::IniLine;
    item.path = std::string(path);
    item.section = section;
    item.oldText = std::string(was[i]);
    item.newText = std::string(now);
    const std::string what = Describe(item);
    Kept k = Add(std::move(item), what);
    if (!k) {
      NotDone(all);
      return k;
    }
    all.items.push_back(k.items.front());
  }
  return all;
}

Kept Backup::KeepStartType(std::string_view keyName, std::uint32_t newStart) {
  BackupItem item;
  item.kind = ItemKind::StartType;
  item.service = std::string(keyName);
  item.newStart = newStart;
  const std::string what = Describe(item);
  Status err = kOk;
  auto h = OpenService(journal_.machine_.Svc(), keyName, svc::kQueryConfig, err);
  if (!h) return Fail(what, "the service cannot be opened: " + Why(err));
  auto now = StartTypeOf(*h);
  if (!now) return Fail(what, "its configuration cannot be read");
  if (*now == newStart) return NothingToKeep();
  item.oldStart = *now;
  return Add(std::move(item), what);
}

Kept Backup::KeepMove(std::string_view from, std::string_view to) {
  BackupItem item;
  item.kind = ItemKind::Moved;
  item.path = std::string(from);
  item.target = std::string(to);
  const std::string what = Describe(item);
  if (Status s = Md5OfFile(journal_.machine_.Files(), from, item.md5, item.size, journal_.pump); s != kOk)
    return Fail(what, "it cannot be read: " + Why(s));
  return Add(std::move(item), what);
}

void Backup::NotDone(const Kept& kept) {
  if (kept.items.empty() || id_.empty()) return;
  auto& fs = journal_.machine_.Files();
  const std::size_t filesBefore = (items_.size() + kItemsPerFile - 1) / kItemsPerFile;
  bool values = false;
  for (std::size_t serial : kept.items) {
    auto at = std::find(serials_.begin(), serials_.end(), serial);
    if (at == serials_.end()) continue;
    const auto n = static_cast<std::size_t>(at - serials_.begin());
    if (HasStoredCopy(items_[n])) fs.DeleteFile(Folder() + items_[n].stored);
    values = values || items_[n].kind == ItemKind::Value;
    items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(n));
    serials_.erase(at);
  }
  // The items after the first one taken out moved up: every index file is
  // written again (this is rare: a removal that failed after its backup).
  std::string ignored;
  for (std::size_t file = 0; file < std::max<std::size_t>(filesBefore, 1); ++file)
    WriteIndexFile(file, ignored);
  if (values) platform::WriteFileReplacing(fs, Folder() + kRegeditName, RegeditText(items_));
}

void Backup::Finish() {
  if (finished_) return;
  finished_ = true;
  if (id_.empty()) return;
  journal_.open_.erase(id_);
  std::string ignored;
  if (items_.empty()) journal_.RemoveFolder(id_, ignored);
}

}  // namespace undo
