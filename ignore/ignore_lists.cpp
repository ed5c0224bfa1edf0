#include "ignore/ignore_lists.h"

#include <charconv>
#include <optional>

#include "platform/text.h"

namespace ignore {
namespace {

// Lines ended by CR LF (a lone LF is taken as a line end too); the last line
// may lack its end.
class Lines {
 public:
  explicit Lines(std::string_view bytes) : bytes_(bytes) {}
  std::optional<std::string> Next() {
    if (pos_ >= bytes_.size()) return std::nullopt;
    std::size_t end = bytes_.find('\n', pos_);
    std::size_t stop = end == std::string_view::npos ? bytes_.size() : end;
    std::string_view line = bytes_.substr(pos_, stop - pos_);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    pos_ = end == std::string_view::npos ? bytes_.size() : end + 1;
    return std::string(line);
  }
  // A decimal number with optional blanks around it and an optional sign.
  std::optional<std::int32_t> NextNumber() {
    auto line = Next();
    if (!line) return std::nullopt;
    std::string_view s = *line;
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    std::int32_t v = 0;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (s.empty() || ec != std::errc() || p != s.data() + s.size()) return std::nullopt;
    return v;
  }
  // "1" sets, "0" clears, anything else keeps `flag` as it was.
  bool NextFlag(bool& flag) {
    auto line = Next();
    if (!line) return false;
    if (*line == "1") flag = true;
    else if (*line == "0") flag = false;
    return true;
  }
  std::size_t Pos() const { return pos_; }
  // Whether nothing but line ends and blanks follows `from`.
  bool BlankFrom(std::size_t from) const {
    return bytes_.find_first_not_of(" \t\r\n", from) == std::string_view::npos;
  }

