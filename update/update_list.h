#pragma once
// The readers of what the update server sends: the update list and the
// incremental packages. Both take bytes and are bounded in memory and time.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace update {

inline constexpr const char* kProductLine = "Klaruvex Pro";
inline constexpr const char* kBuiltInVersion = "Klaruvex Pro v7 - SE (Build date: 17.4.2010)";

// Only the head of a list is read: six short lines.
inline constexpr std::size_t kListReadLimit = 64 * 1024;
inline constexpr std::size_t kListLineLimit = 1024;

// The six lines of "list.htm"; a missing line reads as empty.
struct UpdateList {
  std::string product;   // line 1
  std::string date;      // line 2: the server's database date line
  std::string version;   // line 3: the server's program version text
  std::string reserved;  // line 4
  std::string upload;    // line 5: "1" switches the log upload offer on
  std::string base;      // line 6: lowest update number the chain may start from
  bool Usable() const { return product == kProductLine; }
  bool UploadAllowed() const { return upload == "1"; }
  // Line 4 as "sha256=" and 64 hexadecimal digits: the digest the
  // downloaded program must have (lower case); empty otherwise.
  std::string ProgramDigest() const;
};

// Lines end with CR LF, LF or CR; a line longer than kListLineLimit is cut
// there, bytes past kListReadLimit are not looked at.
UpdateList ParseUpdateList(std::string_view bytes);

// The update number of a database date text: what follows the first
// ", Upd " with every ", Upd ", blank and "." removed, as a decimal number;
// 0 when there is none or it is not a number.
std::uint32_t UpdateNumber(std::string_view dateText);
// Line 6 as a decimal number, 0 when it is not one.
std::uint32_t DecimalOrZero(std::string_view text);

// Whether a database text reads to its end line "_end".
bool EndsWithEndLine(std::string_view text);

// Merges a deciphered package into a database text: the package's first line
// (the new date line) replaces the database's first line, and the rest of the
// package replaces the database's end line. False, with the database
// untouched, when the package has no first line ending in CR LF or does not
// itself end with the end line, or the database has no end line.
bool MergePackage(std::string& database, std::string_view package);

// Lower-case hexadecimal SHA-256 of the bytes.
std::string Sha256Hex(std::string_view bytes);

}  // namespace update
