#pragma once
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ui/component.h"

namespace ui {

class Application;

// The host's view of a form: every property change is reported here.
class FormObserver {
 public:
  virtual ~FormObserver() = default;
  virtual void Changed(Component& c, Prop p) = 0;
  // The form is going away: nothing of it may be used after this returns.
  virtual void Destroyed(Form& form) { (void)form; }
};

class Form : public Component {
 public:
  // className is the window class the program knows the form by ("TForm1").
  explicit Form(std::string className);
  ~Form() override;

  const std::string& ClassName() const { return Name(); }

  // Adds an owned component; creation order is the order of these calls.
  template <class T = Component>
  T& Add(Kind kind, std::string name, Component* parent = nullptr, std::string caption = {}) {
    auto c = std::make_unique<T>(*this, kind, std::move(name), parent ? parent : this);
    T& ref = *c;
    components_.push_back(std::move(c));
    if (!caption.empty()) ref.SetCaption(std::move(caption));
    return ref;
  }
  const std::vector<std::unique_ptr<Component>>& Components() const { return components_; }
  Component* Find(std::string_view name) const;
  template <class T = Component>
  T& Get(std::string_view name) const {
    return dynamic_cast<T&>(*Find(name));
  }

  // Shows the form (firing OnShow); Close asks OnCloseQuery, fires OnClose
  // and hides it. Closing the application's main form ends the program.
  void Show();
  void Hide();
  void Close();
  void Resize(int width, int height);

  bool stayOnTop = false;
  bool sizeable = false;
  bool centered = true;

  std::function<void()> OnCreate;
  std::function<void()> OnShow;
  std::function<void()> OnHide;
  std::function<void()> OnResize;
  std::function<void()> OnClose;
  // A window message sent to the form; true when it was handled.
  std::function<bool(unsigned message)> OnWindowMessage;
  bool Perform(unsigned message) { return OnWindowMessage && OnWindowMessage(message); }

  Component* ActiveControl() const { return active_; }
  void FocusControl(Component* c);
  // Asked before closing; false keeps the form open.
  std::function<bool()> OnCloseQuery;

  void SetObserver(FormObserver* o) { observer_ = o; }
  FormObserver* Observer() const { return observer_; }
  void SetApplication(Application* app) { app_ = app; }
  Application* App() const { return app_; }

 private:
  std::vector<std::unique_ptr<Component>> components_;
  FormObserver* observer_ = nullptr;
  Component* active_ = nullptr;
  Application* app_ = nullptr;
};

}  // namespace ui
