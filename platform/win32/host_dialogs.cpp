#include "platform/win32/host_dialogs.h"

#include "platform/win32/win.h"

namespace platform::win32 {

std::optional<std::string> ShowFileDialog(FileDialogKind kind, const std::string& title,
                                          const std::string& fileName, const std::string& filter) {
  char path[MAX_PATH] = {};
  fileName.copy(path, sizeof(path) - 1);
  std::string f = filter + "||";
  for (char& c : f)
    if (c == '|') c = '\0';
  OPENFILENAMEA ofn{};
  ofn.lStructSize = sizeof(ofn);
  ofn.hwndOwner = GetActiveWindow();
  ofn.lpstrFilter = f.c_str();
  ofn.lpstrFile = path;
  ofn.nMaxFile = sizeof(path);
  ofn.lpstrTitle = title.c_str();
  if (kind == FileDialogKind::Save) {
    ofn.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
    if (!GetSaveFileNameA(&ofn)) return std::nullopt;
  } else {
    ofn.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
    if (!GetOpenFileNameA(&ofn)) return std::nullopt;
  }
  return std::string(path);
}

}  // namespace platform::win32
