#pragma once
// The text rules of the start-up manager, apart from any window: the program
// path of a Run command, the System.ini/Win.ini lines it lists and rewrites,
// and the keyboard class's "UpperFilters" multi-string.
#include <string>
#include <string_view>
#include <vector>

namespace startup {

// The executable a Run value starts, in lower case ("\"C:\\App\\a.exe\" /m"
// gives c:\app\a.exe; "rundll32.exe x.dll,Entry" gives x.dll).
std::string ExecutablePathOfCommand(std::string_view command);

// Lines of a text file: split at CR LF, LF or a lone CR; at most
// kMaxIniLines lines are taken.
inline constexpr std::size_t kMaxIniBytes = 4 << 20;
inline constexpr std::size_t kMaxIniLines = 100000;
std::vector<std::string> SplitLines(std::string_view text);

// A line as the INI lists show it: trimmed, lower case.
std::string NormalizeIniLine(std::string_view line);
// Whether a normalised line is a loader line ("load", "run", "device"),
// active or commented out with ";".
bool IsLoaderLine(std::string_view normalised, bool* active);
// The file with every line whose normalised form equals oldLine replaced by
// newLine; other lines stay as they were, however many there are. Lines end
// with CR LF.
std::string RewriteIniLines(std::string_view text, std::string_view oldLine,
                            std::string_view newLine);

// "UpperFilters" as the keyboard page reads it: at most kFilterBufferSize
// bytes, blank-filled past the value's end.
inline constexpr std::size_t kFilterBufferSize = 260;
std::string FilterBuffer(std::string_view value);
// The filter names after the class driver, in order, trimmed.
std::vector<std::string> FilterNames(std::string_view buffer);
// The multi-string that keeps the class driver and every filter but
// `removed` (exact comparison), closed by its double NUL.
std::string UpperFiltersWithout(std::string_view buffer, std::string_view removed);

}  // namespace startup
