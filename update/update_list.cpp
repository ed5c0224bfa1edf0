#include "engine/gcrypt_init.h"
#include "update/update_list.h"

#include <gcrypt.h>

#include "platform/text.h"

namespace update {

namespace {

bool IsHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// Start of the last line when it is "_end" (after an optional line end).
std::optional<std::size_t> EndLineStart(std::string_view text) {
  std::string_view t = text;
  if (t.size() >= 2 && t.substr(t.size() - 2) == "\r\n") t.remove_suffix(2);
  else if (!t.empty() && (t.back() == '\n' || t.back() == '\r')) t.remove_suffix(1);
  if (t.size() < 4 || t.substr(t.size() - 4) != "_end") return std::nullopt;
  const std::size_t start = t.size() - 4;
  if (start != 0 && t[start - 1] != '\n' && t[start - 1] != '\r') return std::nullopt;
  return start;
}

}  // namespace

std::vector<std::string> ListLines(std::string_view bytes) {
  bytes = bytes.substr(0, kListReadLimit);
  std::vector<std::string> lines;
  for (std::size_t pos = 0; pos < bytes.size();) {
    std::size_t end = pos;
    while (end < bytes.size() && bytes[end] != '\r' && bytes[end] != '\n') ++end;
    lines.emplace_back(bytes.substr(pos, std::min(end - pos, kListLineLimit)));
    pos = end;
    if (pos < bytes.size() && bytes[pos] == '\r') ++pos;
    if (pos < bytes.size() && bytes[pos] == '\n') ++pos;
  }
  return lines;
}

namespace {

// "YYYY-MM-DD" as YYYYMMDD; 0 when it is not a date of the calendar.
std::uint32_t DateNumber(std::string_view text) {
  if (text.size() != 10 || text[4] != '-' || text[7] != '-') return 0;
  const std::uint32_t y = DecimalOrZero(text.substr(0, 4));
  const std::uint32_t m = DecimalOrZero(text.substr(5, 2));
  const std::uint32_t d = DecimalOrZero(text.substr(8, 2));
  static const std::uint32_t kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (y < 1 || m < 1 || m > 12 || d < 1 || d > kDays[m - 1]) return 0;
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  if (m == 2 && d == 29 && !leap) return 0;
  return y * 10000 + m * 100 + d;
}

// A decimal number of 1 to 10 digits that fits 32 bits.
std::optional<std::uint32_t> Serial(std::string_view text) {
  if (text.empty() || text.size() > 10) return std::nullopt;
  std::uint64_t n = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + std::uint64_t(c - '0');
  }
  if (n > 0xFFFFFFFFu) return std::nullopt;
  return static_cast<std::uint32_t>(n);
}

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

}  // namespace

UpdateList ParseUpdateList(std::string_view bytes) {
  std::vector<std::string> lines = ListLines(bytes);
  if (lines.size() < 6) lines.resize(6);
  UpdateList list{lines[0], lines[1], lines[2], lines[3], lines[4], lines[5], {}, {}, {}};
  int serials = 0, expiries = 0;
  for (std::size_t i = 6; i < lines.size(); ++i) {
    const std::string_view line = lines[i];
    if (StartsWith(line, "serial=")) {
      list.serial = ++serials == 1 ? Serial(line.substr(7)) : std::nullopt;
    } else if (StartsWith(line, "expires=")) {
      list.expires = ++expiries == 1 ? DateNumber(line.substr(8)) : 0;
    } else if (const auto blank = line.find(' '); blank != std::string_view::npos &&
                                                  StartsWith(line, "/") &&
                                                  StartsWith(line.substr(blank + 1), "sha256=")) {
      const std::string digest = Digest64(line.substr(blank + 1 + 7));
      if (digest.empty()) continue;
      auto [it, added] = list.hashes.emplace(std::string(line.substr(0, blank)), digest);
      if (!added && it->second != digest) it->second.clear();
    }
  }
  return list;
}

std::string Digest64(std::string_view text) {
  if (text.size() != 64) return {};
  for (char c : text)
    if (!IsHex(c)) return {};
  return platform::LowerCase(text);
}

std::string UpdateList::ProgramDigest() const {
  constexpr std::string_view kPrefix = "sha256=";
  if (!StartsWith(reserved, kPrefix)) return {};
  return Digest64(std::string_view(reserved).substr(kPrefix.size()));
}

std::string PackagePath(std::uint32_t number) {
  return "/updr2/upd/" + std::to_string(number) + ".htm";
}

std::uint32_t DecimalOrZero(std::string_view text) {
  if (text.empty() || text.size() > 9) return 0;
  std::uint32_t n = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return 0;
    n = n * 10 + std::uint32_t(c - '0');
  }
  return n;
}

std::uint32_t UpdateNumber(std::string_view dateText) {
  constexpr std::string_view kMark = ", Upd ";
  const auto first = dateText.find(kMark);
  if (first == std::string_view::npos) return 0;
  std::string rest(dateText.substr(first));
  for (std::size_t p; (p = rest.find(kMark)) != std::string::npos;) rest.erase(p, kMark.size());
  std::string digits;
  for (char c : rest)
    if (c != ' ' && c != '.') digits += c;
  return DecimalOrZero(digits);
}

bool EndsWithEndLine(std::string_view text) { return EndLineStart(text).has_value(); }

bool MergePackage(std::string& database, std::string_view package, std::size_t limit) {
  const auto cr = package.find('\r');
  if (cr == std::string_view::npos || cr + 1 >= package.size() || package[cr + 1] != '\n')
    return false;
  const std::string_view dateLine = package.substr(0, cr + 2);
  const std::string_view body = package.substr(cr + 2);
  if (!EndsWithEndLine(body)) return false;
  const auto end = EndLineStart(database);
  if (!end) return false;
  std::size_t firstEnd = database.find('\n');
  if (firstEnd == std::string::npos || firstEnd + 1 > *end) return false;
  const std::size_t size = dateLine.size() + (*end - (firstEnd + 1)) + body.size();
  if (size > limit) return false;
  std::string merged;
  merged.reserve(size);
  merged.append(dateLine);
  merged.append(database, firstEnd + 1, *end - (firstEnd + 1));
  merged.append(body);
  database = std::move(merged);
  return true;
}

std::string Sha256Hex(std::string_view bytes) {
  engine::InitGcrypt();
  unsigned char digest[32];
  gcry_md_hash_buffer(GCRY_MD_SHA256, digest, bytes.data(), bytes.size());
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (unsigned char b : digest) {
    out += kHex[b >> 4];
    out += kHex[b & 15];
  }
  return out;
}

}  // namespace update
