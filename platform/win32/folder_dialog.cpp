#include "platform/win32/folder_dialog.h"

#include <shlobj.h>

namespace platform::win32 {
namespace {

int CALLBACK SelectStart(HWND dialog, UINT message, LPARAM, LPARAM data) {
  if (message == BFFM_INITIALIZED) SendMessageA(dialog, BFFM_SETSELECTIONA, TRUE, data);
  return 0;
}

}  // namespace

std::optional<std::string> ChooseFolder(HWND owner, const std::string& title,
                                        const std::string& start) {
  // The new-style dialog needs COM on this thread; a second initialisation is harmless.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  BROWSEINFOA bi{};
  bi.hwndOwner = owner;
  bi.lpszTitle = title.c_str();
  bi.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
  bi.lpfn = SelectStart;
  bi.lParam = reinterpret_cast<LPARAM>(start.c_str());
  std::optional<std::string> chosen;
  if (PIDLIST_ABSOLUTE item = SHBrowseForFolderA(&bi)) {
    char path[MAX_PATH] = {};
    if (SHGetPathFromIDListA(item, path)) chosen = path;
    CoTaskMemFree(item);
  }
  if (SUCCEEDED(com)) CoUninitialize();
  return chosen;
}

}  // namespace platform::win32
