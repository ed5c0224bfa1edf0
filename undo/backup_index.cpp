#include "undo/backup_index.h"

#include <cstdio>

namespace undo {
namespace {

constexpr char kHex[] = "0123456789ABCDEF";

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string Escape(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (unsigned char c : s) {
    if (c < 0x20 || c == 0x7F || c == '%') {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::optional<std::string> Unescape(std::string_view s) {
  if (s.size() > kMaxFieldBytes) return std::nullopt;
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '%') {
      out += s[i];
      continue;
    }
    if (i + 2 >= s.size()) return std::nullopt;
    const int hi = HexDigit(s[i + 1]), lo = HexDigit(s[i + 2]);
    if (hi < 0 || lo < 0) return std::nullopt;
    out += static_cast<char>(hi << 4 | lo);
    i += 2;
  }
  return out;
}

std::string HexOf(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() * 2);
  for (unsigned char c : bytes) {
    out += kHex[c >> 4];
    out += kHex[c & 15];
  }
  return out;
}

std::optional<std::string> BytesOf(std::string_view hex) {
  if (hex.size() % 2 || hex.size() > kMaxFieldBytes) return std::nullopt;
  std::string out(hex.size() / 2, '\0');
  for (std::size_t i = 0; i < out.size(); ++i) {
    const int hi = HexDigit(hex[2 * i]), lo = HexDigit(hex[2 * i + 1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    out[i] = static_cast<char>(hi << 4 | lo);
  }
  return out;
}

// A decimal number of at most 20 digits that fits.
template <class T>
std::optional<T> Number(std::string_view s) {
  if (s.empty() || s.size() > 20) return std::nullopt;
  T v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return std::nullopt;
    const T d = static_cast<T>(c - '0');
    if (v > (static_cast<T>(-1) - d) / 10) return std::nullopt;
    v = static_cast<T>(v * 10 + d);
  }
  return v;
}

std::string ValueText(const std::optional<StoredValue>& v) {
  if (!v) return "-";
  return std::to_string(static_cast<std::uint32_t>(v->type)) + ":" + HexOf(v->data);
}

std::optional<std::optional<StoredValue>> ParseValue(std::string_view s) {
  if (s == "-") return std::optional<StoredValue>();
  const auto colon = s.find(':');
  if (colon == std::string_view::npos) return std::nullopt;
  auto type = Number<std::uint32_t>(s.substr(0, colon));
  auto data = BytesOf(s.substr(colon + 1));
  if (!type || !data) return std::nullopt;
  return std::optional<StoredValue>(StoredValue{static_cast<platform::ValueType>(*type), *data});
}

std::vector<std::string_view> SplitTabs(std::string_view line) {
  std::vector<std::string_view> fields;
  std::size_t pos = 0;
  for (;;) {
    const auto tab = line.find('\t', pos);
    fields.push_back(line.substr(pos, tab == std::string_view::npos ? line.npos : tab - pos));
    if (tab == std::string_view::npos) return fields;
    pos = tab + 1;
  }
}

const char* KindName(ItemKind k) {
  switch (k) {
    case ItemKind::File: return "file";
    case ItemKind::Folder: return "folder";
    case ItemKind::Value: return "value";
    case ItemKind::IniLine: return "ini";
    case ItemKind::StartType: return "service";
    case ItemKind::Moved: return "moved";
    case ItemKind::Replaced: return "replaced";
  }
  return "";
}

// The fields after the kind, in the order the header comment gives.
std::vector<std::string> FieldsOf(const BackupItem& i) {
  switch (i.kind) {
    case ItemKind::File:
      return {Escape(i.path), std::to_string(i.size), Escape(i.md5), std::to_string(i.attributes),
              std::to_string(i.lastWrite), Escape(i.stored)};
    case ItemKind::Folder: return {Escape(i.path)};
    case ItemKind::Value:
      return {std::to_string(static_cast<std::uint32_t>(i.root)), Escape(i.key), Escape(i.name),
              ValueText(i.before), ValueText(i.after)};
    case ItemKind::IniLine:
      return {Escape(i.path), Escape(i.section), Escape(i.oldText), Escape(i.newText)};
    case ItemKind::StartType:
      return {Escape(i.service), std::to_string(i.oldStart), std::to_string(i.newStart)};
    case ItemKind::Moved:
      return {Escape(i.path), Escape(i.target), std::to_string(i.size), Escape(i.md5)};
    case ItemKind::Replaced:
      return {Escape(i.path), std::to_string(i.size), Escape(i.sha256), Escape(i.newSha256),
              Escape(i.stored)};
  }
  return {};
}

std::optional<BackupItem> ParseItem(const std::vector<std::string_view>& f) {
  BackupItem i;
  auto text = [&](std::size_t n, std::string& out) {
    auto t = Unescape(f[n]);
    if (!t) return false;
    out = std::move(*t);
    return true;
  };
  const std::string_view kind = f[1];
  if (kind == "file" && f.size() == 8) {
    i.kind = ItemKind::File;
    auto size = Number<std::uint64_t>(f[3]);
    auto attributes = Number<std::uint32_t>(f[5]);
    auto time = Number<std::uint64_t>(f[6]);
    if (!size || !attributes || !time || !text(2, i.path) || !text(4, i.md5) || !text(7, i.stored))
      return std::nullopt;
    i.size = *size;
    i.attributes = *attributes;
    i.lastWrite = *time;
  } else if (kind == "folder" && f.size() == 3) {
    i.kind = ItemKind::Folder;
    if (!text(2, i.path)) return std::nullopt;
  } else if (kind == "value" && f.size() == 7) {
    i.kind = ItemKind::Value;
    auto root = Number<std::uint32_t>(f[2]);
    auto before = ParseValue(f[5]);
    auto after = ParseValue(f[6]);
    if (!root || *root > 4 || !before || !after || !text(3, i.key) || !text(4, i.name))
      return std::nullopt;
    i.root = static_cast<platform::Hive>(*root);
    i.before = std::move(*before);
    i.after = std::move(*after);
  } else if (kind == "ini" && f.size() == 6) {
    i.kind = ItemKind::IniLine;
    if (!text(2, i.path) || !text(3, i.section) || !text(4, i.oldText) || !text(5, i.newText))
      return std::nullopt;
  } else if (kind == "service" && f.size() == 5) {
    i.kind = ItemKind::StartType;
    auto from = Number<std::uint32_t>(f[3]);
    auto to = Number<std::uint32_t>(f[4]);
    if (!from || !to || !text(2, i.service)) return std::nullopt;
    i.oldStart = *from;
    i.newStart = *to;
  } else if (kind == "moved" && f.size() == 6) {
    i.kind = ItemKind::Moved;
    auto size = Number<std::uint64_t>(f[4]);
    if (!size || !text(2, i.path) || !text(3, i.target) || !text(5, i.md5)) return std::nullopt;
    i.size = *size;
  } else if (kind == "replaced" && f.size() == 7) {
    i.kind = ItemKind::Replaced;
    auto size = Number<std::uint64_t>(f[3]);
    if (!size || !text(2, i.path) || !text(4, i.sha256) || !text(5, i.newSha256) ||
        !text(6, i.stored))
      return std::nullopt;
    i.size = *size;
  } else {
    return std::nullopt;
  }
  return i;
}

bool SameTime(const platform::LocalTime& a, const platform::LocalTime& b) {
  return a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour &&
         a.minute == b.minute && a.second == b.second;
}

// A quoted regedit string: backslashes and quotes escaped.
std::string Quoted(std::string_view s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + "\"";
}

// "hex:01,02" (or "hex(N):"), wrapped as regedit wraps long lines.
std::string HexList(const std::string& prefix, std::string_view bytes) {
  std::string out = prefix;
  std::size_t column = out.size();
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    char b[4];
    std::snprintf(b, sizeof b, "%02x", static_cast<unsigned char>(bytes[i]));
    out += b;
    column += 2;
    if (i + 1 < bytes.size()) {
      out += ',';
      ++column;
      if (column > 76) {
        out += "\\\r\n  ";
        column = 2;
      }
    }
  }
  return out;
}

std::string RegeditLine(const std::string& name, const StoredValue& v) {
  const std::string left = (name.empty() ? std::string("@") : Quoted(name)) + "=";
  const std::string& d = v.data;
  if (v.type == platform::ValueType::String && !d.empty() && d.find('\0') == d.size() - 1)
    return left + Quoted(d.substr(0, d.size() - 1));
  if (v.type == platform::ValueType::Dword && d.size() == 4) {
    const auto* b = reinterpret_cast<const unsigned char*>(d.data());
    char text[16];
    std::snprintf(text, sizeof text, "dword:%02x%02x%02x%02x", b[3], b[2], b[1], b[0]);
    return left + text;
  }
  if (v.type == platform::ValueType::Binary) return HexList(left + "hex:", d);
  return HexList(left + "hex(" + std::to_string(static_cast<std::uint32_t>(v.type)) + "):", d);
}

}  // namespace

std::string IndexFileName(std::size_t n) {
  return n <= 1 ? "Backup.info" : "Backup" + std::to_string(n) + ".info";
}

bool BackupIndex::operator==(const BackupIndex& o) const {
  return action == o.action && SameTime(created, o.created) && hasHeader == o.hasHeader &&
         items == o.items;
}

std::optional<BackupIndex> ParseIndexFile(std::string_view bytes) {
  if (bytes.size() > kMaxIndexFileBytes) return std::nullopt;
  BackupIndex index;
  std::size_t pos = 0;
  bool first = true, action = false, created = false;
  while (pos < bytes.size()) {
    std::size_t end = bytes.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) end = bytes.size();
    const std::string_view line = bytes.substr(pos, end - pos);
    pos = end;
    if (pos < bytes.size() && bytes[pos] == '\r') ++pos;
    if (pos < bytes.size() && bytes[pos] == '\n') ++pos;
    if (first) {
      if (line != kIndexMagic) return std::nullopt;
      first = false;
      continue;
    }
    if (line.empty()) continue;
    const auto f = SplitTabs(line);
    if (f[0] == "action" && f.size() == 2 && !action) {
      auto t = Unescape(f[1]);
      if (!t) return std::nullopt;
      index.action = std::move(*t);
      action = true;
    } else if (f[0] == "created" && f.size() == 2 && !created) {
      auto t = ParseTimeText(f[1]);
      if (!t) return std::nullopt;
      index.created = *t;
      created = true;
    } else if (f[0] == "item" && f.size() >= 2) {
      if (index.items.size() >= kItemsPerFile) return std::nullopt;
      auto item = ParseItem(f);
      if (!item) return std::nullopt;
      index.items.push_back(std::move(*item));
    } else {
      return std::nullopt;
    }
  }
  if (first || action != created) return std::nullopt;
  index.hasHeader = action;
  return index;
}

