#include "ui/headless_host.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace ui {

HeadlessHost::HeadlessHost() {
  onUnexpected = [](const std::string& what) {
    std::fprintf(stderr, "unexpected message box: %s\n", what.c_str());
    std::abort();
  };
}

void HeadlessHost::Answer(int answer, std::optional<std::string> text,
                          std::optional<std::string> caption) {
  script_.push_back({answer, std::move(text), std::move(caption), {}});
}

void HeadlessHost::AnswerAfter(std::function<void()> meanwhile, int answer,
                               std::optional<std::string> text,
                               std::optional<std::string> caption) {
  script_.push_back({answer, std::move(text), std::move(caption), std::move(meanwhile)});
}

HeadlessHost::~HeadlessHost() {
  for (Form* f : forms_) f->SetObserver(nullptr);
}

void HeadlessHost::Attach(Form& form) {
  form.SetObserver(this);
  forms_.push_back(&form);
  // Timers enabled in the layout are armed from the moment the form exists.
  for (const auto& c : form.Components())
    if (auto* t = dynamic_cast<Timer*>(c.get()); t && t->Enabled()) due_[t] = now_ + t->Interval();
}

void HeadlessHost::Destroyed(Form& form) {
  std::erase(forms_, &form);
  for (const auto& c : form.Components())
    if (auto* t = dynamic_cast<Timer*>(c.get())) due_.erase(t);
}

int HeadlessHost::MessageBox(const MessageBoxSpec& spec) {
  int fallback = (spec.buttons == Buttons::YesNo || spec.buttons == Buttons::YesNoCancel) ? kIdNo
                                                                                           : kIdOk;
  auto describe = [&] { return "\"" + spec.text + "\" / \"" + spec.caption + "\""; };
  int answer = fallback;
  if (script_.empty()) {
    onUnexpected(describe());
  } else {
    Scripted s = script_.front();
    script_.pop_front();
    if ((s.text && *s.text != spec.text) || (s.caption && *s.caption != spec.caption)) {
      onUnexpected(describe() + ", expected \"" + s.text.value_or("*") + "\" / \"" +
                   s.caption.value_or("*") + "\"");
    } else {
      answer = s.answer;
    }
    if (s.meanwhile) s.meanwhile();
  }
  boxes_.push_back({spec, answer});
  return answer;
}

std::optional<std::string> HeadlessHost::BrowseForFolder(const std::string& title,
                                                        const std::string& start) {
  folderDialogs_.push_back({title, start});
  return NextPath(folders_, "folder chooser \"" + title + "\"");
}

std::optional<std::string> HeadlessHost::SaveFileDialog(const std::string& title,
                                                       const std::string& fileName,
                                                       const std::string&) {
  saveDialogs_.push_back({title, fileName});
  return NextPath(saves_, "save dialog \"" + title + "\"");
}

std::optional<std::string> HeadlessHost::OpenFileDialog(const std::string& title,
                                                       const std::string&) {
  openDialogs_.push_back(title);
  return NextPath(opens_, "open dialog \"" + title + "\"");
}

std::optional<std::string> HeadlessHost::NextPath(std::deque<std::optional<std::string>>& script,
                                                  const std::string& what) {
  if (script.empty()) {
    if (onUnexpected) onUnexpected(what);
    return std::nullopt;
  }
  auto answer = script.front();
  script.pop_front();
  return answer;
}

void HeadlessHost::ProcessMessages() { calls_.Drain(onException); }

int HeadlessHost::Run(Application& app) {
  if (auto* main = app.MainForm(); main && !app.Terminated()) main->Show();
  ProcessMessages();
  return app.Terminated() ? app.ExitCode() : -1;
}

void HeadlessHost::Advance(std::uint64_t ms) {
  const std::uint64_t end = now_ + ms;
  for (;;) {
    calls_.Drain(onException);
    Timer* next = nullptr;
    std::uint64_t when = end + 1;
    for (auto& [t, due] : due_)
      if (due < when) {
        when = due;
        next = t;
      }
    if (!next) break;
    now_ = when;
    due_[next] = when + (next->Interval() ? next->Interval() : 1);
    RunReported([next] { next->Fire(); }, onException);
  }
  now_ = end;
}

void HeadlessHost::Changed(Component& c, Prop p) {
  if (p == Prop::Popup) popups_.push_back(c.Name());
  if (p == Prop::Cursor)
    cursors_.push_back(c.Name() + (c.Cursor() == CursorShape::HourGlass ? " hourglass" : " default"));
  if (auto* t = dynamic_cast<Timer*>(&c); t && (p == Prop::Enabled || p == Prop::Interval)) {
    if (t->Enabled())
      due_[t] = now_ + t->Interval();
    else
      due_.erase(t);
  }
  if (auto* sb = dynamic_cast<StatusBar*>(&c); sb && p == Prop::Panels) {
    // Record each panel whose text changed since the last record.
    for (std::size_t i = 0; i < sb->Panels().size(); ++i) {
      const std::string& text = sb->Panels()[i].text;
      const StatusText* last = nullptr;
      for (auto it = status_.rbegin(); it != status_.rend(); ++it)
        if (it->form == c.Owner().ClassName() && it->control == c.Name() && it->panel == i) {
          last = &*it;
          break;
        }
      if (last ? last->text != text : !text.empty())
        status_.push_back({c.Owner().ClassName(), c.Name(), i, text});
    }
  }
}

}  // namespace ui
