// The Quarantine Manager's list of backups: everything the program removed
// or changed for the user, by action, with Undo and Delete backup.
#include "platform/local_time.h"
#include "quarantine/quarantine_window.h"
#include "startup/services.h"
#include "undo/undo_journal.h"

using ui::Kind;

namespace {

// Rows of a box before the rest is only counted.
constexpr std::size_t kShownItems = 10;

std::string SizeText(std::uint64_t bytes) {
  if (bytes < 1024) return std::to_string(bytes) + " bytes";
  if (bytes < 1024 * 1024) return std::to_string((bytes + 1023) / 1024) + " KB";
  const std::uint64_t tenths = (bytes * 10 + 512 * 1024) / (1024 * 1024);
  return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " MB";
}

// The items of an undo with one result, as box lines.
std::string ItemLines(const undo::UndoReport& report, undo::UndoItem::Result result) {
  std::string text;
  std::size_t n = 0;
  for (const auto& i : report.items) {
    if (i.result != result) continue;
    if (n++ < kShownItems) text += "\r" + i.what + ": " + i.reason;
  }
  if (n > kShownItems) text += "\r... and " + std::to_string(n - kShownItems) + " more.";
  return text;
}

}  // namespace

void TForm9::AttachBackupList() {
  // Below the quarantine's own controls; the status bar moves down.
  SetBounds({0, 0, 620, 610});
  auto& label = Add(Kind::Label, "LabelBackups", this, "Backups of removed and changed items:");
  label.SetBounds({8, 366, 604, 16});
  ListBackups = &Add<ui::ListView>(Kind::ListView, "ListBackups", this);
  ListBackups->SetBounds({8, 384, 604, 140});
  ListBackups->rowSelect = ListBackups->readOnly = true;
  ListBackups->SetColumns({{"Date and time", 170}, {"Action", 250}, {"Items", 70}, {"Size", 90}});
  xpButtonUndo = &Add(Kind::OwnerButton, "xpButtonUndo", this, "Undo");
  xpButtonUndo->SetBounds({8, 534, 84, 30});
  xpButtonDeleteBackup = &Add(Kind::OwnerButton, "xpButtonDeleteBackup", this, "Delete backup");
  xpButtonDeleteBackup->SetBounds({96, 534, 110, 30});
  // Not among the language file's numbered lines.
  for (auto* c : {&label, xpButtonUndo, xpButtonDeleteBackup}) c->SetHint("-1");
  Bar1->SetBounds({0, 588, 620, 22});

  xpButtonUndo->OnClick = [this] { UndoClick(); };
  xpButtonDeleteBackup->OnClick = [this] { DeleteBackupClick(); };
  OnShow = [this, show = OnShow] {
    if (show) show();
    RefreshBackups();
  };
  xpButton6->OnClick = [this, refresh = xpButton6->OnClick] {
    if (refresh) refresh();
    RefreshBackups();
  };
}

void TForm9::RefreshBackups() {
  if (!ListBackups || !program.journal) return;
  std::vector<ui::ListItem> rows;
  backupIds_.clear();
  for (const auto& b : program.journal->List()) {
    const std::string when =
        platform::ShortDateText(b.created) + ", " + platform::LongTimeText(b.created);
    if (b.error.empty())
      rows.push_back({when, {b.action, std::to_string(b.items), SizeText(b.bytes)}});
    else
      rows.push_back({when, {"Cannot be read: " + b.error, "", ""}});
    backupIds_.push_back(b.id);
  }
  ListBackups->SetItems(std::move(rows));
  if (!backupIds_.empty()) ListBackups->SetSelected(0, true);
}

std::string TForm9::SelectedBackup() const {
  const int row = ListBackups ? ListBackups->SelectedIndex() : -1;
  if (row < 0 || static_cast<std::size_t>(row) >= backupIds_.size()) return {};
  return backupIds_[static_cast<std::size_t>(row)];
}

void TForm9::UndoClick() {
  const std::string id = SelectedBackup();
  if (id.empty() || program.Busy()) return;
  if (program.Box("Do you want to put back everything the selected backup holds?", program.msg[28],
                  ui::Buttons::YesNo, ui::Icon::Question) != ui::kIdYes)
    return;
  // The undo lets messages run: nothing else may remove or scan meanwhile.
  app::JobScope job(program, app::Job::Undo);
  if (!job) return;  // one started while the question was open
  Bar1->SetPanelText(0, "Undoing the backup of " + id + "...");
  const auto report = program.journal->Undo(id);
  using S = undo::UndoReport::Status;
  using R = undo::UndoItem::Result;
  std::size_t back = 0;
  for (const auto& i : report.items) back += i.result == R::Restored;
  const std::string count = std::to_string(back) + " of " + std::to_string(report.items.size()) +
                            " items are back.";
  switch (report.status) {
    case S::Done:
      Bar1->SetPanelText(0, "Backup undone.");
      program.Box("Everything the backup held is back (" + std::to_string(back) + " items).",
                  program.msg[23], ui::Buttons::Ok, ui::Icon::Information);
      break;
    case S::Conflicts:
      Bar1->SetPanelText(0, count);
      program.Box(count + " These were left alone because something else is there now:" +
                      ItemLines(report, R::Conflict) + "\r\rThe backup keeps them.",
                  program.msg[23], ui::Buttons::Ok, ui::Icon::Warning);
      break;
    case S::Failed:
      Bar1->SetPanelText(0, count);
      program.Box(count + " These could not be put back:" + ItemLines(report, R::Failed) +
                      ItemLines(report, R::Conflict) + "\r\rThe backup keeps them.",
                  program.app.title, ui::Buttons::Ok, ui::Icon::Error);
      break;
    default:
      Bar1->SetPanelText(0, report.error);
      program.Box(report.error, program.app.title, ui::Buttons::Ok, ui::Icon::Error);
      break;
  }
  RefreshBackups();
  // What came back shows in the other windows' lists too.
  startup::RefreshServices(program);
}

void TForm9::DeleteBackupClick() {
  const std::string id = SelectedBackup();
  if (id.empty() || program.Busy()) return;
  if (program.Box("Do you want to delete the selected backup? What it holds can no longer be put "
                  "back afterwards.",
                  program.msg[28], ui::Buttons::YesNo, ui::Icon::Question) != ui::kIdYes)
    return;
  app::JobScope job(program, app::Job::DeleteBackup);
  if (!job) return;
  std::string error;
  if (!program.journal->Delete(id, &error))
    program.Box("Cannot delete the backup: " + error + ".", program.app.title, ui::Buttons::Ok,
                ui::Icon::Error);
  RefreshBackups();
}
