// The process page of the main window: the running programs by the path of
// their executable, ended (and optionally deleted) by the user.
#include "app/main_window.h"
#include "engine/helpers.h"
#include "engine/report_log.h"
#include "platform/text.h"
#include "undo/undo_journal.h"

bool TForm1::Button12Click() {
  auto& machine = program.machine;
  List2->Clear();
  std::vector<std::string> rows;
  for (auto& p : engine::ListRunningProcesses(machine))
    if (engine::IsValidFile(machine.Files(), p.path)) rows.push_back(p.path);
  for (auto& r : rows) List2->AddItem(r, {""});
  Find("Label3")->SetCaption(program.msg[72] + std::to_string(rows.size()) + ").");

  if (!reportLog) return true;
  if (!reportLog->WriteLine(program.msg[73] + std::to_string(rows.size()) + ")")) return false;
  for (auto& r : rows) {
    SetStatus(r);
    reportLog->Progress(r);
    if (!reportLog->WriteLine(r)) return false;
  }
  return reportLog->WriteLine("");
}

void TForm1::Button11Click() {
  if (!Ask(65)) return;
  auto& machine = program.machine;
  const std::vector<ui::ListItem> rows = List2->Items();  // boxes below let messages run
  undo::Backup backup(*program.journal, "Delete process files");
  for (const auto& row : rows) {
    if (!row.checked) continue;
    engine::TerminateProgramsOf(machine, row.caption);
    if (!cbx1->Checked() || !engine::IsValidFile(machine.Files(), row.caption)) continue;
    const auto kept = backup.KeepFile(row.caption);
    if (!kept) {
      program.Box(program.msg[66] + row.caption + "\rIt could not be backed up: " + kept.error + ".",
                  program.msg[2], ui::Buttons::Ok, ui::Icon::Error);
    } else if (machine.Files().DeleteFile(row.caption) != platform::kOk) {
      backup.NotDone(kept);
      program.Box(program.msg[66] + row.caption, program.msg[2], ui::Buttons::Ok, ui::Icon::Error);
    }
  }
  backup.Finish();
  Button12Click();
}
