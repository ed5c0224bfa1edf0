#pragma once
// The installation's ANSI code page. The program's text is single-byte in
// that code page; the volume's names (UTF-8 as Linux mounts them) and the
// hives' names and strings (UTF-16) are Unicode. A character the code page
// lacks is carried exactly, as "|" followed by its code point in hexadecimal
// and "|" (so a name never turns into a lossy one that could name another
// file). "|" itself is written that way too, and in names so are the
// characters a Windows name cannot hold and trailing dots and blanks, which
// Windows would drop. Bytes of a host name that are not UTF-8 travel as
// U+DC80 to U+DCFF.
#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace platform::offline {

class CodePage {
 public:
  // The single-byte ANSI code pages (874 and 1250 to 1258); nullopt for any
  // other number.
  static std::optional<CodePage> Load(unsigned number);
  static CodePage Windows1252();

  unsigned Number() const { return number_; }

  // Unicode as UTF-8 (a host name, a hive's name) into the program's text.
  // name: escape what a Windows name cannot hold.
  std::string FromUtf8(std::string_view utf8, bool name) const;
  // A hive's UTF-16LE string bytes (an odd last byte is dropped).
  std::string FromUtf16(std::string_view bytes) const;

  // The program's text back: as a host name (escaped bytes become the raw
  // bytes again), as UTF-16LE bytes for a hive, and as valid UTF-8 for a
  // report (what cannot be shown becomes U+FFFD).
  std::string ToHostName(std::string_view text) const;
  std::string ToUtf16(std::string_view text) const;
  std::string ToReportUtf8(std::string_view text) const;

  // Whether the text holds an escaped character.
  static bool HasEscape(std::string_view text);

 private:
  CodePage() = default;
  std::u32string Decode(std::string_view text) const;
  void Append(std::string& out, char32_t c, bool name, bool lastOfName) const;

  unsigned number_ = 0;
  std::array<char32_t, 256> toUnicode_{};
  std::unordered_map<char32_t, unsigned char> fromUnicode_;
};

}  // namespace platform::offline
