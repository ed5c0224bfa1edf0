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

UpdateList ParseUpdateList(std::string_view bytes) {
  bytes = bytes.substr(0, kListReadLimit);
  std::string lines[6];
  std::size_t pos = 0;
  for (auto& line : lines) {
    if (pos >= bytes.size()) break;
    std::size_t end = pos;
    while (end < bytes.size() && bytes[end] != '\r' && bytes[end] != '\n') ++end;
    line.assign(bytes.substr(pos, std::min(end - pos, kListLineLimit)));
    pos = end;
    if (pos < bytes.size() && bytes[pos] == '\r') ++pos;
    if (pos < bytes.size() && bytes[pos] == '\n') ++pos;
  }
  return {lines[0], lines[1], lines[2], lines[3], lines[4], lines[5]};
}

std::string UpdateList::ProgramDigest() const {
  constexpr std::string_view kPrefix = "sha256=";
  if (reserved.size() != kPrefix.size() + 64 || reserved.compare(0, kPrefix.size(), kPrefix) != 0)
    return {};
  std::string digest = reserved.substr(kPrefix.size());
  for (char c : digest)
    if (!IsHex(c)) return {};
  return platform::LowerCase(digest);
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

bool MergePackage(std::string& database, std::string_view package) {
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
  std::string merged;
  merged.reserve(dateLine.size() + *end + body.size());
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
