#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "ui/error_report.h"

namespace ui {

class Application;
class Form;

enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel, RetryCancel };
enum class Icon { None, Error, Question, Warning, Information };

// Message box answers with their Win32 values.
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;

struct MessageBoxSpec {
  std::string text;
  std::string caption;
  Buttons buttons = Buttons::Ok;
  Icon icon = Icon::None;
  bool topmost = false;
  bool foreground = false;
  bool secondButtonDefault = false;  // "No" of a Yes/No question
};

// What runs the forms: the message loop, timers, message boxes and calls
// handed over from worker threads.
class Host {
 public:
  virtual ~Host() = default;
  // The application's general error report (ui::Application sets it): an
  // exception that escapes an event handler, a timer or a synchronised call
  // goes here and the program goes on. Unset, it propagates.
  ErrorReport onException;
  // Starts observing a newly created form.
  virtual void Attach(Form& form) = 0;
  virtual int MessageBox(const MessageBoxSpec& spec) = 0;
  // Lets pending window messages, timers and synchronised calls run.
  virtual void ProcessMessages() = 0;
  // Shows the main form and runs the message loop until the application is
  // terminated; returns the exit code.
  virtual int Run(Application& app) = 0;
  // Called by Application::Terminate so a running loop ends.
  virtual void Quit() = 0;
  // From a worker thread: runs fn on the user-interface thread and waits for
  // it. On the user-interface thread it runs at once.
  virtual void Synchronize(std::function<void()> fn) = 0;
  // The save dialog: the chosen path, or nullopt when the user cancels.
  virtual std::optional<std::string> SaveFileDialog(const std::string& title,
                                                    const std::string& fileName,
                                                    const std::string& filter) = 0;
  // The folder chooser starting at `start`, where the user may also make a
  // new folder: the chosen folder, or nullopt when the user cancels.
  virtual std::optional<std::string> BrowseForFolder(const std::string& title,
                                                     const std::string& start) = 0;
  // The open dialog for one existing file: its path, or nullopt when the
  // user cancels. The filter is "Text|*.txt|..." as for the save dialog.
  virtual std::optional<std::string> OpenFileDialog(const std::string& title,
                                                    const std::string& filter) = 0;
  // Milliseconds of the host's clock.
  virtual std::uint64_t NowMs() = 0;
  // Lets ms milliseconds pass on the user-interface thread, the windows kept
  // alive meanwhile (a wait for the system to finish something).
  virtual void Sleep(std::uint32_t ms) = 0;
};

}  // namespace ui
