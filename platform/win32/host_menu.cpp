// Context menus: built from the menu's items each time it opens, after its
// OnPopup handler has decided what is enabled.
#include <vector>

#include "platform/win32/host_parts.h"
#include "ui/form.h"

namespace platform::win32::hostparts {

void ShowPopupMenu(HWND owner, ui::PopupMenu& menu, POINT at) {
  menu.Popup();
  std::vector<ui::Component*> items;
  HMENU h = CreatePopupMenu();
  if (!h) return;
  for (const auto& c : menu.Owner().Components()) {
    if (c->Parent() != &menu || c->GetKind() != ui::Kind::MenuItem || !c->Visible()) continue;
    items.push_back(c.get());
    if (c->Caption() == "-") {
      AppendMenuA(h, MF_SEPARATOR, 0, nullptr);
    } else {
      AppendMenuA(h, MF_STRING | (c->Enabled() ? 0u : MF_GRAYED), items.size(), c->Caption().c_str());
    }
  }
  const int chosen = TrackPopupMenu(h, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, at.x, at.y, 0,
                                    owner, nullptr);
  DestroyMenu(h);
  if (chosen > 0 && chosen <= static_cast<int>(items.size())) items[chosen - 1]->Click();
}

}  // namespace platform::win32::hostparts
