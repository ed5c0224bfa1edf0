// Shows the forms of the control model as real windows with the common
// controls, and turns what the user does into the model's events.
#include <map>
#include <memory>
#include <vector>

#include "platform/win32/host_dialogs.h"
#include "platform/win32/host_parts.h"
#include "platform/win32/internal.h"
#include "platform/win32/machine.h"
#include "platform/win32/folder_dialog.h"
#include "platform/win32/win.h"
#include "ui/application.h"
#include "ui/call_queue.h"

namespace platform::win32 {
namespace {

using ui::Kind;
using ui::Prop;

constexpr UINT kWakeMessage = WM_APP + 1;
constexpr char kFormClass[] = "KlaruvexForm";
constexpr char kWakeClass[] = "KlaruvexWake";

// Colours of the owner-drawn buttons and banners.
constexpr COLORREF kFace = RGB(236, 242, 250);
constexpr COLORREF kFacePressed = RGB(200, 216, 238);
constexpr COLORREF kBorder = RGB(64, 104, 160);
constexpr COLORREF kText = RGB(20, 40, 72);
constexpr COLORREF kBannerTop = RGB(32, 72, 136);
constexpr COLORREF kBannerBottom = RGB(72, 128, 200);

struct FormWindow {
  ui::Form* form = nullptr;
  HWND hwnd = nullptr;
  bool placed = false;
  std::map<const ui::Component*, HWND> controls;
  std::map<int, ui::Component*> byId;
  std::map<UINT_PTR, ui::Timer*> timers;
};

class HostImpl;
HostImpl* g_host = nullptr;

class HostImpl final : public Win32Host, private ui::FormObserver {
 public:
  HostImpl() {
    g_host = this;
    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES |
                                              ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES | ICC_TAB_CLASSES};
    InitCommonControlsEx(&icc);
    HINSTANCE inst = GetModuleHandleA(nullptr);
    WNDCLASSA wc{};
    wc.lpfnWndProc = FormProc;
    wc.hInstance = inst;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hIcon = LoadIconA(inst, "MAINICON");
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kFormClass;
    RegisterClassA(&wc);
    WNDCLASSA wake{};
    wake.lpfnWndProc = WakeProc;
    wake.hInstance = inst;
    wake.lpszClassName = kWakeClass;
    RegisterClassA(&wake);
    wakeWindow_ = CreateWindowExA(0, kWakeClass, "", 0, 0, 0, 0, 0, nullptr, nullptr, inst, nullptr);
    calls_.wake = [w = wakeWindow_] { PostMessageA(w, kWakeMessage, 0, 0); };

    NONCLIENTMETRICSA ncm{};
    ncm.cbSize = sizeof(ncm);
    if (SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof(ncm), &ncm, 0))
      font_ = CreateFontIndirectA(&ncm.lfMessageFont);
    if (!font_) font_ = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    LOGFONTA big{};
    GetObjectA(font_, sizeof(big), &big);
    big.lfHeight = -22;
    big.lfWeight = FW_BOLD;
    bannerFont_ = CreateFontIndirectA(&big);
  }

  ~HostImpl() override {
    for (auto& fw : forms_) {
      fw->form->SetObserver(nullptr);
      DestroyFormWindow(*fw);
    }
    if (wakeWindow_) DestroyWindow(wakeWindow_);
    if (bannerFont_) DeleteObject(bannerFont_);
    g_host = nullptr;
  }

  // A form that goes away takes its window with it.
  void Destroyed(ui::Form& form) override {
    for (auto it = forms_.begin(); it != forms_.end(); ++it) {
      if ((*it)->form != &form) continue;
      DestroyFormWindow(**it);
      forms_.erase(it);
      return;
    }
  }

  // The windows forget their form and controls first: what Windows sends
  // while they are destroyed finds neither.
  static void DestroyFormWindow(FormWindow& fw) {
    if (!fw.hwnd) return;
    SetWindowLongPtrA(fw.hwnd, GWLP_USERDATA, 0);
    for (auto& [c, ch] : fw.controls) SetWindowLongPtrA(ch, GWLP_USERDATA, 0);
    DestroyWindow(fw.hwnd);
    fw.hwnd = nullptr;
  }

  void Attach(ui::Form& form) override {
    auto fw = std::make_unique<FormWindow>();
    fw->form = &form;
    CreateFormWindow(*fw);
    form.SetObserver(this);
    forms_.push_back(std::move(fw));
  }

  int MessageBox(const ui::MessageBoxSpec& spec) override {
    UINT flags = 0;
    switch (spec.buttons) {
      case ui::Buttons::Ok: flags = MB_OK; break;
      case ui::Buttons::OkCancel: flags = MB_OKCANCEL; break;
      case ui::Buttons::YesNo: flags = MB_YESNO; break;
      case ui::Buttons::YesNoCancel: flags = MB_YESNOCANCEL; break;
      case ui::Buttons::RetryCancel: flags = MB_RETRYCANCEL; break;
    }
    switch (spec.icon) {
      case ui::Icon::None: break;
      case ui::Icon::Error: flags |= MB_ICONERROR; break;
      case ui::Icon::Question: flags |= MB_ICONQUESTION; break;
      case ui::Icon::Warning: flags |= MB_ICONWARNING; break;
      case ui::Icon::Information: flags |= MB_ICONINFORMATION; break;
    }
    if (spec.topmost) flags |= MB_TOPMOST;
    if (spec.foreground) flags |= MB_SETFOREGROUND;
    if (spec.secondButtonDefault) flags |= MB_DEFBUTTON2;
    HWND owner = GetActiveWindow();
    return MessageBoxA(owner, spec.text.c_str(), spec.caption.c_str(), flags);
  }

