#include "ui/component.h"

#include "ui/application.h"
#include "ui/form.h"

namespace ui {

Component::Component(Form& owner, Kind kind, std::string name, Component* parent)
    : owner_(owner), kind_(kind), name_(std::move(name)), parent_(parent) {}

void Component::Changed(Prop p) {
  if (auto* o = owner_.Observer()) o->Changed(*this, p);
}

void Component::SetCaption(std::string text) {
  if (text == caption_) return;
  caption_ = std::move(text);
  Changed(Prop::Caption);
}

void Component::SetHint(std::string text) {
  if (text == hint_) return;
  hint_ = std::move(text);
  Changed(Prop::Hint);
}

void Component::SetShowHint(bool on) {
  if (on == showHint_) return;
  showHint_ = on;
  Changed(Prop::ShowHint);
}

void Component::SetEnabled(bool on) {
  if (on == enabled_) return;
  enabled_ = on;
  Changed(Prop::Enabled);
  if (OnEnabledChange) OnEnabledChange();
}

void Component::SetVisible(bool on) {
  if (on == visible_) return;
  visible_ = on;
  Changed(Prop::Visible);
}

void Component::SetCursor(CursorShape shape) {
  if (shape == cursor_) return;
  cursor_ = shape;
  Changed(Prop::Cursor);
}

void Component::SetBounds(Rect r) {
  bounds_ = r;
  Changed(Prop::Bounds);
}

bool Component::Showing() const {
  for (const Component* c = this; c; c = c->parent_) {
    if (!c->visible_) return false;
    if (c->kind_ == Kind::Page && c->parent_) {
      auto* book = dynamic_cast<const PageBook*>(c->parent_);
      if (book) {
        auto pages = book->Pages();
        if (book->ActivePage() < 0 || book->ActivePage() >= int(pages.size()) ||
            pages[book->ActivePage()] != c)
          return false;
      }
    }
    if (c->kind_ == Kind::Form) break;
  }
  return true;
}

bool Component::Contains(const Component* c) const {
  for (; c; c = c->parent_)
    if (c == this) return true;
  return false;
}

void Component::SetFocus() { owner_.FocusControl(this); }

bool Component::Focused() const { return owner_.ActiveControl() == this; }

void Component::Click() {
  if (!enabled_ || !Showing() || !owner_.Enabled()) return;
  if (OnClick) OnClick();
}

void Component::MouseMove() {
  if (OnMouseMove) OnMouseMove();
}

void CheckBox::SetChecked(bool on) {
  if (on == checked_) return;
  checked_ = on;
  Changed(Prop::Checked);
  if (OnChange) OnChange();
}

void ListView::SetColumns(std::vector<ListColumn> c) {
  columns_ = std::move(c);
  Changed(Prop::Columns);
}

void ListView::Clear() {
  items_.clear();
  Changed(Prop::Items);
}

ListItem& ListView::AddItem(std::string caption, std::vector<std::string> subItems) {
  items_.push_back({std::move(caption), std::move(subItems), false, false});
  Changed(Prop::ItemAdded);
  return items_.back();
}

ListItem& ListView::AddItem(ListItem item) {
  items_.push_back(std::move(item));
  Changed(Prop::ItemAdded);
  return items_.back();
}

void ListView::SetItems(std::vector<ListItem> items) {
  items_ = std::move(items);
  Changed(Prop::Items);
}

void ListView::SetChecked(std::size_t index, bool on) {
  if (index >= items_.size() || items_[index].checked == on) return;
  items_[index].checked = on;
  Changed(Prop::Checked);
}

void ListView::SetSelected(std::size_t index, bool on) {
  if (index >= items_.size() || items_[index].selected == on) return;
  items_[index].selected = on;
  selectChanged_ = static_cast<int>(index);
  Changed(Prop::ItemIndex);
  if (OnSelectItem) OnSelectItem();
}

void ListView::SetSubItem(std::size_t index, std::size_t sub, std::string text) {
  if (index >= items_.size()) return;
  auto& subs = items_[index].subItems;
  if (subs.size() <= sub) subs.resize(sub + 1);
  if (subs[sub] == text) return;
  subs[sub] = std::move(text);
  Changed(Prop::Items);
}

void ListView::RemoveItem(std::size_t index) {
  if (index >= items_.size()) return;
  items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(index));
  Changed(Prop::Items);
}

void ListView::ClickRow(int index, bool onCheckBox) {
  if (!Enabled() || !Showing()) return;
  SetFocus();
  if (index >= static_cast<int>(items_.size())) index = -1;
  if (index >= 0) {
    for (std::size_t i = 0; i < items_.size(); ++i)
      if (static_cast<int>(i) != index) SetSelected(i, false);
    SetSelected(static_cast<std::size_t>(index), true);
    if (onCheckBox && checkBoxes) SetChecked(static_cast<std::size_t>(index), !items_[index].checked);
  }
  if (OnMouseUp) OnMouseUp(index);
}

unsigned ListView::KeyDown(unsigned key) {
  if (OnKeyDown) OnKeyDown(key);
  return key;
}

int ImageList::Add(std::string source) {
  sources_.push_back(std::move(source));
  Changed(Prop::ItemAdded);
  return static_cast<int>(sources_.size() - 1);
}

int ListView::SelectedIndex() const {
  for (std::size_t i = 0; i < items_.size(); ++i)
    if (items_[i].selected) return static_cast<int>(i);
  return -1;
}

void ListBox::Clear() {
  items_.clear();
  checked_.clear();
  lineEnabled_.clear();
  itemIndex_ = -1;
  Changed(Prop::Items);
}

