#include "platform/win32/host_dialogs.h"

#include "platform/win32/win.h"

namespace platform::win32 {
namespace {

std::optional<std::optional<std::string>> g_script;
std::string g_lastTitle;

// Explorer-style hook: once the dialog is up, note its caption and, when a
// script is pending, answer as the user would.
UINT_PTR CALLBACK DialogHook(HWND child, UINT msg, WPARAM, LPARAM lp) {
  if (msg != WM_NOTIFY || reinterpret_cast<NMHDR*>(lp)->code != CDN_INITDONE) return 0;
  HWND dialog = GetParent(child);
  char title[256] = {};
  GetWindowTextA(dialog, title, sizeof title);
  g_lastTitle = title;
  if (!g_script) return 0;
  auto answer = std::move(*g_script);
  g_script.reset();
  if (answer) {
    // The file name box is cmb13 on newer systems and edt1 on older ones.
    SetDlgItemTextA(dialog, cmb13, answer->c_str());
    SetDlgItemTextA(dialog, edt1, answer->c_str());
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
  } else {
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDCANCEL)));
  }
  return 0;
}

}  // namespace

void ScriptNextFileDialog(std::optional<std::string> path) { g_script = std::move(path); }

std::string LastFileDialogTitle() { return g_lastTitle; }

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
  ofn.lpfnHook = DialogHook;
  if (kind == FileDialogKind::Save) {
    ofn.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_EXPLORER |
                OFN_ENABLEHOOK;
    if (!GetSaveFileNameA(&ofn)) return std::nullopt;
  } else {
    ofn.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_EXPLORER |
                OFN_ENABLEHOOK;
    if (!GetOpenFileNameA(&ofn)) return std::nullopt;
  }
  return std::string(path);
}

}  // namespace platform::win32