std::string FormatIndexFile(const BackupIndex& header, bool first,
                            const std::vector<BackupItem>& items, std::size_t from,
                            std::size_t count) {
  std::string out = std::string(kIndexMagic) + "\r\n";
  if (first) {
    out += "action\t" + Escape(header.action) + "\r\n";
    out += "created\t" + TimeText(header.created) + "\r\n";
  }
  for (std::size_t n = from; n < items.size() && n < from + count; ++n) {
    out += "item\t";
    out += KindName(items[n].kind);
    for (const auto& field : FieldsOf(items[n])) out += "\t" + field;
    out += "\r\n";
  }
  return out;
}

std::string RegeditText(const std::vector<BackupItem>& items) {
  std::string out = "REGEDIT4\r\n";
  std::string lastKey;
  for (const auto& i : items) {
    if (i.kind != ItemKind::Value || !i.before) continue;
    const std::string key = RootName(i.root) + "\\" + i.key;
    if (key != lastKey) {
      out += "\r\n[" + key + "]\r\n";
      lastKey = key;
    }
    out += RegeditLine(i.name, *i.before) + "\r\n";
  }
  return out + "\r\n";
}

std::string RootName(platform::Hive root) {
  switch (root) {
    case platform::Hive::ClassesRoot: return "HKEY_CLASSES_ROOT";
    case platform::Hive::CurrentUser: return "HKEY_CURRENT_USER";
    case platform::Hive::LocalMachine: return "HKEY_LOCAL_MACHINE";
    case platform::Hive::Users: return "HKEY_USERS";
    case platform::Hive::CurrentConfig: return "HKEY_CURRENT_CONFIG";
  }
  return "";
}

