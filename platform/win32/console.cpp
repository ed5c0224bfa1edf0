#include <string>

#include "platform/win32/machine.h"
#include "platform/win32/win.h"

namespace platform::win32 {
namespace {

void WriteLine(DWORD which, std::string_view line) {
  HANDLE out = GetStdHandle(which);
  if (out == nullptr || out == INVALID_HANDLE_VALUE) return;
  std::string text(line);
  text += "\r\n";
  DWORD mode = 0;
  if (GetConsoleMode(out, &mode)) {
    // The console's own code page (OEM) is not the system's: let the
    // console draw the characters themselves.
    const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0 &&
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), n) == n) {
      DWORD written = 0;
      WriteConsoleW(out, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
      return;
    }
  }
  // A file or a pipe: a script reads the system code page's bytes.
  const char* p = text.data();
  std::size_t left = text.size();
  while (left > 0) {
    DWORD written = 0;
    if (!WriteFile(out, p, static_cast<DWORD>(left), &written, nullptr) || written == 0) return;
    p += written;
    left -= written;
  }
}

}  // namespace

void WriteStandardOutput(std::string_view line) { WriteLine(STD_OUTPUT_HANDLE, line); }
void WriteStandardError(std::string_view line) { WriteLine(STD_ERROR_HANDLE, line); }

}  // namespace platform::win32
