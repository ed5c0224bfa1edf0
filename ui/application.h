#pragma once
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ui/form.h"
#include "ui/host.h"

namespace ui {

class Application {
 public:
  // Becomes the host's general error report while it lives.
  explicit Application(Host& host);
  ~Application();
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  Host& GetHost() { return host_; }

  // Constructs a form, hands it to the host and runs its creation handler.
  // The first form created is the main form.
  template <class F, class... Args>
  F& CreateForm(Args&&... args) {
    auto f = std::make_unique<F>(std::forward<Args>(args)...);
    F& ref = *f;
    Register(std::move(f));
    return ref;
  }

  Form* MainForm() const { return forms_.empty() ? nullptr : forms_.front().get(); }
  const std::vector<std::unique_ptr<Form>>& Forms() const { return forms_; }
  Form* FindForm(std::string_view className) const;

  // Ends the program with the exit code: the message loop stops.
  void Terminate(int exitCode);
  bool Terminated() const { return terminated_; }
  int ExitCode() const { return exitCode_; }

  int Run() { return host_.Run(*this); }
  void ProcessMessages() { host_.ProcessMessages(); }
  int MessageBox(const MessageBoxSpec& spec) { return host_.MessageBox(spec); }

  // The general error report: an exception that escaped a handler. Without
  // OnException the error box shows its text (ShowException) and the
  // program goes on.
  void HandleException(const std::string& message);
  void ShowException(const std::string& message);
  std::function<void(const std::string& message)> OnException;

  std::string title;

 private:
  void Register(std::unique_ptr<Form> f);
  Host& host_;
  std::vector<std::unique_ptr<Form>> forms_;
  bool terminated_ = false;
  int exitCode_ = 0;
};

}  // namespace ui
