// Popup menus of the control model: built from the menu's items when they
// are to be shown, tracked at the mouse cursor, the chosen item clicked.
#include <vector>

#include "platform/win32/internal.h"
#include "platform/win32/win.h"
#include "ui/form.h"

namespace platform::win32 {

void TrackPopupMenuAtCursor(HWND owner, ui::Component& menu) {
  std::vector<ui::Component*> items;
  HMENU h = CreatePopupMenu();
  if (!h) return;
  for (const auto& c : menu.Owner().Components()) {
    if (c->Parent() != &menu || c->GetKind() != ui::Kind::MenuItem || !c->Visible()) continue;
    if (c->Caption() == "-") {
      AppendMenuA(h, MF_SEPARATOR, 0, nullptr);
      continue;
    }
    items.push_back(c.get());
    UINT flags = MF_STRING | (c->Enabled() ? 0 : MF_GRAYED);
    AppendMenuA(h, flags, items.size(), c->Caption().c_str());
  }
  POINT at{};
  GetCursorPos(&at);
  SetForegroundWindow(owner);
  const int chosen = static_cast<int>(TrackPopupMenu(
      h, TPM_RETURNCMD | TPM_NONOTIFY | TPM_LEFTALIGN | TPM_RIGHTBUTTON, at.x, at.y, 0, owner, nullptr));
  DestroyMenu(h);
  if (chosen > 0 && chosen <= static_cast<int>(items.size())) items[chosen - 1]->Click();
}

}  // namespace platform::win32
