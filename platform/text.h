#pragma once
// Single-byte text helpers. All text is in the system code page (Windows-1252);
// letter case follows that code page, not the C locale.
#include <string>
#include <string_view>

namespace platform {

char LowerChar(char c);
char UpperChar(char c);
std::string LowerCase(std::string_view s);
std::string UpperCase(std::string_view s);
bool SameText(std::string_view a, std::string_view b);

std::string TrimRight(std::string_view s);  // blanks and control characters
std::string Trim(std::string_view s);

// Path parts with Windows separators ('\\', '/' and the drive colon).
std::string ExtractFileName(std::string_view path);
std::string_view FileNamePart(std::string_view path);  // ExtractFileName without a copy
std::string ExtractFilePath(std::string_view path);  // keeps the trailing backslash
std::string ExtractFileExt(std::string_view path);   // with its dot, or empty
std::string IncludeTrailingBackslash(std::string_view path);
std::string ExcludeTrailingBackslash(std::string_view path);

// Windows file-name pattern match ('*' and '?', case-insensitive, "*.*"
// matches names without a dot as well).
bool MatchesMask(std::string_view name, std::string_view mask);

// The code page's text as UTF-8. The five bytes Windows-1252 leaves undefined
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) become U+0081 and so on when kept, so they
// survive a round trip, or U+FFFD otherwise.
std::string Cp1252ToUtf8(std::string_view text, bool keepUndefined = false);
// UTF-8 back to the code page: characters it cannot hold and broken
// sequences become '?'.
std::string Utf8ToCp1252(std::string_view text);
// The Windows-1252 code point of bytes 0x80 to 0x9F (undefined ones as
// U+0081 and so on).
char32_t Cp1252HighCodePoint(unsigned char byte);

}  // namespace platform
