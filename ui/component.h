#pragma once
// The control model: forms and their components as plain data. A host
// (headless for tests, Win32 for the real program) observes the changes and
// feeds user actions back through Click(), MouseMove() and the list setters.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ui {

enum class Kind {
  Form,
  Label,
  Button,
  OwnerButton,    // owner-drawn button
  CheckBox,
  OwnerCheckBox,  // owner-drawn check box
  MenuItem,
  MainMenu,
  PopupMenu,
  Panel,
  GroupBox,
  PageBook,       // pages without tabs, switched by the program
  PageControl,    // pages with a row of tabs the user switches
  Page,
  ListView,
  ListBox,
  CheckListBox,
  Memo,
  Edit,
  StatusBar,
  Timer,
  Image,
  ProgressBar,
  ImageList,      // small icons the list views show
};

enum class Prop {
  Caption,
  Hint,
  ShowHint,
  Enabled,
  Visible,
  Bounds,
  Checked,
  Items,      // the whole list changed
  ItemAdded,  // one row or line was added at the end
  ItemIndex,
  Columns,
  Lines,
  Panels,
  ActivePage,
  Interval,
  Position,
  Popup,      // a popup menu is to be shown at the mouse cursor
  Focus,      // the control got the keyboard focus
  Cursor,     // the mouse cursor shown over the control
};

// The mouse cursor over a control (and the controls inside it).
enum class CursorShape { Default, HourGlass };

struct Rect {
  int left = 0, top = 0, width = 0, height = 0;
};

class Form;

class Component {
 public:
  Component(Form& owner, Kind kind, std::string name, Component* parent);
  virtual ~Component() = default;
  Component(const Component&) = delete;
  Component& operator=(const Component&) = delete;

  Form& Owner() const { return owner_; }
  Kind GetKind() const { return kind_; }
  const std::string& Name() const { return name_; }
  Component* Parent() const { return parent_; }

  const std::string& Caption() const { return caption_; }
  void SetCaption(std::string text);
  const std::string& Hint() const { return hint_; }
  void SetHint(std::string text);
  bool ShowHint() const { return showHint_; }
  void SetShowHint(bool on);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool on);
  bool Visible() const { return visible_; }
  void SetVisible(bool on);
  const Rect& Bounds() const { return bounds_; }
  void SetBounds(Rect r);
  CursorShape Cursor() const { return cursor_; }
  void SetCursor(CursorShape shape);

  // Visible here and in every container up to the form.
  bool Showing() const;
  // Whether c is this component or lies inside it.
  bool Contains(const Component* c) const;

  // Keyboard focus: the control becomes the form's active control. Every
  // container the focus moves into fires OnEnter, outermost first.
  void SetFocus();
  bool Focused() const;
  std::function<void()> OnEnter;

  // What the user does. A click on a disabled or hidden control does nothing.
  void Click();
  void MouseMove();
  // Pops a popup menu up at the mouse cursor, as a command does (a menu the
  // user opens with the mouse is the host's business).
  void ShowPopupAtCursor() { Changed(Prop::Popup); }

  std::function<void()> OnClick;
  std::function<void()> OnMouseMove;
  std::function<void()> OnEnabledChange;

 protected:
  friend class Form;
  void Changed(Prop p);

 private:
  Form& owner_;
  Kind kind_;
  std::string name_;
  Component* parent_;
  std::string caption_;
  std::string hint_;
  bool showHint_ = false;
  bool enabled_ = true;
  bool visible_ = true;
  Rect bounds_;
  CursorShape cursor_ = CursorShape::Default;
};

// The hourglass over a control while a long command runs; the cursor it had
// returns when this ends.
class HourGlass {
 public:
  explicit HourGlass(Component& c) : c_(c), previous_(c.Cursor()) { c.SetCursor(CursorShape::HourGlass); }
  ~HourGlass() { c_.SetCursor(previous_); }
  HourGlass(const HourGlass&) = delete;
  HourGlass& operator=(const HourGlass&) = delete;

 private:
  Component& c_;
  CursorShape previous_;
};

// Check boxes and menu items.
class CheckBox : public Component {
 public:
  using Component::Component;
  bool Checked() const { return checked_; }
  void SetChecked(bool on);
  std::function<void()> OnChange;

 private:
  bool checked_ = false;
};

struct ListColumn {
  std::string caption;
  int width = 100;
};

// Colours as 0xRRGGBB.
inline constexpr std::uint32_t clYellow = 0xFFFF00;
inline constexpr std::uint32_t clRed = 0xFF0000;
inline constexpr std::uint32_t clBlue = 0x0000FF;

// How one row is painted; an unset colour is the list's own.
struct RowColours {
  std::optional<std::uint32_t> text;
  std::optional<std::uint32_t> background;
};

struct ListItem {
  std::string caption;
  std::vector<std::string> subItems;
  bool checked = false;
  bool selected = false;
  int imageIndex = -1;     // small icon of the list's image list; -1 none
  std::intptr_t data = 0;  // the program's own value kept with the row
};

// Icons by their source: a file whose first icon is shown, or a stock icon
// named "#application", "#service" or "#marker".
class ImageList : public Component {
 public:
  using Component::Component;
  const std::vector<std::string>& Sources() const { return sources_; }
  // Appends an icon; its index.
  int Add(std::string source);

 private:
  std::vector<std::string> sources_;
};

