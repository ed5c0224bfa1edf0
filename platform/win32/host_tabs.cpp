// Tab controls: the tabs of a page control and the user's choice of tab.
#include "platform/win32/host_parts.h"

namespace platform::win32::hostparts {

void FillTabs(HWND tab, const ui::PageBook& book) {
  const auto pages = book.Pages();
  if (TabCtrl_GetItemCount(tab) != static_cast<int>(pages.size())) {
    TabCtrl_DeleteAllItems(tab);
    for (std::size_t i = 0; i < pages.size(); ++i) {
      TCITEMA item{};
      item.mask = TCIF_TEXT;
      item.pszText = const_cast<char*>(pages[i]->Caption().c_str());
      SendMessageA(tab, TCM_INSERTITEMA, i, reinterpret_cast<LPARAM>(&item));
    }
  }
  if (TabCtrl_GetCurSel(tab) != book.ActivePage()) TabCtrl_SetCurSel(tab, book.ActivePage());
}

void TabChanged(HWND tab, ui::PageBook& book) {
  const int index = TabCtrl_GetCurSel(tab);
  if (index >= 0 && index != book.ActivePage()) book.SetActivePage(index);
}

}  // namespace platform::win32::hostparts
