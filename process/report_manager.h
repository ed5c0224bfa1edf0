#pragma once
// "Report Manager": every file that runs or starts with Windows in one list
// with its size, suspicious rows coloured, and commands that end, stop or
// delete the programs behind the ticked rows.
#include <functional>
#include <string>
#include <vector>

#include "app/program.h"
#include "ui/form.h"

namespace undo {
class Backup;
}

class TFormR : public ui::Form {
 public:
  explicit TFormR(app::Program& program);
  app::Program& program;

  ui::Component* Panel1;
  ui::ListView* List1;
  ui::StatusBar* sb1;
  ui::Timer* Timer1;
  ui::PopupMenu* Pop1;  // general
  ui::PopupMenu* Pop2;  // processes
  ui::PopupMenu* Pop3;  // registry values
  ui::PopupMenu* Pop4;  // services

  // Columns of a row after its kind (the caption).
  static constexpr std::size_t kFileName = 0, kFileSize = 1, kKey = 2;

  // Rebuilds the list from the live system.
  void DisplayFullLogFile();
  // Adds a "RegStartup" row for every text value of the registry base's keys.
  void GetStartupRegValues();

  void List1CustomDrawItem(std::size_t index, ui::RowColours& colours);
  void List1SelectItem();
  void List1Click();
  void xpButton1Click();  // "Refresh"
  void xpButton2Click();  // "Delete selected" and Pop1 "Delete files"
  void xpButton3Click();  // "Save full report log"
  void Terminateprocess1Click();
  void Deleteprocess1Click();
  void MenuItem1Click();  // "Delete values"
  void MenuItem2Click();  // "Delete files" of registry value rows
  void MenuItem4Click();  // "Terminate service"
  void MenuItem5Click();  // "Delete file" of a service row
  void Timer1Timer();

  // The sub-item 0 of the row selected last; the single-row commands act on it.
  std::string selectedPath;
  // Seconds counted by Timer1 while a deletion is retried.
  long double deleteClock = 0;
  // How long a deletion is retried, in seconds of the deletion clock.
  static constexpr long double kRetrySeconds = 4;

 private:
  void Layout();
  void AddFileRow(const char* kind, const std::string& path);
  // Deleting a file with retries: the first attempt, then the retries until
  // the file is gone or the clock has run out. `whileClockRuns` runs once
  // the clock has started (the registry value removal of "Delete file").
  // `mayDelete` runs before each deletion (the file's backup): false skips
  // that deletion; `hopeless` ends the retries early.
  void FirstDeleteAttempt(const std::string& path, const std::function<bool()>& mayDelete);
  bool RetryDelete(const std::string& path, const std::function<void()>& whileClockRuns,
                   const std::function<bool()>& mayDelete, const std::function<bool()>& hopeless);
  // The whole deletion of one file, kept in the backup first: a file that
  // cannot be kept stays (the command tells why when it ends), one that
  // cannot be deleted gets the failure message, and a protected one is
  // refused with its reason before anything happens to it. `withValues` removes its
  // start-up values too (before the retries, or while the clock runs).
  bool DeleteKept(const std::string& path, undo::Backup& backup, bool withValues,
                  bool valuesWhileClockRuns = false);
  void ShowDeleteFailure(const std::string& path);
  // A program Windows needs to run is never deleted: true, after saying so,
  // for such a path.
  bool RefuseProtected(const std::string& path);
  bool Ask(const std::string& text);
  // The ticked rows walked from the top, `act` run on each; a row for which
  // it returns true is removed and the walk starts again. False when no row
  // was ticked.
  bool WalkTicked(const std::function<bool(const std::string& path)>& act);
  // The selected row, when there is one that still holds the selected path:
  // `act` runs on the path and the row is removed when it returns true.
  void OnSelectedRow(const std::function<bool(const std::string& path)>& act);
  // "Delete proceses" and "Delete files": after the question, the ticked
  // rows, or the selected one when none is ticked.
  void DeleteTickedOrSelected(const std::string& question);
  // Runs a command with the deletion held off from others; unexpected errors
  // show "Error." when `reportErrors` is set.
  void Command(bool reportErrors, const std::function<void()>& body);
  bool busy_ = false;
};