// A context menu: its menu items are the components whose parent it is.
class PopupMenu : public Component {
 public:
  using Component::Component;
  std::function<void()> OnPopup;
  // The user opens the menu: OnPopup decides what is enabled.
  void Popup() {
    if (OnPopup) OnPopup();
  }
};

class ListView : public Component {
 public:
  using Component::Component;
  const std::vector<ListColumn>& Columns() const { return columns_; }
  void SetColumns(std::vector<ListColumn> c);
  const std::vector<ListItem>& Items() const { return items_; }
  void Clear();
  ListItem& AddItem(std::string caption, std::vector<std::string> subItems = {});
  ListItem& AddItem(ListItem item);
  // The row's own value; no change the user sees.
  void SetItemData(std::size_t index, std::intptr_t data) {
    if (index < items_.size()) items_[index].data = data;
  }
  void SetItems(std::vector<ListItem> items);
  void SetChecked(std::size_t index, bool on);
  void SetSelected(std::size_t index, bool on);
  // One cell of a row: sub-item `sub` (added when the row has fewer).
  void SetSubItem(std::size_t index, std::size_t sub, std::string text);
  int SelectedIndex() const;  // first selected row, -1 when none
  // The row whose selection changed last: the one OnSelectItem is about.
  int SelectChangedIndex() const { return selectChanged_; }
  void RemoveItem(std::size_t index);
  // The user clicks row `index` (-1: below the rows) with the left button,
  // on its check box or elsewhere: the list takes the focus, the row is
  // selected alone, its box toggles, and OnMouseUp follows.
  void ClickRow(int index, bool onCheckBox);
  // The user presses a key in the list; OnKeyDown may set it to 0. The key
  // that goes on to the list.
  unsigned KeyDown(unsigned key);

  bool checkBoxes = false;
  bool gridLines = false;
  bool rowSelect = false;
  bool readOnly = false;
  bool sorted = false;
  bool showColumnHeaders = true;
  ImageList* smallImages = nullptr;
  PopupMenu* popupMenu = nullptr;
  std::function<void()> OnSelectItem;
  std::function<void()> OnDblClick;
  std::function<void(int itemIndex)> OnMouseUp;  // the row under the pointer, -1 none
  std::function<void(unsigned& key)> OnKeyDown;
  // Asked before row `index` is painted: the colours it is painted in.
  std::function<void(std::size_t index, RowColours& colours)> OnCustomDrawItem;
  RowColours ItemColours(std::size_t index) const {
    RowColours c;
    if (OnCustomDrawItem && index < items_.size()) OnCustomDrawItem(index, c);
    return c;
  }

 private:
  std::vector<ListColumn> columns_;
  std::vector<ListItem> items_;
  int selectChanged_ = -1;
};

// List boxes and check lists: one text per row, a check mark per row for
// check lists, one selected row.
class ListBox : public Component {
 public:
  using Component::Component;
  const std::vector<std::string>& Items() const { return items_; }
  void Clear();
  // A disabled line is shown greyed and the user cannot tick it.
  void Add(std::string item, bool enabled = true);
  void Delete(std::size_t index);
  // A new text for a line; its check mark stays. Nothing for a missing line.
  void SetItem(std::size_t index, std::string text);
  bool Checked(std::size_t index) const { return index < checked_.size() && checked_[index]; }
  void SetChecked(std::size_t index, bool on);
  bool ItemEnabled(std::size_t index) const { return index < lineEnabled_.size() && lineEnabled_[index]; }
  int ItemIndex() const { return itemIndex_; }
  void SetItemIndex(int index);  // the user's selection; fires OnClick
  std::function<void()> OnClickCheck;
  PopupMenu* popupMenu = nullptr;  // opened by a right click on the list

 private:
  std::vector<std::string> items_;
  std::vector<bool> checked_;
  std::vector<bool> lineEnabled_;
  int itemIndex_ = -1;
};

class Memo : public Component {
 public:
  using Component::Component;
  const std::vector<std::string>& Lines() const { return lines_; }
  void Clear();
  void Add(std::string line);
  void SetLines(std::vector<std::string> lines);
  std::string Text() const;  // lines joined with CR LF
  bool readOnly = true;
  bool wordWrap = true;

 private:
  std::vector<std::string> lines_;
};

struct StatusPanel {
  std::string text;
  int width = 100;
};

class StatusBar : public Component {
 public:
  using Component::Component;
  const std::vector<StatusPanel>& Panels() const { return panels_; }
  void SetPanels(std::vector<StatusPanel> p);
  const std::string& PanelText(std::size_t i) const;
  void SetPanelText(std::size_t i, std::string text);

 private:
  std::vector<StatusPanel> panels_;
};

class Timer : public Component {
 public:
  using Component::Component;
  unsigned Interval() const { return interval_; }
  void SetInterval(unsigned ms);
  std::function<void()> OnTimer;
  void Fire() {
    if (OnTimer) OnTimer();
  }

 private:
  unsigned interval_ = 1000;
};

class PageBook : public Component {
 public:
  using Component::Component;
  int ActivePage() const { return active_; }
  void SetActivePage(int index);
  std::vector<Component*> Pages() const;  // the Page components it holds, in order

 private:
  int active_ = 0;
};

class ProgressBar : public Component {
 public:
  using Component::Component;
  int Position() const { return position_; }
  void SetPosition(int p);
  int max = 100;

 private:
  int position_ = 0;
};

}  // namespace ui
