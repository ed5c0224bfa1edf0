#include "platform/offline/code_page.h"

#include <iconv.h>

#include "platform/text.h"

namespace platform::offline {
namespace {

constexpr char kMark = '|';
constexpr char32_t kReplacement = 0xFFFD;

void PutUtf8(std::string& out, char32_t u) {
  if (u < 0x80) {
    out += static_cast<char>(u);
  } else if (u < 0x800) {
    out += static_cast<char>(0xC0 | (u >> 6));
    out += static_cast<char>(0x80 | (u & 0x3F));
  } else if (u < 0x10000) {
    out += static_cast<char>(0xE0 | (u >> 12));
    out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (u & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (u >> 18));
    out += static_cast<char>(0x80 | ((u >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (u & 0x3F));
  }
}

// One code point of UTF-8 at s[i]; a byte that does not start a valid
// sequence gives U+DC80 + the byte.
char32_t NextUtf8(std::string_view s, std::size_t& i) {
  const auto b = static_cast<unsigned char>(s[i]);
  auto raw = [&] {
    ++i;
    return static_cast<char32_t>(0xDC00 + b);
  };
  if (b < 0x80) {
    ++i;
    return b;
  }
  const int n = b >= 0xC2 && b < 0xE0 ? 1 : b >= 0xE0 && b < 0xF0 ? 2 : b >= 0xF0 && b <= 0xF4 ? 3 : -1;
  if (n < 0 || s.size() - i <= static_cast<std::size_t>(n)) return raw();
  char32_t u = b & (0x3F >> n);
  for (int k = 1; k <= n; ++k) {
    const auto c = static_cast<unsigned char>(s[i + k]);
    if ((c & 0xC0) != 0x80) return raw();
    u = u << 6 | (c & 0x3F);
  }
  // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
  if ((n == 2 && u < 0x800) || (n == 3 && (u < 0x10000 || u > 0x10FFFF)) ||
      (u >= 0xD800 && u <= 0xDFFF))
    return raw();
  i += n + 1;
  return u;
}

bool IsHex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Characters a Windows file or key name cannot hold.
bool NotInWindowsName(char32_t c) {
  return c < 0x20 || c == '<' || c == '>' || c == ':' || c == '"' || c == '/' || c == '\\' ||
         c == '?' || c == '*';
}

}  // namespace

std::optional<CodePage> CodePage::Load(unsigned number) {
  if (number == 1252) return Windows1252();
  if (number != 874 && (number < 1250 || number > 1258)) return std::nullopt;
  const std::string name = "CP" + std::to_string(number);
  iconv_t cd = iconv_open("UTF-32LE", name.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  CodePage cp;
  cp.number_ = number;
  for (unsigned b = 0; b < 256; ++b) {
    cp.toUnicode_[b] = b;  // a byte the code page leaves undefined stands for itself, as on Windows
    if (b < 0x80) continue;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char in = static_cast<char>(b);
    unsigned char out[8] = {};
    char* ip = &in;
    char* op = reinterpret_cast<char*>(out);
    std::size_t il = 1, ol = sizeof out;
    if (iconv(cd, &ip, &il, &op, &ol) == static_cast<std::size_t>(-1)) continue;
    iconv(cd, nullptr, nullptr, &op, &ol);  // a combining code page may hold its character back
    if (sizeof out - ol >= 4)
      cp.toUnicode_[b] = out[0] | out[1] << 8 | out[2] << 16 | static_cast<char32_t>(out[3]) << 24;
  }
  iconv_close(cd);
  for (unsigned b = 0; b < 256; ++b) cp.fromUnicode_.emplace(cp.toUnicode_[b], static_cast<unsigned char>(b));
  return cp;
}

CodePage CodePage::Windows1252() {
  CodePage cp;
  cp.number_ = 1252;
  for (unsigned b = 0; b < 256; ++b) {
    cp.toUnicode_[b] = Cp1252HighCodePoint(static_cast<unsigned char>(b));
    cp.fromUnicode_.emplace(cp.toUnicode_[b], static_cast<unsigned char>(b));
  }
  return cp;
}

void CodePage::Append(std::string& out, char32_t c, bool name, bool lastOfName) const {
  const bool trailing = name && lastOfName && (c == '.' || c == ' ');
  if (c != static_cast<char32_t>(kMark) && !(name && NotInWindowsName(c)) && !trailing) {
    auto it = fromUnicode_.find(c);
    if (it != fromUnicode_.end()) {
      out += static_cast<char>(it->second);
      return;
    }
  }
  static constexpr char kDigits[] = "0123456789ABCDEF";
  char hex[8];
  int n = 0;
  do {
    hex[n++] = kDigits[c & 0xF];
    c >>= 4;
  } while (c != 0 || n < 2);
  out += kMark;
  while (n > 0) out += hex[--n];
  out += kMark;
}

std::string CodePage::FromUtf8(std::string_view utf8, bool name) const {
  std::u32string chars;
  for (std::size_t i = 0; i < utf8.size();) chars += NextUtf8(utf8, i);
  // Trailing dots and blanks of a name are escaped from the last plain
  // character on, so Windows' rule cannot drop them.
  std::size_t keep = chars.size();
  if (name)
    while (keep > 0 && (chars[keep - 1] == '.' || chars[keep - 1] == ' ')) --keep;
  std::string out;
  out.reserve(chars.size());
  for (std::size_t i = 0; i < chars.size(); ++i) Append(out, chars[i], name, i >= keep);
  return out;
}

std::string CodePage::FromUtf16(std::string_view bytes) const {
  std::string out;
  out.reserve(bytes.size() / 2);
  const std::size_t units = bytes.size() / 2;
  auto unit = [&](std::size_t k) {
    return static_cast<char32_t>(static_cast<unsigned char>(bytes[2 * k]) |
                                 static_cast<unsigned char>(bytes[2 * k + 1]) << 8);
  };
  for (std::size_t k = 0; k < units; ++k) {
    char32_t u = unit(k);
    if (u >= 0xD800 && u < 0xDC00 && k + 1 < units) {
      const char32_t low = unit(k + 1);
      if (low >= 0xDC00 && low < 0xE000) {
        u = 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
        ++k;
      }
    }
    Append(out, u, false, false);
  }
  return out;
}

bool CodePage::HasEscape(std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != kMark) continue;
    std::size_t j = i + 1;
    while (j < text.size() && j - i <= 6 && IsHex(text[j])) ++j;
    if (j < text.size() && text[j] == kMark && j > i + 1) return true;
  }
  return false;
}

std::u32string CodePage::Decode(std::string_view text) const {
  std::u32string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == kMark) {
      std::size_t j = i + 1;
      char32_t c = 0;
      while (j < text.size() && j - i <= 6 && IsHex(text[j])) {
        const char h = text[j];
        c = c << 4 | static_cast<char32_t>(h <= '9' ? h - '0' : (h | 0x20) - 'a' + 10);
        ++j;
      }
      if (j < text.size() && text[j] == kMark && j > i + 1 && c <= 0x10FFFF) {
        out += c;
        i = j;
        continue;
      }
    }
    out += toUnicode_[static_cast<unsigned char>(text[i])];
  }
  return out;
}

std::string CodePage::ToHostName(std::string_view text) const {
  std::string out;
  for (char32_t c : Decode(text)) {
    if (c >= 0xDC80 && c <= 0xDCFF)
      out += static_cast<char>(c - 0xDC00);
    else
      PutUtf8(out, c >= 0xD800 && c <= 0xDFFF ? kReplacement : c);
  }
  return out;
}

std::string CodePage::ToUtf16(std::string_view text) const {
  std::string out;
  auto put = [&](char32_t u) {
    out += static_cast<char>(u & 0xFF);
    out += static_cast<char>(u >> 8);
  };
  for (char32_t c : Decode(text)) {
    if (c >= 0x10000) {
      c -= 0x10000;
      put(0xD800 + (c >> 10));
      put(0xDC00 + (c & 0x3FF));
    } else {
      put(c);  // a lone surrogate read from a hive goes back as it was
    }
  }
  return out;
}

std::string CodePage::ToReportUtf8(std::string_view text) const {
  std::string out;
  out.reserve(text.size());
  for (char32_t c : Decode(text)) PutUtf8(out, c >= 0xD800 && c <= 0xDFFF ? kReplacement : c);
  return out;
}

}  // namespace platform::offline
