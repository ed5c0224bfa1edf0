// Menu bars: a form's MainMenu and its MenuItem children (sub-items become
// drop-down menus). A chosen item arrives as WM_COMMAND with the item's
// command number, which the host core turns into the item's click.
#include "platform/win32/host_parts.h"
#include "ui/form.h"

namespace platform::win32::hostparts {

namespace {

bool IsShownItem(const ui::Component& c, const ui::Component& parent) {
  return c.Parent() == &parent && c.GetKind() == ui::Kind::MenuItem && c.Visible();
}

// Appends the items under `parent`; true when any was added.
bool AppendItems(HMENU into, const ui::Form& form, const ui::Component& parent,
                 const std::map<const ui::Component*, int>& idOf,
                 std::map<int, ui::Component*>& byId) {
  bool any = false;
  for (const auto& c : form.Components()) {
    if (!IsShownItem(*c, parent)) continue;
    any = true;
    if (c->Caption() == "-") {
      AppendMenuA(into, MF_SEPARATOR, 0, nullptr);
      continue;
    }
    const UINT grayed = c->Enabled() ? 0u : MF_GRAYED;
    HMENU sub = CreatePopupMenu();
    if (sub && AppendItems(sub, form, *c, idOf, byId)) {
      AppendMenuA(into, MF_POPUP | grayed, reinterpret_cast<UINT_PTR>(sub), c->Caption().c_str());
      continue;
    }
    if (sub) DestroyMenu(sub);
    const int id = idOf.at(c.get());
    byId[id] = c.get();
    AppendMenuA(into, MF_STRING | grayed, static_cast<UINT_PTR>(id), c->Caption().c_str());
  }
  return any;
}

}  // namespace

HMENU BuildMainMenu(const ui::Form& form, int firstId, std::map<int, ui::Component*>& byId) {
  // Command numbers follow the order of the form's components, as the
  // controls' do.
  std::map<const ui::Component*, int> idOf;
  int id = firstId;
  const ui::Component* bar = nullptr;
  for (const auto& c : form.Components()) {
    idOf[c.get()] = id++;
    if (!bar && c->GetKind() == ui::Kind::MainMenu) bar = c.get();
  }
  if (!bar) return nullptr;
  HMENU menu = CreateMenu();
  if (!menu) return nullptr;
  if (!AppendItems(menu, form, *bar, idOf, byId)) {
    DestroyMenu(menu);  // no item shown: no bar
    return nullptr;
  }
  return menu;
}

bool MenuHoldsCommand(HMENU menu, int id) {
  if (!menu) return false;
  for (int i = 0, n = GetMenuItemCount(menu); i < n; ++i) {
    if (HMENU sub = GetSubMenu(menu, i)) {
      if (MenuHoldsCommand(sub, id)) return true;
    } else if (GetMenuItemID(menu, i) == static_cast<UINT>(id)) {
      return true;
    }
  }
  return false;
}

}  // namespace platform::win32::hostparts
