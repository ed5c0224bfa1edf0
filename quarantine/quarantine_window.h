#pragma once
#include <functional>
#include <string>
#include <vector>

#include "app/program.h"
#include "quarantine/quarantine_store.h"
#include "ui/form.h"

// The Quarantine Manager: lists the quarantined files and restores, removes
// and clears them; files can be added by hand.
class TForm9 : public ui::Form {
 public:
  explicit TForm9(app::Program& program);
  app::Program& program;

  // The quarantine of this run, for the manager and for the scan's "Add to
  // Quarantine".
  quarantine::QuarantineStore store;

  ui::ListView* List1;
  ui::StatusBar* Bar1;
  ui::Component* xpButton1;  // "Close"
  ui::Component* xpButton2;  // "Restore selected tasks"
  ui::Component* xpButton3;  // "Add Task"
  ui::Component* xpButton4;  // "Remove Task"
  ui::Component* xpButton5;  // "Clear Quarantine"
  ui::Component* xpButton6;  // "Refresh"

  static constexpr const char* kOpen1Title = "Add task into Quaranteen";

  void Refresh();  // the rows again from the index (also on show)
  void xpButton2Click();
  void xpButton3Click();
  void xpButton4Click();
  void xpButton5Click();

  // The backups of the undo journal, newest first ("Date and time",
  // "Action", "Items", "Size"), with "Undo" and "Delete backup" for the
  // selected one. Their captions are the program's own, not translated.
  // Undo and Delete backup are jobs: refused while a scan, fix, log build
  // or update runs, and those are refused while they run.
  ui::ListView* ListBackups = nullptr;
  ui::Component* xpButtonUndo = nullptr;
  ui::Component* xpButtonDeleteBackup = nullptr;
  void RefreshBackups();  // also on show and with "Refresh"
  void UndoClick();
  void DeleteBackupClick();
  // The backup of each row, as listed.
  const std::vector<std::string>& BackupIds() const { return backupIds_; }

 private:
  bool Ask(int entry);
  void Inform(int entry);
  void ShowError(const std::string& text);
  void ShowMessage(int entry);
  // For the entries whose rows are checked when it starts, from the top:
  // the entry's row shows message `busy`, the status bar `status` and the
  // source path, then the row shows `done` or `failed` as op answers. The
  // copies let messages run, and a refresh meanwhile rebuilds the rows:
  // entries are known by their stored copies, never by row number.
  void WorkOnChecked(int busy, int status, int done, int failed,
                     const std::function<bool(const std::string&)>& op);
  // The stored copy of each row's entry, as listed.
  std::vector<std::string> rowStored_;

  void AttachBackupList();
  std::string SelectedBackup() const;
  std::vector<std::string> backupIds_;
};