  void ProcessMessages() override {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        PostQuitMessage(static_cast<int>(msg.wParam));  // leave it for the main loop
        break;
      }
      Dispatch(msg);
    }
    calls_.Drain(onException);
  }

  int Run(ui::Application& app) override {
    if (auto* main = app.MainForm(); main && !app.Terminated()) main->Show();
    MSG msg;
    while (!app.Terminated()) {
      BOOL r = GetMessageA(&msg, nullptr, 0, 0);
      if (r <= 0) break;
      Dispatch(msg);
    }
    return app.ExitCode();
  }

  void Quit() override { PostQuitMessage(0); }

  void Synchronize(std::function<void()> fn) override { calls_.Synchronize(std::move(fn)); }

  std::uint64_t NowMs() override { return GetTickCount(); }

  void Sleep(std::uint32_t ms) override {
    const DWORD start = GetTickCount();
    for (;;) {
      ProcessMessages();
      const DWORD gone = GetTickCount() - start;
      if (gone >= ms) break;
      MsgWaitForMultipleObjects(0, nullptr, FALSE, ms - gone, QS_ALLINPUT);
    }
  }

  std::optional<std::string> SaveFileDialog(const std::string& title, const std::string& fileName,
                                            const std::string& filter) override {
    return ShowFileDialog(FileDialogKind::Save, title, fileName, filter);
  }

  std::optional<std::string> BrowseForFolder(const std::string& title,
                                             const std::string& start) override {
    return ChooseFolder(GetActiveWindow(), title, start);
  }

  std::optional<std::string> OpenFileDialog(const std::string& title,
                                            const std::string& filter) override {
    return ShowFileDialog(FileDialogKind::Open, title, {}, filter);
  }

  void AnswerNextFileDialog(std::optional<std::string> path) override {
    ScriptNextFileDialog(std::move(path));
  }
  std::string LastFileDialogTitle() override { return win32::LastFileDialogTitle(); }

  std::string WindowText(const ui::Component& c) override {
    HWND h = HandleOf(c);
    if (!h) return {};
    if (c.GetKind() == Kind::StatusBar) {
      std::string all;
      auto* sb = dynamic_cast<const ui::StatusBar*>(&c);
      for (std::size_t i = 0; i < sb->Panels().size(); ++i) {
        char buf[512] = {};
        SendMessageA(h, SB_GETTEXTA, i, reinterpret_cast<LPARAM>(buf));
        all += (i ? "|" : "") + std::string(buf);
      }
      return all;
    }
    int n = GetWindowTextLengthA(h);
    std::string s(static_cast<std::size_t>(n) + 1, '\0');
    GetWindowTextA(h, s.data(), n + 1);
    s.resize(static_cast<std::size_t>(n));
    return s;
  }

  bool WindowShown(const ui::Component& c) override {
    HWND h = HandleOf(c);
    return h && IsWindowVisible(h);
  }

  bool WindowEnabled(const ui::Component& c) override {
    HWND h = HandleOf(c);
    return h && IsWindowEnabled(h);
  }

  void ClickWindow(const ui::Component& c) override {
    if (HWND h = HandleOf(c)) SendMessageA(h, BM_CLICK, 0, 0);
  }

  bool SaveWindowImage(const ui::Form& form, const std::string& bmpPath) override {
    HWND h = HandleOf(form);
    if (!h) return false;
    // The picture is read from the screen: nothing else may lie on top.
    SetWindowPos(h, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
    RedrawWindow(h, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    RECT r;
    GetWindowRect(h, &r);
    const int w = r.right - r.left, ht = r.bottom - r.top;
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = ht;  // bottom-up, as BMP files store it
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 24;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bmp = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool ok = false;
    if (bmp) {
      HGDIOBJ old = SelectObject(mem, bmp);
      ok = BitBlt(mem, 0, 0, w, ht, screen, r.left, r.top, SRCCOPY);
      SelectObject(mem, old);
      GdiFlush();
      const DWORD rowBytes = ((w * 3 + 3) / 4) * 4, imageBytes = rowBytes * ht;
      BITMAPFILEHEADER fh{};
      fh.bfType = 0x4D42;
      fh.bfOffBits = sizeof(fh) + sizeof(bi.bmiHeader);
      fh.bfSize = fh.bfOffBits + imageBytes;
      HANDLE f = CreateFileA(bmpPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
      DWORD put = 0;
      ok = ok && f != INVALID_HANDLE_VALUE && WriteFile(f, &fh, sizeof(fh), &put, nullptr) &&
           WriteFile(f, &bi.bmiHeader, sizeof(bi.bmiHeader), &put, nullptr) &&
           WriteFile(f, bits, imageBytes, &put, nullptr);
      if (f != INVALID_HANDLE_VALUE) CloseHandle(f);
      DeleteObject(bmp);
    }
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    return ok;
  }

  std::vector<bool> WindowChecks(const ui::Component& c) override {
    std::vector<bool> out;
    if (HWND h = HandleOf(c))
      for (int i = 0, n = ListView_GetItemCount(h); i < n; ++i) out.push_back(ListView_GetCheckState(h, i));
    return out;
  }

  void ToggleWindowCheck(const ui::Component& c, int row) override {
    if (HWND h = HandleOf(c)) ListView_SetCheckState(h, row, !ListView_GetCheckState(h, row));
  }

  void PostToWindow(const ui::Component& c, unsigned message) override {
    if (HWND h = HandleOf(c)) PostMessageA(h, message, 0, 0);
  }

  bool ClickMenuItem(const ui::Form& form, const ui::Component& item) override {
    HWND h = HandleOf(form);
    FormWindow* fw = h ? FromHwnd(h) : nullptr;
    if (!fw) return false;
    for (const auto& [id, c] : fw->byId) {
      if (c != &item || !hostparts::MenuHoldsCommand(GetMenu(h), id)) continue;
      SendMessageA(h, WM_COMMAND, MAKEWPARAM(id, 0), 0);
      return true;
    }
    return false;
  }

  std::vector<std::string> WindowRows(const ui::Component& c) override {
    std::vector<std::string> rows;
    HWND h = HandleOf(c);
    if (!h) return rows;
    if (c.GetKind() == Kind::ListBox) {
      int n = static_cast<int>(SendMessageA(h, LB_GETCOUNT, 0, 0));
      for (int i = 0; i < n; ++i) {
        std::string s(static_cast<std::size_t>(SendMessageA(h, LB_GETTEXTLEN, i, 0)) + 1, '\0');
        SendMessageA(h, LB_GETTEXT, i, reinterpret_cast<LPARAM>(s.data()));
        rows.push_back(s.c_str());
      }
      return rows;
    }
    int n = ListView_GetItemCount(h);
    HWND header = ListView_GetHeader(h);
    int cols = header ? std::max(1, Header_GetItemCount(header)) : 1;
    for (int i = 0; i < n; ++i) {
      std::string row;
      for (int col = 0; col < cols; ++col) {
        char buf[1024] = {};
        LVITEMA it{};
        it.iSubItem = col;
        it.pszText = buf;
        it.cchTextMax = sizeof(buf);
        SendMessageA(h, LVM_GETITEMTEXTA, i, reinterpret_cast<LPARAM>(&it));
        row += (col ? "|" : "") + std::string(buf);
      }
      rows.push_back(row);
    }
    return rows;
  }

 private:
  // Tab and the arrow keys move between the controls of the active form.
  static void Dispatch(MSG& msg) {
    HWND active = GetActiveWindow();
    if (active && IsDialogMessageA(active, &msg)) {
      if (g_host) g_host->SyncFocus();
      return;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
    if (g_host) g_host->SyncFocus();
  }

  // The control the user moved the keyboard focus to becomes its form's
  // active control, so containers learn that the focus entered them.
  void SyncFocus() {
    HWND focus = GetFocus();
    if (focus == lastFocus_) return;
    lastFocus_ = focus;
    for (auto& fw : forms_)
      for (auto& [c, h] : fw->controls)
        if (h == focus && fw->form->ActiveControl() != c) {
          syncing_ = true;
          fw->form->FocusControl(const_cast<ui::Component*>(c));
          syncing_ = false;
          return;
        }
  }

  // Whether the hourglass is set on the control of window `under`, on a
  // container of it or on the form; over a page control, its shown page counts.
  bool ShowsHourGlass(const FormWindow& fw, HWND under) const {
    const ui::Component* c = fw.form;
    for (const auto& [comp, ch] : fw.controls)
      if (ch == under) c = comp;
    if (auto* book = dynamic_cast<const ui::PageBook*>(c)) {
      const auto pages = book->Pages();
      if (book->ActivePage() >= 0 && book->ActivePage() < int(pages.size())) c = pages[book->ActivePage()];
    }
    for (; c; c = c->Parent())
      if (c->Cursor() == ui::CursorShape::HourGlass) return true;
    return fw.form->Cursor() == ui::CursorShape::HourGlass;
  }

  HWND HandleOf(const ui::Component& c) {
    for (auto& fw : forms_) {
      if (fw->form == &c) return fw->hwnd;
      if (auto it = fw->controls.find(&c); it != fw->controls.end()) return it->second;
    }
    return nullptr;
  }

  FormWindow* WindowOf(const ui::Form& f) {
    for (auto& fw : forms_)
      if (fw->form == &f) return fw.get();
    return nullptr;
  }

  static FormWindow* FromHwnd(HWND h) {
    return reinterpret_cast<FormWindow*>(GetWindowLongPtrA(h, GWLP_USERDATA));
  }

  DWORD FormStyle(const ui::Form& f) const {
    return f.sizeable ? WS_OVERLAPPEDWINDOW : (WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX);
  }

  void CreateFormWindow(FormWindow& fw) {
    ui::Form& f = *fw.form;
    RECT r{0, 0, f.Bounds().width, f.Bounds().height};
    DWORD exStyle = f.stayOnTop ? WS_EX_TOPMOST : 0;
    HMENU menuBar = hostparts::BuildMainMenu(f, 101, fw.byId);  // ids as the loop below counts
    AdjustWindowRectEx(&r, FormStyle(f), menuBar != nullptr, exStyle);
    fw.hwnd = CreateWindowExA(exStyle, kFormClass, f.Caption().c_str(), FormStyle(f),
                              CW_USEDEFAULT, CW_USEDEFAULT, r.right - r.left, r.bottom - r.top,
                              nullptr, menuBar, GetModuleHandleA(nullptr), nullptr);
    SetWindowLongPtrA(fw.hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&fw));
    int id = 100;
    for (const auto& cp : f.Components()) {
      ui::Component& c = *cp;
      ++id;
      if (auto* t = dynamic_cast<ui::Timer*>(&c)) {
        fw.timers[static_cast<UINT_PTR>(id)] = t;
        fw.byId[id] = &c;
        if (t->Enabled()) SetTimer(fw.hwnd, static_cast<UINT_PTR>(id), t->Interval(), nullptr);
        continue;
      }
      if (HWND h = CreateControl(fw, c, id)) {
        fw.controls[&c] = h;
        fw.byId[id] = &c;
        SendMessageA(h, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
        if (!c.Enabled()) EnableWindow(h, FALSE);
        FillControl(c, h);
      }
    }
    // Group boxes and tab controls go beneath the controls they frame.
    for (auto& [c, h] : fw.controls)
      if (c->GetKind() == Kind::GroupBox || c->GetKind() == Kind::PageControl)
        SetWindowPos(h, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    UpdateVisibility(fw);
  }

  // Position inside the form: containers other than the form and the page
  // book add their offsets.
  static RECT Placement(const ui::Component& c) {
    int x = c.Bounds().left, y = c.Bounds().top;
    for (const ui::Component* p = c.Parent(); p && p->GetKind() != Kind::Form; p = p->Parent()) {
      x += p->Bounds().left;
      y += p->Bounds().top;
    }
    return {x, y, x + c.Bounds().width, y + c.Bounds().height};
  }

  HWND CreateControl(FormWindow& fw, ui::Component& c, int id) {
    const char* cls = nullptr;
    DWORD style = WS_CHILD | WS_CLIPSIBLINGS;
    DWORD ex = 0;
    switch (c.GetKind()) {
      case Kind::Label: cls = "STATIC"; style |= SS_LEFT; break;
      case Kind::Button: cls = "BUTTON"; style |= BS_PUSHBUTTON | WS_TABSTOP; break;
      case Kind::OwnerButton: cls = "BUTTON"; style |= BS_OWNERDRAW | WS_TABSTOP; break;
      case Kind::CheckBox:
      case Kind::OwnerCheckBox: cls = "BUTTON"; style |= BS_AUTOCHECKBOX | WS_TABSTOP; break;
      case Kind::GroupBox: cls = "BUTTON"; style |= BS_GROUPBOX; break;
      case Kind::Panel: cls = "STATIC"; style |= SS_ETCHEDFRAME; break;
      case Kind::Image: cls = "STATIC"; style |= SS_OWNERDRAW; break;
      case Kind::Edit: cls = "EDIT"; style |= ES_AUTOHSCROLL | WS_TABSTOP; ex = WS_EX_CLIENTEDGE; break;
      case Kind::Memo:
        cls = "EDIT";
        style |= ES_MULTILINE | ES_AUTOVSCROLL | WS_VSCROLL | WS_TABSTOP;
        if (dynamic_cast<ui::Memo&>(c).readOnly) style |= ES_READONLY;
        ex = WS_EX_CLIENTEDGE;
        break;
      case Kind::ListBox:
        cls = "LISTBOX";
        style |= LBS_NOTIFY | WS_VSCROLL | WS_TABSTOP;
        ex = WS_EX_CLIENTEDGE;
        break;
      case Kind::ListView:
      case Kind::CheckListBox:
        cls = WC_LISTVIEWA;
        style |= LVS_REPORT | LVS_SHOWSELALWAYS | WS_TABSTOP;
        if (c.GetKind() == Kind::CheckListBox) style |= LVS_NOCOLUMNHEADER | LVS_SINGLESEL;
        ex = WS_EX_CLIENTEDGE;
        break;
      case Kind::StatusBar: cls = STATUSCLASSNAMEA; style |= SBARS_SIZEGRIP & 0; break;
      case Kind::PageControl: cls = WC_TABCONTROLA; style |= WS_TABSTOP | TCS_MULTILINE; break;
      case Kind::ProgressBar: cls = PROGRESS_CLASSA; break;
      default: return nullptr;  // page book, pages, menus: no window of their own
    }
    RECT r = Placement(c);
    const std::string text = (c.GetKind() == Kind::Memo || c.GetKind() == Kind::Image) ? "" : c.Caption();
    HWND h = CreateWindowExA(ex, cls, text.c_str(), style, r.left, r.top, r.right - r.left,
                             r.bottom - r.top, fw.hwnd, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                             GetModuleHandleA(nullptr), nullptr);
    if (!h) return nullptr;
    // A panel is created before what it holds: its contents go above it.
    if (c.Parent() && c.Parent()->GetKind() == Kind::Panel)
      SetWindowPos(h, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    if (c.GetKind() == Kind::OwnerButton || c.GetKind() == Kind::Button) {
      SetWindowLongPtrA(h, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&c));
      buttonProc_ = reinterpret_cast<WNDPROC>(
          SetWindowLongPtrA(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ButtonProc)));
    }
    if (c.GetKind() == Kind::ListView || c.GetKind() == Kind::CheckListBox) {
      if (auto* lv = dynamic_cast<ui::ListView*>(&c)) {
        hostparts::ApplyListViewStyle(h, *lv);
        hostparts::HookListView(h, *lv);
      } else {
        SendMessageA(h, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
      }
    }
    return h;
  }

  // Pushes the model's lists, lines and panels into the control.
  void FillControl(ui::Component& c, HWND h) {
    syncing_ = true;
    if (auto* lv = dynamic_cast<ui::ListView*>(&c)) {
      while (SendMessageA(h, LVM_DELETECOLUMN, 0, 0)) {
      }
      int col = 0;
      for (const auto& column : lv->Columns()) {
        LVCOLUMNA lc{};
        lc.mask = LVCF_TEXT | LVCF_WIDTH;
        lc.cx = column.width;
        lc.pszText = const_cast<char*>(column.caption.c_str());
        SendMessageA(h, LVM_INSERTCOLUMNA, col++, reinterpret_cast<LPARAM>(&lc));
      }
      hostparts::ApplyListViewStyle(h, *lv);
      FillRows(h, lv->Items());
    } else if (auto* lb = dynamic_cast<ui::ListBox*>(&c)) {
      if (c.GetKind() == Kind::CheckListBox) {
        if (SendMessageA(h, LVM_GETCOLUMNWIDTH, 0, 0) == 0) {
          LVCOLUMNA lc{};
          lc.mask = LVCF_WIDTH;
          lc.cx = c.Bounds().width - 24;
          SendMessageA(h, LVM_INSERTCOLUMNA, 0, reinterpret_cast<LPARAM>(&lc));
        }
        std::vector<ui::ListItem> rows;
        for (std::size_t i = 0; i < lb->Items().size(); ++i)
          rows.push_back({lb->Items()[i], {}, lb->Checked(i), static_cast<int>(i) == lb->ItemIndex()});
        FillRows(h, rows);
      } else {
        SendMessageA(h, LB_RESETCONTENT, 0, 0);
        for (const auto& s : lb->Items()) SendMessageA(h, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s.c_str()));
        SendMessageA(h, LB_SETCURSEL, lb->ItemIndex(), 0);
      }
    } else if (auto* memo = dynamic_cast<ui::Memo*>(&c)) {
      std::string text = memo->Text();
      SetWindowTextA(h, text.c_str());
      SendMessageA(h, EM_SETSEL, text.size(), text.size());
      SendMessageA(h, EM_SCROLLCARET, 0, 0);
    } else if (auto* sb = dynamic_cast<ui::StatusBar*>(&c)) {
      std::vector<int> edges;
      int x = 0;
      for (std::size_t i = 0; i < sb->Panels().size(); ++i) {
        x += sb->Panels()[i].width;
        edges.push_back(i + 1 == sb->Panels().size() ? -1 : x);
      }
      SendMessageA(h, SB_SETPARTS, edges.size(), reinterpret_cast<LPARAM>(edges.data()));
      for (std::size_t i = 0; i < sb->Panels().size(); ++i)
        SendMessageA(h, SB_SETTEXTA, i, reinterpret_cast<LPARAM>(sb->Panels()[i].text.c_str()));
    } else if (auto* cb = dynamic_cast<ui::CheckBox*>(&c)) {
      SendMessageA(h, BM_SETCHECK, cb->Checked() ? BST_CHECKED : BST_UNCHECKED, 0);
    } else if (auto* book = dynamic_cast<ui::PageBook*>(&c)) {
      hostparts::FillTabs(h, *book);
    } else if (auto* pb = dynamic_cast<ui::ProgressBar*>(&c)) {
      SendMessageA(h, PBM_SETRANGE32, 0, pb->max);
      SendMessageA(h, PBM_SETPOS, pb->Position(), 0);
    }
    syncing_ = false;
  }

  // A row or line added at the end: no rebuild of what is there, so long
  // scan logs and lists stay cheap.
  void AppendToControl(ui::Component& c, HWND h) {
    syncing_ = true;
    if (auto* lv = dynamic_cast<ui::ListView*>(&c)) {
      InsertRow(h, lv->Items().back(), static_cast<int>(lv->Items().size() - 1));
    } else if (auto* lb = dynamic_cast<ui::ListBox*>(&c); lb && c.GetKind() == Kind::CheckListBox) {
      InsertRow(h, {lb->Items().back(), {}, lb->Checked(lb->Items().size() - 1), false},
                static_cast<int>(lb->Items().size() - 1));
    } else if (lb) {
      SendMessageA(h, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(lb->Items().back().c_str()));
    } else if (auto* memo = dynamic_cast<ui::Memo*>(&c)) {
      const std::string line = memo->Lines().back() + "\r\n";
      const int end = GetWindowTextLengthA(h);
      SendMessageA(h, EM_SETSEL, end, end);
      SendMessageA(h, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(line.c_str()));
    }
    syncing_ = false;
  }

  static void InsertRow(HWND h, const ui::ListItem& row, int index) {
    LVITEMA it{};
    it.mask = LVIF_TEXT | (row.imageIndex >= 0 ? LVIF_IMAGE : 0);
    it.iImage = row.imageIndex;
    it.iItem = index;
    it.pszText = const_cast<char*>(row.caption.c_str());
    int at = static_cast<int>(SendMessageA(h, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&it)));
    for (std::size_t s = 0; s < row.subItems.size(); ++s) {
      LVITEMA sub{};
      sub.iSubItem = static_cast<int>(s + 1);
      sub.pszText = const_cast<char*>(row.subItems[s].c_str());
      SendMessageA(h, LVM_SETITEMTEXTA, at, reinterpret_cast<LPARAM>(&sub));
    }
    ListView_SetCheckState(h, at, row.checked);
    if (row.selected) ListView_SetItemState(h, at, LVIS_SELECTED, LVIS_SELECTED);
  }

  static void FillRows(HWND h, const std::vector<ui::ListItem>& rows) {
    SendMessageA(h, WM_SETREDRAW, FALSE, 0);
    SendMessageA(h, LVM_DELETEALLITEMS, 0, 0);
    for (std::size_t i = 0; i < rows.size(); ++i) InsertRow(h, rows[i], static_cast<int>(i));
    SendMessageA(h, WM_SETREDRAW, TRUE, 0);
  }

  void UpdateVisibility(FormWindow& fw) {
    for (auto& [c, h] : fw.controls) {
      bool show = c->Visible();
      for (const ui::Component* p = c->Parent(); show && p && p->GetKind() != Kind::Form; p = p->Parent()) {
        if (!p->Visible()) show = false;
        if (p->GetKind() == Kind::Page) {
          auto* book = dynamic_cast<const ui::PageBook*>(p->Parent());
          auto pages = book ? book->Pages() : std::vector<ui::Component*>{};
          if (book && (book->ActivePage() < 0 || book->ActivePage() >= int(pages.size()) ||
                       pages[book->ActivePage()] != p))
            show = false;
        }
      }
      ShowWindow(h, show ? SW_SHOWNA : SW_HIDE);
    }
    // Group boxes draw no background: repaint the form and then every
    // control, so nothing of the previous page stays behind.
    RedrawWindow(fw.hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
  }

  void ShowForm(FormWindow& fw, bool show) {
    if (!show) {
      ShowWindow(fw.hwnd, SW_HIDE);
      return;
    }
    if (!fw.placed && fw.form->centered) {
      RECT r;
      GetWindowRect(fw.hwnd, &r);
      int w = r.right - r.left, h = r.bottom - r.top;
      SetWindowPos(fw.hwnd, nullptr, (GetSystemMetrics(SM_CXSCREEN) - w) / 2,
                   (GetSystemMetrics(SM_CYSCREEN) - h) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    }
    fw.placed = true;
    ShowWindow(fw.hwnd, SW_SHOW);
    SetForegroundWindow(fw.hwnd);
  }

  void Changed(ui::Component& c, Prop p) override {
    FormWindow* fw = WindowOf(c.Owner());
    if (!fw) return;
    if (p == Prop::Cursor) {
      // Windows asks for the cursor when the mouse moves; ask now for the
      // window under it, so the change shows without waiting for a move.
      POINT at{};
      GetCursorPos(&at);
      HWND under = WindowFromPoint(at);
      if (under && (under == fw->hwnd || IsChild(fw->hwnd, under)))
        SendMessageA(under, WM_SETCURSOR, reinterpret_cast<WPARAM>(under), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
      return;
    }
    if (p == Prop::Popup) {
      if (auto* menu = dynamic_cast<ui::PopupMenu*>(&c)) {
        POINT at{};
        GetCursorPos(&at);
        SetForegroundWindow(fw->hwnd);
        hostparts::ShowPopupMenu(fw->hwnd, *menu, at);
      }
      return;
    }
    if (&c == fw->form) {
      if (p == Prop::Visible) ShowForm(*fw, c.Visible());
      if (p == Prop::Caption) SetWindowTextA(fw->hwnd, c.Caption().c_str());
      if (p == Prop::Enabled) EnableWindow(fw->hwnd, c.Enabled());
      return;
    }
    if (auto* t = dynamic_cast<ui::Timer*>(&c)) {
      for (auto& [id, timer] : fw->timers)
        if (timer == t) {
          if (t->Enabled())
            SetTimer(fw->hwnd, id, t->Interval(), nullptr);
          else
            KillTimer(fw->hwnd, id);
        }
      return;
    }
    if (auto* images = dynamic_cast<ui::ImageList*>(&c)) {
      hostparts::ImageListChanged(*images);
      return;
    }
    if (p == Prop::Visible || p == Prop::ActivePage) {
      UpdateVisibility(*fw);
      if (p == Prop::Visible) return;
    }
    auto it = fw->controls.find(&c);
    if (it == fw->controls.end()) return;
    HWND h = it->second;
    if (p == Prop::Focus) {
      if (!syncing_ && GetFocus() != h) SetFocus(h);
      return;
    }
    // What the user just did in the control is already on screen.
    if (syncing_ && (p == Prop::Checked || p == Prop::ItemIndex)) return;
    switch (p) {
      case Prop::Caption:
        if (c.GetKind() != Kind::Memo) SetWindowTextA(h, c.Caption().c_str());
        InvalidateRect(h, nullptr, TRUE);
        break;
      case Prop::Enabled: EnableWindow(h, c.Enabled()); break;
      case Prop::Bounds: {
        RECT r = Placement(c);
        MoveWindow(h, r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
        break;
      }
      case Prop::Hint:
      case Prop::ShowHint: break;
      case Prop::ItemAdded: AppendToControl(c, h); break;
      default: FillControl(c, h); break;
    }
  }

  void Command(FormWindow& fw, int id, int code) {
    auto it = fw.byId.find(id);
    if (it == fw.byId.end()) return;
    ui::Component& c = *it->second;
    if (auto* cb = dynamic_cast<ui::CheckBox*>(&c); cb && code == BN_CLICKED) {
      cb->SetChecked(SendMessageA(fw.controls[&c], BM_GETCHECK, 0, 0) == BST_CHECKED);
      c.Click();
    } else if (auto* lb = dynamic_cast<ui::ListBox*>(&c); lb && code == LBN_SELCHANGE) {
      lb->SetItemIndex(static_cast<int>(SendMessageA(fw.controls[&c], LB_GETCURSEL, 0, 0)));
    } else if (code == BN_CLICKED) {
      c.Click();
    }
  }

  void ListChanged(FormWindow& fw, const NMLISTVIEW& nm) {
    if (syncing_ || !(nm.uChanged & LVIF_STATE)) return;
    auto it = fw.byId.find(static_cast<int>(nm.hdr.idFrom));
    if (it == fw.byId.end() || nm.iItem < 0) return;
    const bool checked = ((nm.uNewState & LVIS_STATEIMAGEMASK) >> 12) == 2;
    const bool checkChanged = (nm.uNewState & LVIS_STATEIMAGEMASK) != (nm.uOldState & LVIS_STATEIMAGEMASK);
    const bool selected = nm.uNewState & LVIS_SELECTED;
    const bool selChanged = (nm.uNewState & LVIS_SELECTED) != (nm.uOldState & LVIS_SELECTED);
    syncing_ = true;
    if (auto* lv = dynamic_cast<ui::ListView*>(it->second)) {
      if (checkChanged) lv->SetChecked(nm.iItem, checked);
      if (selChanged) lv->SetSelected(nm.iItem, selected);
    } else if (auto* lb = dynamic_cast<ui::ListBox*>(it->second)) {
      // A disabled line cannot be ticked: its box goes back as it was.
      if (checkChanged && !lb->ItemEnabled(nm.iItem)) {
        ListView_SetCheckState(nm.hdr.hwndFrom, nm.iItem, lb->Checked(nm.iItem));
      } else if (checkChanged) {
        lb->SetChecked(nm.iItem, checked);
      }
      if (selChanged && selected) lb->SetItemIndex(nm.iItem);
    }
    syncing_ = false;
  }

  void DrawButton(const DRAWITEMSTRUCT& d) {
    auto* c = reinterpret_cast<ui::Component*>(GetWindowLongPtrA(d.hwndItem, GWLP_USERDATA));
    RECT r = d.rcItem;
    const bool pressed = d.itemState & ODS_SELECTED;
    const bool disabled = d.itemState & ODS_DISABLED;
    HBRUSH face = CreateSolidBrush(pressed ? kFacePressed : kFace);
    FillRect(d.hDC, &r, face);
    DeleteObject(face);
    HPEN pen = CreatePen(PS_SOLID, 1, disabled ? GetSysColor(COLOR_GRAYTEXT) : kBorder);
    HGDIOBJ oldPen = SelectObject(d.hDC, pen);
    HGDIOBJ oldBrush = SelectObject(d.hDC, GetStockObject(NULL_BRUSH));
    RoundRect(d.hDC, r.left, r.top, r.right, r.bottom, 6, 6);
    SelectObject(d.hDC, oldBrush);
    SelectObject(d.hDC, oldPen);
    DeleteObject(pen);
    SetBkMode(d.hDC, TRANSPARENT);
    SetTextColor(d.hDC, disabled ? GetSysColor(COLOR_GRAYTEXT) : kText);
    HGDIOBJ oldFont = SelectObject(d.hDC, font_);
    if (pressed) OffsetRect(&r, 1, 1);
    const std::string text = c ? c->Caption() : std::string();
    DrawTextA(d.hDC, text.c_str(), -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    SelectObject(d.hDC, oldFont);
    if (d.itemState & ODS_FOCUS) {
      RECT f = d.rcItem;
      InflateRect(&f, -3, -3);
      DrawFocusRect(d.hDC, &f);
    }
  }

  void DrawBanner(const DRAWITEMSTRUCT& d, const FormWindow& fw) {
    RECT r = d.rcItem;
    TRIVERTEX v[2] = {
        {r.left, r.top, static_cast<COLOR16>(GetRValue(kBannerTop) << 8),
         static_cast<COLOR16>(GetGValue(kBannerTop) << 8),
         static_cast<COLOR16>(GetBValue(kBannerTop) << 8), 0},
        {r.right, r.bottom, static_cast<COLOR16>(GetRValue(kBannerBottom) << 8),
         static_cast<COLOR16>(GetGValue(kBannerBottom) << 8),
         static_cast<COLOR16>(GetBValue(kBannerBottom) << 8), 0}};
    GRADIENT_RECT g{0, 1};
    GradientFill(d.hDC, v, 2, &g, 1, GRADIENT_FILL_RECT_V);
    SetBkMode(d.hDC, TRANSPARENT);
    SetTextColor(d.hDC, RGB(255, 255, 255));
    HGDIOBJ old = SelectObject(d.hDC, bannerFont_);
    InflateRect(&r, -16, 0);
    std::string title = fw.form->Caption();
    if (r.right - r.left >= 320) {
      DrawTextA(d.hDC, title.c_str(), -1, &r, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
    } else {  // a narrow picture: the title broken into lines, centred
      RECT calc = r;
      DrawTextA(d.hDC, title.c_str(), -1, &calc, DT_CENTER | DT_WORDBREAK | DT_CALCRECT);
      OffsetRect(&r, 0, ((r.bottom - r.top) - (calc.bottom - calc.top)) / 2);
      DrawTextA(d.hDC, title.c_str(), -1, &r, DT_CENTER | DT_WORDBREAK);
    }
    SelectObject(d.hDC, old);
  }

  static LRESULT CALLBACK FormProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    LRESULT result = 0;
    hostparts::RunHandler([&] { result = FormMessage(h, msg, wp, lp); });
    return result;
  }

  static LRESULT FormMessage(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    FormWindow* fw = FromHwnd(h);
    if (!fw || !g_host) return DefWindowProcA(h, msg, wp, lp);
    switch (msg) {
      case WM_COMMAND:
        g_host->Command(*fw, LOWORD(wp), HIWORD(wp));
        return 0;
      case WM_NOTIFY: {
        auto* hdr = reinterpret_cast<NMHDR*>(lp);
        if (hdr->code == LVN_ITEMCHANGED) g_host->ListChanged(*fw, *reinterpret_cast<NMLISTVIEW*>(lp));
        auto it = fw->byId.find(static_cast<int>(hdr->idFrom));
        if (it == fw->byId.end()) return 0;
        if (auto* book = dynamic_cast<ui::PageBook*>(it->second); book && hdr->code == TCN_SELCHANGE) {
          hostparts::TabChanged(hdr->hwndFrom, *book);
        } else if (auto* lv = dynamic_cast<ui::ListView*>(it->second)) {
          if (hdr->code == NM_CUSTOMDRAW)
            return hostparts::ListViewCustomDraw(*lv, *reinterpret_cast<NMLVCUSTOMDRAW*>(lp));
          if (hdr->code == NM_DBLCLK && lv->OnDblClick) lv->OnDblClick();
          hostparts::ListViewNotify(*lv, *hdr);
        } else if (auto* lb = dynamic_cast<ui::ListBox*>(it->second); lb && hdr->code == NM_CUSTOMDRAW) {
          return hostparts::CheckListCustomDraw(*lb, *reinterpret_cast<NMLVCUSTOMDRAW*>(lp));
        }
        return 0;
      }
      case WM_CONTEXTMENU:
        for (auto& [c, ch] : fw->controls) {
          auto* comp = const_cast<ui::Component*>(c);
          ui::PopupMenu* menu = nullptr;
          if (auto* lv = dynamic_cast<ui::ListView*>(comp)) menu = lv->popupMenu;
          if (auto* lb = dynamic_cast<ui::ListBox*>(comp)) menu = lb->popupMenu;
          if (ch != reinterpret_cast<HWND>(wp) || !menu) continue;
          POINT at{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
          if (at.x == -1 && at.y == -1) GetCursorPos(&at);  // from the keyboard
          comp->SetFocus();
          hostparts::ShowPopupMenu(h, *menu, at);
          return 0;
        }
        return DefWindowProcA(h, msg, wp, lp);
      case WM_DRAWITEM: {
        auto* d = reinterpret_cast<DRAWITEMSTRUCT*>(lp);
        if (d->CtlType == ODT_BUTTON) g_host->DrawButton(*d);
        if (d->CtlType == ODT_STATIC) {
          auto it = fw->byId.find(static_cast<int>(d->CtlID));
          if (it == fw->byId.end() || !hostparts::DrawStockIcon(*d, *it->second)) g_host->DrawBanner(*d, *fw);
        }
        return TRUE;
      }
      case WM_TIMER:
        if (auto it = fw->timers.find(wp); it != fw->timers.end() && it->second->Enabled())
          it->second->Fire();
        return 0;
      case WM_SETCURSOR:
        if (LOWORD(lp) == HTCLIENT && g_host->ShowsHourGlass(*fw, reinterpret_cast<HWND>(wp))) {
          SetCursor(LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_WAIT)));
          return TRUE;
        }
        return DefWindowProcA(h, msg, wp, lp);
      case WM_CLOSE:
        fw->form->Close();
        return 0;
      case WM_SIZE:
        for (auto& [c, ch] : fw->controls)
          if (c->GetKind() == Kind::StatusBar) SendMessageA(ch, WM_SIZE, 0, 0);
        if (wp != SIZE_MINIMIZED && fw->form->OnResize) fw->form->OnResize();
        return 0;
      default:
        if (msg >= WM_USER && fw->form->Perform(msg)) return 0;
        return DefWindowProcA(h, msg, wp, lp);
    }
  }

  static LRESULT CALLBACK ButtonProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_MOUSEMOVE) {
      if (auto* c = reinterpret_cast<ui::Component*>(GetWindowLongPtrA(h, GWLP_USERDATA)))
        hostparts::RunHandler([c] { c->MouseMove(); });
    }
    return CallWindowProcA(g_host->buttonProc_, h, msg, wp, lp);
  }

  static LRESULT CALLBACK WakeProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == kWakeMessage && g_host) {
      g_host->calls_.Drain(g_host->onException);
      return 0;
    }
    return DefWindowProcA(h, msg, wp, lp);
  }

  std::vector<std::unique_ptr<FormWindow>> forms_;
  ui::CallQueue calls_;
  HWND wakeWindow_ = nullptr;
  HFONT font_ = nullptr;
  HFONT bannerFont_ = nullptr;
  WNDPROC buttonProc_ = nullptr;
  HWND lastFocus_ = nullptr;
  bool syncing_ = false;
};

}  // namespace

std::unique_ptr<Win32Host> CreateHost() { return std::make_unique<HostImpl>(); }

void hostparts::RunHandler(const std::function<void()>& fn) {
  ui::RunReported(fn, g_host ? g_host->onException : ui::ErrorReport{});
}

}  // namespace platform::win32
