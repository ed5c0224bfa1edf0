#pragma once
// The host for tests: no windows. Message boxes are answered from a script
// and recorded, status-bar texts are recorded, timers run on a clock the test
// advances, and calls from worker threads run when messages are processed.
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "ui/application.h"
#include "ui/call_queue.h"
#include "ui/host.h"

namespace ui {

class HeadlessHost final : public Host, private FormObserver {
 public:
  struct Box {
    MessageBoxSpec spec;
    int answer;
  };
  struct StatusText {
    std::string form;
    std::string control;
    std::size_t panel;
    std::string text;
  };

  HeadlessHost();
  ~HeadlessHost() override;

  // Script: the next message box is answered with `answer`. With text or
  // caption given, the box must show exactly that.
  void Answer(int answer, std::optional<std::string> text = std::nullopt,
              std::optional<std::string> caption = std::nullopt);
  // The same, running `meanwhile` while the box is up, as other windows'
  // messages run during a real box.
  void AnswerAfter(std::function<void()> meanwhile, int answer,
                   std::optional<std::string> text = std::nullopt,
                   std::optional<std::string> caption = std::nullopt);
  // Called with a description of every box that was not scripted or did not
  // match; tests make it a failure. Such a box is answered OK / No.
  std::function<void(const std::string&)> onUnexpected;

  // Script: the next save dialog returns this path (nullopt: cancelled).
  void AnswerSave(std::optional<std::string> path) { saves_.push_back(std::move(path)); }
  std::optional<std::string> SaveFileDialog(const std::string& title, const std::string& fileName,
                                            const std::string& filter) override;
  struct SaveDialog {
    std::string title, fileName;
  };
  const std::vector<SaveDialog>& SaveDialogs() const { return saveDialogs_; }

  // Script: the next folder chooser returns this folder (nullopt: cancelled).
  void AnswerFolder(std::optional<std::string> folder) { folders_.push_back(std::move(folder)); }
  std::optional<std::string> BrowseForFolder(const std::string& title,
                                             const std::string& start) override;
  struct FolderDialog {
    std::string title, start;
  };
  const std::vector<FolderDialog>& FolderDialogs() const { return folderDialogs_; }
  // Script: the next open dialog returns this path (nullopt: cancelled).
  void AnswerOpen(std::optional<std::string> path) { opens_.push_back(std::move(path)); }
  std::optional<std::string> OpenFileDialog(const std::string& title,
                                            const std::string& filter) override;
  // Titles of the open dialogs shown, in order.
  const std::vector<std::string>& OpenDialogs() const { return openDialogs_; }

  const std::vector<Box>& Boxes() const { return boxes_; }
  const std::vector<StatusText>& StatusLog() const { return status_; }
  // Popup menus shown, by name.
  const std::vector<std::string>& Popups() const { return popups_; }
  // Every change of a control's mouse cursor, as "Name hourglass" or
  // "Name default".
  const std::vector<std::string>& Cursors() const { return cursors_; }
  std::size_t PendingAnswers() const { return script_.size(); }

  // Moves the clock on, firing every timer that falls due on the way, in
  // order of time.
  void Advance(std::uint64_t ms);
  // Runs what a window message would run (the user's click or key) as the
  // real host does: under the application's general error report.
  void Dispatch(const std::function<void()>& handler) { RunReported(handler, onException); }

  void Attach(Form& form) override;
  int MessageBox(const MessageBoxSpec& spec) override;
  void ProcessMessages() override;
  // Shows the main form and processes what is pending; a headless loop does
  // not wait, so it returns as soon as nothing is left to do (the exit code,
  // or -1 while the program still runs).
  int Run(Application& app) override;
  void Quit() override {}
  void Synchronize(std::function<void()> fn) override { calls_.Synchronize(std::move(fn)); }
  std::uint64_t NowMs() override { return now_; }
  // Time passes on the test's clock: the timers due meanwhile fire.
  void Sleep(std::uint32_t ms) override {
    slept_ += ms;
    Advance(ms);
  }
  std::uint64_t SleptMs() const { return slept_; }

 private:
  void Changed(Component& c, Prop p) override;
  void Destroyed(Form& form) override;
  struct Scripted {
    int answer;
    std::optional<std::string> text, caption;
    std::function<void()> meanwhile;
  };
  std::deque<Scripted> script_;
  std::vector<Box> boxes_;
  std::deque<std::optional<std::string>> saves_;
  std::vector<SaveDialog> saveDialogs_;
  std::deque<std::optional<std::string>> folders_;
  std::vector<FolderDialog> folderDialogs_;
  std::deque<std::optional<std::string>> opens_;
  std::vector<std::string> openDialogs_;
  std::optional<std::string> NextPath(std::deque<std::optional<std::string>>& script,
                                      const std::string& what);
  std::vector<StatusText> status_;
  std::vector<std::string> popups_;
  std::vector<std::string> cursors_;
  std::vector<Form*> forms_;  // attached and not yet destroyed
  std::map<Timer*, std::uint64_t> due_;  // armed timers and when they fire
  std::uint64_t now_ = 0;
  std::uint64_t slept_ = 0;
  CallQueue calls_;
};

}  // namespace ui