std::string Describe(const BackupItem& i) {
  switch (i.kind) {
    case ItemKind::File: return "file " + i.path;
    case ItemKind::Folder: return "folder " + i.path;
    case ItemKind::Value:
      return "registry value " + RootName(i.root) + "\\" + i.key + "\\" +
             (i.name.empty() ? std::string("(Default)") : i.name);
    case ItemKind::IniLine:
      return "line \"" + i.oldText + "\" of " + i.path +
             (i.section.empty() ? std::string() : " " + i.section);
    case ItemKind::StartType: return "start type of the service " + i.service;
    case ItemKind::Moved: return "file " + i.path + " (renamed to " + i.target + ")";
    case ItemKind::Replaced: return "file " + i.path + " (as it was before it was saved anew)";
  }
  return {};
}

std::string TimeText(const platform::LocalTime& t) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                t.minute, t.second);
  return buf;
}

std::optional<platform::LocalTime> ParseTimeText(std::string_view s) {
  if (s.size() != 19 || s[4] != '-' || s[7] != '-' || s[10] != ' ' || s[13] != ':' || s[16] != ':')
    return std::nullopt;
  auto part = [&](std::size_t at, std::size_t n) { return Number<std::uint32_t>(s.substr(at, n)); };
  auto y = part(0, 4), mo = part(5, 2), d = part(8, 2), h = part(11, 2), mi = part(14, 2),
       se = part(17, 2);
  if (!y || !mo || !d || !h || !mi || !se || *mo < 1 || *mo > 12 || *d < 1 || *d > 31 || *h > 23 ||
      *mi > 59 || *se > 59)
    return std::nullopt;
  return platform::LocalTime{int(*y), int(*mo), int(*d), int(*h), int(*mi), int(*se)};
}

std::int64_t SecondsOf(const platform::LocalTime& t) {
  // Days from the civil date (proleptic Gregorian calendar).
  const std::int64_t y = t.year - (t.month <= 2 ? 1 : 0);
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t mp = (t.month + 9) % 12;
  const std::int64_t doy = (153 * mp + 2) / 5 + t.day - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const std::int64_t days = era * 146097 + doe - 719468;
  return days * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
}

}  // namespace undo