 private:
  std::string_view bytes_;
  std::size_t pos_ = 0;
};

void Put(std::string& out, std::string_view line) {
  out += line;
  out += "\r\n";
}

}  // namespace

bool ParseFileIgnoreList(std::string_view bytes, std::vector<TFileIgnoreList>& list) {
  list.clear();
  Lines in(bytes);
  std::size_t kept = 0;  // where the last whole entry (or the count line) ended
  auto count = in.NextNumber();
  if (!count) return in.BlankFrom(kept);
  kept = in.Pos();
  TFileIgnoreList e;  // the flags carry over from entry to entry
  for (std::int32_t i = 0; i < *count; ++i) {
    auto kind = in.Next(), path = in.Next(), extra1 = in.Next(), extra2 = in.Next();
    if (!extra2) return in.BlankFrom(kept);
    auto n1 = in.NextNumber();
    if (!n1) return in.BlankFrom(kept);
    auto n2 = in.NextNumber();
    if (!n2 || !in.NextFlag(e.Flag1) || !in.NextFlag(e.Flag2)) return in.BlankFrom(kept);
    e.Kind = std::move(*kind);
    e.IgnoredPath = std::move(*path);
    e.Extra1 = std::move(*extra1);
    e.Extra2 = std::move(*extra2);
    e.Number1 = *n1;
    e.Number2 = *n2;
    list.push_back(e);
    kept = in.Pos();
  }
  return in.BlankFrom(kept);
}

bool ParseRegIgnoreList(std::string_view bytes, std::vector<TRegIgnoreList>& list) {
  list.clear();
  Lines in(bytes);
  std::size_t kept = 0;
  auto count = in.NextNumber();
  if (!count) return in.BlankFrom(kept);
  kept = in.Pos();
  TRegIgnoreList e;
  for (std::int32_t i = 0; i < *count; ++i) {
    auto root = in.NextNumber();
    if (!root) return in.BlankFrom(kept);
    auto key = in.Next(), value = in.Next(), info = in.Next(), data = in.Next();
    if (!data || !in.NextFlag(e.IsNew)) return in.BlankFrom(kept);
    e.RootKey = *root;
    e.KeyPath = std::move(*key);
    e.ValueName = std::move(*value);
    e.Info = std::move(*info);
    e.Data = std::move(*data);
    list.push_back(e);
    kept = in.Pos();
  }
  return in.BlankFrom(kept);
}

std::string FormatFileIgnoreList(const std::vector<TFileIgnoreList>& list) {
  std::string out;
  Put(out, std::to_string(list.size()));
  for (const auto& e : list) {
    for (auto* s : {&e.Kind, &e.IgnoredPath, &e.Extra1, &e.Extra2}) Put(out, *s);
    Put(out, std::to_string(e.Number1));
    Put(out, std::to_string(e.Number2));
    Put(out, e.Flag1 ? "1" : "0");
    Put(out, e.Flag2 ? "1" : "0");
  }
  return out;
}

std::string FormatRegIgnoreList(const std::vector<TRegIgnoreList>& list) {
  std::string out;
  Put(out, std::to_string(list.size()));
  for (const auto& e : list) {
    Put(out, std::to_string(e.RootKey));
    for (auto* s : {&e.KeyPath, &e.ValueName, &e.Info, &e.Data}) Put(out, *s);
    Put(out, e.IsNew ? "1" : "0");
  }
  return out;
}

namespace {

// Missing file: the list stays as it was (saving writes it anew).
// Unreadable, too large or damaged: the list holds what could be read and
// the load fails, so it is never saved back unasked.
template <class Entry, class Parse>
bool LoadList(platform::FileSystem& fs, std::string_view path, std::vector<Entry>& list,
              Parse parse) {
  std::string bytes;
  const platform::Status st = platform::ReadWholeFile(fs, path, bytes, kMaxListFileBytes);
  if (st == platform::kFileNotFound || st == platform::kPathNotFound) return true;
  if (st != platform::kOk) return false;
  return parse(bytes, list);
}

}  // namespace

bool LoadFileIgnoreList(platform::FileSystem& fs, std::string_view path,
                        std::vector<TFileIgnoreList>& list) {
  return LoadList(fs, path, list, ParseFileIgnoreList);
}

bool LoadRegIgnoreList(platform::FileSystem& fs, std::string_view path,
                       std::vector<TRegIgnoreList>& list) {
  return LoadList(fs, path, list, ParseRegIgnoreList);
}

platform::Status SaveFileIgnoreList(platform::FileSystem& fs, std::string_view path,
                                    const std::vector<TFileIgnoreList>& list) {
  return platform::WriteFileReplacing(fs, path, FormatFileIgnoreList(list));
}

platform::Status SaveRegIgnoreList(platform::FileSystem& fs, std::string_view path,
                                   const std::vector<TRegIgnoreList>& list) {
  return platform::WriteFileReplacing(fs, path, FormatRegIgnoreList(list));
}

std::string KeepDamagedFile(platform::FileSystem& fs, std::string_view path) {
  const std::string base = std::string(path) + ".damaged";
  // An earlier damaged copy is kept too.
  for (int n = 1; n <= 100; ++n) {
    const std::string kept = n == 1 ? base : base + "." + std::to_string(n);
    if (fs.GetAttributes(kept) != platform::FileSystem::kInvalidAttributes) continue;
    return fs.MoveFile(path, kept) == platform::kOk ? kept : std::string();
  }
  return {};
}

std::string RootKeyName(std::int32_t code) {
  static const char* const kNames[] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER",
                                       "HKEY_LOCAL_MACHINE", "HKEY_USERS", "HKEY_CURRENT_CONFIG"};
  return code >= 0 && code < 5 ? kNames[code] : "";
}

std::string RegRowText(const TRegIgnoreList& e) {
  return RootKeyName(e.RootKey) + "\\" + e.KeyPath + "\\" + e.ValueName;
}

std::string RegRowHint(platform::Registry& reg, const TRegIgnoreList& e) {
  const std::string root = RootKeyName(e.RootKey);
  bool exists = false;
  // A code without a root key names no key that could hold the value.
  if (!root.empty()) {
    auto key = reg.Open(static_cast<platform::Hive>(e.RootKey), e.KeyPath,
                        platform::keyaccess::kRead);
    exists = key && key->Query(e.ValueName).has_value();
  }
  const std::string where = "Root key:" + root + "\r" + "Path: " + e.KeyPath + "\r" +
                            "Value name: " + e.ValueName + "\r";
  if (exists)
    return e.IsNew ? "New value was found:\r" + where + e.Data + "\r" + "Information:" + e.Info : "";
  return "Value does not exists in registry:\r" + where + "Information:" + e.Info;
}

bool IsIgnoredPath(const std::vector<TFileIgnoreList>& list, std::string_view path) {
  const std::string p = platform::LowerCase(path);
  for (const auto& e : list) {
    std::string folder = platform::LowerCase(e.IgnoredPath);
    while (!folder.empty() && (folder.back() == ';')) folder.pop_back();
    if (folder.empty()) continue;
    if (p == folder) return true;
    if (folder.back() != '\\') folder += '\\';
    // ">=": a folder path given with its closing backslash is the folder itself.
    if (p.size() >= folder.size() && p.compare(0, folder.size(), folder) == 0) return true;
  }
  return false;
}

}  // namespace ignore
