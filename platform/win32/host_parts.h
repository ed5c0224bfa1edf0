#pragma once
// The control families of the Win32 host beside its core (host.cpp): tab
// controls, list views with icons, check boxes and keys, context menus.
#include <functional>
#include <map>

#include "platform/win32/win.h"
#include "ui/component.h"

namespace platform::win32::hostparts {

// Runs what a window message starts under the application's general error
// report: an exception never crosses the system's frames.
void RunHandler(const std::function<void()>& fn);

// Tabs: one per page of the page control, the active page selected.
void FillTabs(HWND tab, const ui::PageBook& book);
// The user picked another tab.
void TabChanged(HWND tab, ui::PageBook& book);

// Extended styles, check boxes and the small image list of a list view.
void ApplyListViewStyle(HWND list, const ui::ListView& lv);
// An icon was added to an image list some list views show.
void ImageListChanged(const ui::ImageList& images);
// Draws an image control whose caption names a stock icon ("#marker");
// false for other images.
bool DrawStockIcon(const DRAWITEMSTRUCT& d, const ui::Component& image);
// Subclasses the list view so its key handler can swallow keys.
void HookListView(HWND list, ui::ListView& lv);
// A click the list view reports to its form (the row under the pointer
// goes to OnMouseUp); true when handled.
bool ListViewNotify(ui::ListView& lv, const NMHDR& hdr);

// NM_CUSTOMDRAW of a list view: each row painted in the colours its
// OnCustomDrawItem gives; the answer for the notification.
LRESULT ListViewCustomDraw(const ui::ListView& lv, NMLVCUSTOMDRAW& draw);
// A check list's disabled lines in the grey of disabled text.
LRESULT CheckListCustomDraw(const ui::ListBox& lb, NMLVCUSTOMDRAW& draw);

// Opens the context menu at the screen point and clicks the chosen item.
void ShowPopupMenu(HWND owner, ui::PopupMenu& menu, POINT at);

// The form's menu bar from its MainMenu, the items' command numbers (counted
// from firstId in component order) added to byId; nullptr when no item shows.
HMENU BuildMainMenu(const ui::Form& form, int firstId, std::map<int, ui::Component*>& byId);
// Whether the menu or one of its drop-downs holds the command.
bool MenuHoldsCommand(HMENU menu, int id);

}  // namespace platform::win32::hostparts
