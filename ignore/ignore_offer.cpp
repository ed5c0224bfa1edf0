#include "ignore/ignore_offer.h"

#include "app/all_windows.h"
#include "platform/text.h"

namespace ignore {

using ui::Kind;

std::string FindingFolder(TForm1& main, int row) {
  if (row < 0) return {};
  for (const auto& r : main.scan.findings.Records()) {
    if (r.ListIndex != row) continue;
    std::string folder = r.IsFolder ? r.Path : platform::ExtractFilePath(r.Path);
    // "C:\" stays as it is; other folders are stored without their closing backslash.
    if (folder.size() > 3 && folder.back() == '\\') folder.pop_back();
    return folder;
  }
  return {};
}

bool IgnoreSelectedFinding(TFormIG& window, TForm1& main) {
  const int row = main.List1->ItemIndex();
  const std::string folder = FindingFolder(main, row);
  if (folder.empty()) return false;
  if (!IsIgnoredPath(window.fileList, folder)) window.AddFolder(folder);
  // Saved at once: the list must not depend on the window being closed later.
  window.SaveLists();
  main.List1->SetChecked(static_cast<std::size_t>(row), false);
  return true;
}

void OfferIgnoreList(TFormIG& window, TForm1& main) {
  auto button = [&](const char* name, const char* page, ui::Rect r) {
    auto& b = main.Add(Kind::OwnerButton, name, main.Find(page), "Ignore list");
    b.SetBounds(r);
    b.SetHint("-1");
    b.OnClick = [&window] { window.Show(); };
  };
  button("xpButtonIgnore1", "Page1", {508, 4, 120, 22});
  button("xpButtonIgnore4", "Page4", {416, 436, 96, 30});

  auto& popup = main.Add<ui::PopupMenu>(Kind::PopupMenu, "pmFindings");
  auto& ignoreFolder = main.Add(Kind::MenuItem, "IgnoreFolder1", &popup, "Ignore this folder");
  auto& showList = main.Add(Kind::MenuItem, "ShowIgnoreList1", &popup, "Ignore list");
  for (auto* item : {&ignoreFolder, &showList}) item->SetHint("-1");
  ignoreFolder.OnClick = [&window, &main] { IgnoreSelectedFinding(window, main); };
  showList.OnClick = [&window] { window.Show(); };
  popup.OnPopup = [&ignoreFolder, &main] {
    ignoreFolder.SetEnabled(!FindingFolder(main, main.List1->ItemIndex()).empty());
  };
  main.List1->popupMenu = &popup;
}

}  // namespace ignore
