// The main window's "Startup files" page: the values of the registry base's
// keys, listed and deleted; and the main window's start-up scans.
#include "app/main_window.h"
#include "undo/journal_ui.h"
#include "undo/undo_journal.h"

void TForm1::WireStartupPage() {
  Find("Button14")->OnClick = [this] { Button14Click(); };
  Find("Button15")->OnClick = [this] { Button15Click(); };
}

void TForm1::Button15Click() {
  List3->Clear();
  startupValues.clear();
  std::vector<engine::RegBaseRecord> records;
  if (!engine::LoadRegBase(program.machine.Files(), program.programFolder, records)) return;
  if (startupLogLine) startupLogLine("Startup files:");
  startupValues = engine::ReadStartupValues(program.machine.Reg(), records, startupLogLine);
  std::vector<ui::ListItem> rows;
  rows.reserve(startupValues.size());
  for (const auto& v : startupValues) rows.push_back({v.valueName, {v.valueData}});
  List3->SetItems(std::move(rows));
}

void TForm1::Button14Click() {
  if (program.Box(program.msg[67], program.msg[28], ui::Buttons::YesNo, ui::Icon::Question) !=
      ui::kIdYes)
    return;
  const auto rows = List3->Items();  // a copy: the boxes below let messages run
  undo::Backup backup(*program.journal, "Delete start-up values");
  for (const auto& row : rows) {
    if (!row.checked || row.subItems.empty()) continue;
    const StartupF* value = nullptr;
    for (const auto& v : startupValues) {
      if (v.valueName == row.caption && v.valueData == row.subItems[0]) {
        value = &v;
        break;
      }
    }
    if (!value) continue;
    auto key = program.machine.Reg().Create(value->root, value->keyPath,
                                            platform::keyaccess::kAllAccess);
    if (!key) {
      program.Box(program.msg[69] + value->valueName + program.msg[70], program.msg[2],
                  ui::Buttons::Ok, ui::Icon::Error);
    } else if (key->Query(value->valueName)) {
      const auto kept = backup.KeepValue(value->root, value->keyPath, value->valueName);
      if (!kept) {
        program.Box(program.msg[68] + value->valueName + "\r" + value->valueData +
                        "\rIt could not be backed up: " + kept.error + ".",
                    program.msg[2], ui::Buttons::Ok, ui::Icon::Error);
      } else if (key->DeleteValue(value->valueName) != platform::kOk) {
        backup.NotDone(kept);
        program.Box(program.msg[68] + value->valueName + "\r" + value->valueData, program.msg[2],
                    ui::Buttons::Ok, ui::Icon::Error);
      }
    }
  }
  backup.Finish();
  program.Box(program.msg[71], program.msg[23], ui::Buttons::Ok, ui::Icon::Information);
  Button15Click();
}

bool TForm1::RemoveStartupValuesFor(const std::string& path, undo::Backup* backup,
                                    std::vector<std::string>* left) {
  auto& m = program.machine;
  if (backup) return engine::RemoveStartupValuesFor(m, program.programFolder, path, *backup, left);
  undo::Backup own(*program.journal, "Delete start-up values");
  const bool any = engine::RemoveStartupValuesFor(m, program.programFolder, path, own, left);
  own.Finish();
  undo::TellNotBackedUp(program, own);
  return any;
}

void TForm1::ScanStartupRegistry() {
  registryServers = engine::ScanStartupRegistry(program.machine, [this] { program.app.ProcessMessages(); });
}