void ListBox::Add(std::string item, bool enabled) {
  items_.push_back(std::move(item));
  checked_.push_back(false);
  lineEnabled_.push_back(enabled);
  Changed(Prop::ItemAdded);
}

void ListBox::Delete(std::size_t index) {
  if (index >= items_.size()) return;
  items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(index));
  checked_.erase(checked_.begin() + static_cast<std::ptrdiff_t>(index));
  lineEnabled_.erase(lineEnabled_.begin() + static_cast<std::ptrdiff_t>(index));
  if (itemIndex_ >= static_cast<int>(items_.size())) itemIndex_ = -1;
  Changed(Prop::Items);
}

void ListBox::SetItem(std::size_t index, std::string text) {
  if (index >= items_.size() || items_[index] == text) return;
  items_[index] = std::move(text);
  Changed(Prop::Items);
}

void ListBox::SetChecked(std::size_t index, bool on) {
  if (index >= items_.size() || checked_[index] == on) return;
  checked_[index] = on;
  Changed(Prop::Checked);
  if (OnClickCheck) OnClickCheck();
}

void ListBox::SetItemIndex(int index) {
  if (index < -1 || index >= static_cast<int>(items_.size())) index = -1;
  itemIndex_ = index;
  Changed(Prop::ItemIndex);
  if (OnClick) OnClick();
}

void Memo::Clear() {
  lines_.clear();
  Changed(Prop::Lines);
}

void Memo::Add(std::string line) {
  lines_.push_back(std::move(line));
  Changed(Prop::ItemAdded);
}

void Memo::SetLines(std::vector<std::string> lines) {
  lines_ = std::move(lines);
  Changed(Prop::Lines);
}

std::string Memo::Text() const {
  std::string out;
  for (const auto& l : lines_) out += l + "\r\n";
  return out;
}

void StatusBar::SetPanels(std::vector<StatusPanel> p) {
  panels_ = std::move(p);
  Changed(Prop::Panels);
}

const std::string& StatusBar::PanelText(std::size_t i) const {
  static const std::string kEmpty;
  return i < panels_.size() ? panels_[i].text : kEmpty;
}

void StatusBar::SetPanelText(std::size_t i, std::string text) {
  if (i >= panels_.size()) return;
  panels_[i].text = std::move(text);
  Changed(Prop::Panels);
}

void Timer::SetInterval(unsigned ms) {
  interval_ = ms;
  Changed(Prop::Interval);
}

void PageBook::SetActivePage(int index) {
  active_ = index;
  Changed(Prop::ActivePage);
}

std::vector<Component*> PageBook::Pages() const {
  std::vector<Component*> out;
  for (const auto& c : Owner().Components())
    if (c->GetKind() == Kind::Page && c->Parent() == this) out.push_back(c.get());
  return out;
}

void ProgressBar::SetPosition(int p) {
  position_ = p;
  Changed(Prop::Position);
}

// --- Form ---

Form::Form(std::string className) : Component(*this, Kind::Form, std::move(className), nullptr) {
  SetVisible(false);
}

Form::~Form() {
  if (observer_) observer_->Destroyed(*this);
}

void Form::FocusControl(Component* c) {
  Component* old = active_;
  if (c == old) return;
  active_ = c;
  std::vector<Component*> chain;
  for (Component* p = c; p && p != this; p = p->Parent()) chain.push_back(p);
  for (auto it = chain.rbegin(); it != chain.rend(); ++it)
    if (!(*it)->Contains(old) && (*it)->OnEnter) (*it)->OnEnter();
  if (c) c->Changed(Prop::Focus);
}

Component* Form::Find(std::string_view name) const {
  for (const auto& c : components_)
    if (c->Name() == name) return c.get();
  return nullptr;
}

void Form::Show() {
  bool was = Visible();
  SetVisible(true);
  if (!was && OnShow) OnShow();
}

void Form::Hide() {
  if (!Visible()) return;
  SetVisible(false);
  if (OnHide) OnHide();
}

void Form::Close() {
  if (OnCloseQuery && !OnCloseQuery()) return;
  if (OnClose) OnClose();
  Hide();
  if (app_ && app_->MainForm() == this) app_->Terminate(0);
}

void Form::Resize(int width, int height) {
  Rect r = Bounds();
  r.width = width;
  r.height = height;
  SetBounds(r);
  if (OnResize) OnResize();
}

// --- Application ---

Application::Application(Host& host) : host_(host) {
  host_.onException = [this](const std::string& message) { HandleException(message); };
}

Application::~Application() { host_.onException = nullptr; }

void Application::HandleException(const std::string& message) {
  if (OnException) {
    auto handler = OnException;
    handler(message);
  } else {
    ShowException(message);
  }
}

void Application::ShowException(const std::string& message) {
  try {
    MessageBox({message, title, Buttons::Ok, Icon::Error, true, true});
  } catch (...) {
    // Nothing more can be said when even the box fails.
  }
}

Form* Application::FindForm(std::string_view className) const {
  for (const auto& f : forms_)
    if (f->ClassName() == className) return f.get();
  return nullptr;
}

void Application::Register(std::unique_ptr<Form> f) {
  Form& ref = *f;
  ref.SetApplication(this);
  forms_.push_back(std::move(f));
  host_.Attach(ref);
  if (ref.OnCreate) ref.OnCreate();
}

void Application::Terminate(int exitCode) {
  if (terminated_) return;
  terminated_ = true;
  exitCode_ = exitCode;
  host_.Quit();
}

}  // namespace ui
