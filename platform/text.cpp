#include "platform/text.h"

#include <array>

namespace platform {
namespace {

constexpr std::array<unsigned char, 256> MakeLowerTable() {
  std::array<unsigned char, 256> t{};
  for (int i = 0; i < 256; ++i) t[i] = static_cast<unsigned char>(i);
  for (int i = 'A'; i <= 'Z'; ++i) t[i] = static_cast<unsigned char>(i + 32);
  // Windows-1252: S/Z/OE with caron, Y diaeresis, and the Latin-1 capitals.
  t[0x8A] = 0x9A;
  t[0x8C] = 0x9C;
  t[0x8E] = 0x9E;
  t[0x9F] = 0xFF;
  for (int i = 0xC0; i <= 0xDE; ++i)
    if (i != 0xD7) t[i] = static_cast<unsigned char>(i + 32);
  return t;
}

constexpr std::array<unsigned char, 256> MakeUpperTable() {
  std::array<unsigned char, 256> t{};
  for (int i = 0; i < 256; ++i) t[i] = static_cast<unsigned char>(i);
  constexpr auto lower = MakeLowerTable();
  for (int i = 0; i < 256; ++i)
    if (lower[i] != i) t[lower[i]] = static_cast<unsigned char>(i);
  return t;
}

constexpr auto kLower = MakeLowerTable();
constexpr auto kUpper = MakeUpperTable();

bool IsSep(char c) { return c == '\\' || c == '/' || c == ':'; }

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

bool MatchFrom(std::string_view n, std::string_view m) {
  size_t ni = 0, mi = 0, starM = std::string_view::npos, starN = 0;
  while (ni < n.size()) {
    if (mi < m.size() && (m[mi] == '?' || LowerChar(m[mi]) == LowerChar(n[ni]))) {
      ++ni;
      ++mi;
    } else if (mi < m.size() && m[mi] == '*') {
      starM = mi++;
      starN = ni;
    } else if (starM != std::string_view::npos) {
      mi = starM + 1;
      ni = ++starN;
    } else {
      return false;
    }
  }
  while (mi < m.size() && m[mi] == '*') ++mi;
  return mi == m.size();
}

}  // namespace

char LowerChar(char c) { return static_cast<char>(kLower[static_cast<unsigned char>(c)]); }
char UpperChar(char c) { return static_cast<char>(kUpper[static_cast<unsigned char>(c)]); }

std::string LowerCase(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = LowerChar(c);
  return r;
}

std::string UpperCase(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = UpperChar(c);
  return r;
}

bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (LowerChar(a[i]) != LowerChar(b[i])) return false;
  return true;
}

std::string TrimRight(std::string_view s) {
  size_t n = s.size();
  while (n > 0 && IsBlank(s[n - 1])) --n;
  return std::string(s.substr(0, n));
}

std::string Trim(std::string_view s) {
  size_t b = 0;
  while (b < s.size() && IsBlank(s[b])) ++b;
  return TrimRight(s.substr(b));
}

std::string_view FileNamePart(std::string_view path) {
  size_t i = path.size();
  while (i > 0 && !IsSep(path[i - 1])) --i;
  return path.substr(i);
}

std::string ExtractFileName(std::string_view path) { return std::string(FileNamePart(path)); }

std::string ExtractFilePath(std::string_view path) {
  size_t i = path.size();
  while (i > 0 && !IsSep(path[i - 1])) --i;
  return std::string(path.substr(0, i));
}

std::string ExtractFileExt(std::string_view path) {
  for (size_t i = path.size(); i > 0; --i) {
    char c = path[i - 1];
    if (c == '.') return std::string(path.substr(i - 1));
    if (IsSep(c)) break;
  }
  return {};
}

std::string IncludeTrailingBackslash(std::string_view path) {
  std::string r(path);
  if (r.empty() || r.back() != '\\') r += '\\';
  return r;
}

std::string ExcludeTrailingBackslash(std::string_view path) {
  std::string r(path);
  if (!r.empty() && r.back() == '\\') r.pop_back();
  return r;
}

bool MatchesMask(std::string_view name, std::string_view mask) {
  if (mask == "*.*" || mask == "*") return true;
  // "x.*" also matches "x" (no extension), as FindFirstFile does.
  if (mask.size() >= 2 && mask.substr(mask.size() - 2) == ".*" &&
      name.find('.') == std::string_view::npos &&
      MatchFrom(name, mask.substr(0, mask.size() - 2)))
    return true;
  return MatchFrom(name, mask);
}

char32_t Cp1252HighCodePoint(unsigned char byte) {
  static constexpr char32_t kHigh[32] = {
      0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
  return byte >= 0x80 && byte < 0xA0 ? kHigh[byte - 0x80] : byte;
}

std::string Cp1252ToUtf8(std::string_view text, bool keepUndefined) {
  std::string out;
  out.reserve(text.size());
  for (unsigned char c : text) {
    char32_t u = Cp1252HighCodePoint(c);
    if (!keepUndefined && c >= 0x80 && c < 0xA0 && u < 0xA0) u = 0xFFFD;
    if (u < 0x80) {
      out += static_cast<char>(u);
    } else if (u < 0x800) {
      out += static_cast<char>(0xC0 | (u >> 6));
      out += static_cast<char>(0x80 | (u & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (u >> 12));
      out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (u & 0x3F));
    }
  }
  return out;
}

std::string Utf8ToCp1252(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    // The sequence's length and the smallest code point it may carry (no
    // overlong forms).
    std::size_t length = 1;
    char32_t u = lead, least = 0;
    if (lead >= 0xF0 && lead < 0xF5) length = 4, u = lead & 0x07, least = 0x10000;
    else if (lead >= 0xE0 && lead < 0xF0) length = 3, u = lead & 0x0F, least = 0x800;
    else if (lead >= 0xC2 && lead < 0xE0) length = 2, u = lead & 0x1F, least = 0x80;
    else if (lead >= 0x80) u = 0xFFFD;
    std::size_t n = 1;
    for (; n < length && i + n < text.size(); ++n) {
      const auto c = static_cast<unsigned char>(text[i + n]);
      if ((c & 0xC0) != 0x80) break;
      u = (u << 6) | (c & 0x3F);
    }
    if (n < length || u < least || u > 0x10FFFF || (u >= 0xD800 && u < 0xE000)) u = 0xFFFD;
    i += n;

    char byte = '?';
    if (u < 0x80 || (u >= 0xA0 && u < 0x100)) {
      byte = static_cast<char>(u);
    } else {
      for (unsigned b = 0x80; b < 0xA0; ++b)
        if (Cp1252HighCodePoint(static_cast<unsigned char>(b)) == u) byte = static_cast<char>(b);
    }
    out += byte;
  }
  return out;
}

}  // namespace platform
