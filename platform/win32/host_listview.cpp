// List views: check boxes that come and go with placeholder rows, small
// icons from files or stock pictures, keys the program discards, and the
// clicks the program acts on.
#include <map>

#include "platform/win32/host_parts.h"

namespace platform::win32::hostparts {
namespace {

constexpr char kProcProp[] = "KlaruvexListProc";
constexpr char kListProp[] = "KlaruvexList";
constexpr char kSwallowProp[] = "KlaruvexSwallowChar";

std::map<const ui::ImageList*, HIMAGELIST>& ImageLists() {
  static std::map<const ui::ImageList*, HIMAGELIST> lists;
  return lists;
}

HICON IconOf(const std::string& source) {
  if (source == "#service") return LoadIconA(nullptr, MAKEINTRESOURCEA(32517));  // IDI_WINLOGO
  if (source == "#marker") return LoadIconA(nullptr, MAKEINTRESOURCEA(32515));   // IDI_WARNING
  if (!source.empty() && source[0] != '#') {
    HICON small = nullptr;
    if (ExtractIconExA(source.c_str(), 0, nullptr, &small, 1) > 0 && small) return small;
  }
  return LoadIconA(nullptr, MAKEINTRESOURCEA(32512));  // IDI_APPLICATION
}

void AppendIcons(HIMAGELIST list, const ui::ImageList& images) {
  for (int i = ImageList_GetImageCount(list); i < static_cast<int>(images.Sources().size()); ++i) {
    HICON icon = IconOf(images.Sources()[i]);
    ImageList_AddIcon(list, icon);
    if (images.Sources()[i].empty() || images.Sources()[i][0] != '#') DestroyIcon(icon);
  }
}

HIMAGELIST ImageListOf(const ui::ImageList& images) {
  auto& lists = ImageLists();
  auto it = lists.find(&images);
  if (it == lists.end()) {
    HIMAGELIST h = ImageList_Create(GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON),
                                    ILC_COLOR32 | ILC_MASK, 8, 8);
    it = lists.emplace(&images, h).first;
  }
  AppendIcons(it->second, images);
  return it->second;
}

LRESULT CALLBACK ListViewProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  auto proc = reinterpret_cast<WNDPROC>(GetPropA(h, kProcProp));
  auto* lv = static_cast<ui::ListView*>(GetPropA(h, kListProp));
  if (lv && msg == WM_KEYDOWN) {
    bool swallow = false;
    RunHandler([&] { swallow = lv->KeyDown(static_cast<unsigned>(wp)) == 0; });
    SetPropA(h, kSwallowProp, reinterpret_cast<HANDLE>(static_cast<INT_PTR>(swallow)));
    if (swallow) return 0;
  }
  // The characters of a discarded key would move the selection by name.
  if (msg == WM_CHAR && GetPropA(h, kSwallowProp)) return 0;
  if (msg == WM_NCDESTROY) {
    RemovePropA(h, kProcProp);
    RemovePropA(h, kListProp);
    RemovePropA(h, kSwallowProp);
  }
  return CallWindowProcA(proc, h, msg, wp, lp);
}

}  // namespace

void ApplyListViewStyle(HWND list, const ui::ListView& lv) {
  DWORD ex = 0;
  if (lv.checkBoxes) ex |= LVS_EX_CHECKBOXES;
  if (lv.gridLines) ex |= LVS_EX_GRIDLINES;
  if (lv.rowSelect) ex |= LVS_EX_FULLROWSELECT;
  const DWORD mask = LVS_EX_CHECKBOXES | LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT;
  if ((ListView_GetExtendedListViewStyle(list) & mask) != ex)
    SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, mask, ex);
  if (lv.smallImages) ListView_SetImageList(list, ImageListOf(*lv.smallImages), LVSIL_SMALL);
}

bool DrawStockIcon(const DRAWITEMSTRUCT& d, const ui::Component& image) {
  const std::string& source = image.Caption();
  if (source.empty() || source[0] != '#') return false;
  FillRect(d.hDC, &d.rcItem, GetSysColorBrush(COLOR_BTNFACE));
  DrawIconEx(d.hDC, d.rcItem.left, d.rcItem.top, IconOf(source), d.rcItem.right - d.rcItem.left,
             d.rcItem.bottom - d.rcItem.top, 0, nullptr, DI_NORMAL);
  return true;
}

void ImageListChanged(const ui::ImageList& images) {
  if (ImageLists().count(&images)) ImageListOf(images);
}

void HookListView(HWND list, ui::ListView& lv) {
  if (GetPropA(list, kProcProp)) return;
  SetPropA(list, kListProp, &lv);
  SetPropA(list, kProcProp,
           reinterpret_cast<HANDLE>(SetWindowLongPtrA(list, GWLP_WNDPROC,
                                                      reinterpret_cast<LONG_PTR>(ListViewProc))));
}

bool ListViewNotify(ui::ListView& lv, const NMHDR& hdr) {
  if (hdr.code == NM_CLICK) {
    const auto& act = reinterpret_cast<const NMITEMACTIVATE&>(hdr);
    if (lv.OnMouseUp) lv.OnMouseUp(act.iItem);
    return true;
  }
  return false;
}

LRESULT ListViewCustomDraw(const ui::ListView& lv, NMLVCUSTOMDRAW& draw) {
  if (!lv.OnCustomDrawItem) return CDRF_DODEFAULT;
  if (draw.nmcd.dwDrawStage == CDDS_PREPAINT) return CDRF_NOTIFYITEMDRAW;
  if (draw.nmcd.dwDrawStage != CDDS_ITEMPREPAINT) return CDRF_DODEFAULT;
  const ui::RowColours c = lv.ItemColours(static_cast<std::size_t>(draw.nmcd.dwItemSpec));
  auto ref = [](std::uint32_t rgb) { return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); };
  if (c.text) draw.clrText = ref(*c.text);
  if (c.background) draw.clrTextBk = ref(*c.background);
  return CDRF_DODEFAULT;
}

LRESULT CheckListCustomDraw(const ui::ListBox& lb, NMLVCUSTOMDRAW& draw) {
  if (draw.nmcd.dwDrawStage == CDDS_PREPAINT) return CDRF_NOTIFYITEMDRAW;
  if (draw.nmcd.dwDrawStage == CDDS_ITEMPREPAINT && !lb.ItemEnabled(static_cast<std::size_t>(draw.nmcd.dwItemSpec)))
    draw.clrText = GetSysColor(COLOR_GRAYTEXT);
  return CDRF_DODEFAULT;
}

}  // namespace platform::win32::hostparts
