#pragma once
// The real Windows machine and the host that shows the forms as windows.
// This header is free of Windows headers so the program's entry and the
// Windows tests can include it.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/machine.h"
#include "ui/host.h"

namespace ui {
class Component;
class Form;
}

namespace platform::win32 {

std::unique_ptr<Machine> CreateMachine();

class Win32Host : public ui::Host {
 public:
  // What the real window of a control shows, for tests and demos.
  virtual std::string WindowText(const ui::Component& c) = 0;
  virtual bool WindowShown(const ui::Component& c) = 0;
  virtual bool WindowEnabled(const ui::Component& c) = 0;
  // Clicks the real control the way the user does (BM_CLICK).
  virtual void ClickWindow(const ui::Component& c) = 0;
  // Saves what the window of a form shows on screen as a BMP file.
  virtual bool SaveWindowImage(const ui::Form& form, const std::string& bmpPath) = 0;
  // Rows of a real list view or list box as "caption|sub|sub".
  virtual std::vector<std::string> WindowRows(const ui::Component& c) = 0;
  // The next open or save dialog answers itself once it shows, as if the
  // user typed `path` and pressed OK (nullopt: pressed Cancel).
  virtual void AnswerNextFileDialog(std::optional<std::string> path) = 0;
  // The caption of the last file dialog shown.
  virtual std::string LastFileDialogTitle() = 0;
  // Check boxes of the rows of a real list view.
  virtual std::vector<bool> WindowChecks(const ui::Component& c) = 0;
  // Turns the check box of a row of a real list over, as the user's click does.
  virtual void ToggleWindowCheck(const ui::Component& c, int row) = 0;
  // Posts a window message to the real window of a form or control.
  virtual void PostToWindow(const ui::Component& c, unsigned message) = 0;
  // Chooses the item of the form's real menu bar as the user does (its
  // command sent to the window); false when the bar does not hold it.
  virtual bool ClickMenuItem(const ui::Form& form, const ui::Component& item) = 0;
};

std::unique_ptr<Win32Host> CreateHost();

// Starts a program detached (for tests); 0 when it does not start.
std::uint32_t LaunchProgram(const std::string& path);

// Runs a program with arguments and waits for it; its exit code, or -1 when
// it does not start or does not end in time.
int RunAndWait(const std::string& path, const std::string& arguments, unsigned timeoutMs);

// A directory symbolic link (for tests of reparse points); false when the
// system cannot make one.
bool CreateDirectoryLink(const std::string& link, const std::string& target);

// The bytes of a program file's resource of a numeric type and id (24, 1:
// its manifest; 16, 1: its version), for tests; nullopt when it has none.
std::optional<std::string> ProgramResource(const std::string& path, unsigned type, unsigned id);

// A line of text in the system code page to the program's standard output
// or standard error, ended with CR LF. A console shows it in its own
// characters; a file or pipe gets the bytes as they are.
void WriteStandardOutput(std::string_view line);
void WriteStandardError(std::string_view line);

// The system's own lower-casing of single-byte text (CharLowerBuffA).
std::string SystemLowerCase(std::string text);

}  // namespace platform::win32
