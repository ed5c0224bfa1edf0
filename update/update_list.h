#pragma once
// The readers of what the update server sends: the update list and the
// incremental packages. Both take bytes and are bounded in memory and time.
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace update {

inline constexpr const char* kProductLine = "Klaruvex Pro";
inline constexpr const char* kBuiltInVersion = "Klaruvex Pro v7 - SE (Build date: 17.4.2010)";

// The most each download may bring, by what it is. A list is a few short
// lines and its hash lines; a signature 128 hexadecimal digits.
inline constexpr std::uint64_t kListCap = 64 * 1024;
inline constexpr std::uint64_t kSignatureCap = 1024;
inline constexpr std::uint64_t kDatabaseCap = 64ull << 20;  // a complete database, and a merged chain
inline constexpr std::uint64_t kProgramCap = 64ull << 20;
inline constexpr std::uint64_t kPackageCap = 16ull << 20;

inline constexpr std::size_t kListReadLimit = kListCap;
inline constexpr std::size_t kListLineLimit = 1024;

// The server paths of what the list announces.
inline constexpr const char* kListPath = "/updr2/list.htm";
inline constexpr const char* kSignaturePath = "/updr2/list.sig";
inline constexpr const char* kDatabasePath = "/updr2/files2.htm";
inline constexpr const char* kProgramPath = "/updr2/kvxup.htm";
std::string PackagePath(std::uint32_t number);  // "/updr2/upd/N.htm"

// "list.htm": six lines of fixed meaning, then lines that vouch for the
// files (a missing line reads as empty).
struct UpdateList {
  std::string product;   // line 1
  std::string date;      // line 2: the server's database date line
  std::string version;   // line 3: the server's program version text
  std::string reserved;  // line 4
  std::string upload;    // line 5: "1" switches the log upload offer on
  std::string base;      // line 6: lowest update number the chain may start from
  // Lines 7 and after. "PATH sha256=HEX": the SHA-256 of the file at that
  // server path, in lower case; a path named twice with different digests
  // maps to an empty text, which no file matches.
  std::map<std::string, std::string> hashes;
  // "serial=N", a decimal number the vendor raises with every list; none
  // when missing, repeated or not a number that fits 32 bits.
  std::optional<std::uint32_t> serial;
  // "expires=YYYY-MM-DD" as the number YYYYMMDD; 0 for a line that is not a
  // date or is repeated (long past, so such a list has always expired).
  std::optional<std::uint32_t> expires;

  bool Usable() const { return product == kProductLine; }
  bool UploadAllowed() const { return upload == "1"; }
  // Line 4 as "sha256=" and 64 hexadecimal digits: the digest the
  // downloaded program must have (lower case); empty otherwise.
  std::string ProgramDigest() const;
};

// Lines end with CR LF, LF or CR; a line longer than kListLineLimit is cut
// there, bytes past kListReadLimit are not looked at.
UpdateList ParseUpdateList(std::string_view bytes);

// The lines of a list as ParseUpdateList splits them (at most what it reads).
std::vector<std::string> ListLines(std::string_view bytes);

// 64 hexadecimal digits as lower case; empty when the text is anything else.
std::string Digest64(std::string_view text);

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
// itself end with the end line, the database has no end line, or the merged
// text would pass `limit` bytes.
bool MergePackage(std::string& database, std::string_view package,
                  std::size_t limit = kDatabaseCap);

// Lower-case hexadecimal SHA-256 of the bytes.
std::string Sha256Hex(std::string_view bytes);

}  // namespace update
