// The keyboard filter drivers of the start-up manager's third tab.
#include "platform/text.h"
#include "startup/startup_manager.h"
#include "startup/startup_text.h"
#include "undo/journal_ui.h"
#include "undo/undo_journal.h"

namespace {

constexpr const char* kKeyboardClass =
    "SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E96B-E325-11CE-BFC1-08002BE10318}";
constexpr const char* kUpperFilters = "UpperFilters";
constexpr const char* kFileNotFound = "File not found";

// The raw "UpperFilters" bytes in their blank-filled buffer; nullopt (after
// the error report) when the value is text or larger than the buffer.
std::optional<std::string> ReadUpperFilters(app::Program& program, platform::RegistryKey& key) {
  auto v = key.Query(kUpperFilters);
  if (v && (v->type == platform::ValueType::String || v->type == platform::ValueType::ExpandString ||
            v->data.size() > startup::kFilterBufferSize)) {
    program.app.MessageBox({std::string("Invalid data type for '") + kUpperFilters + "'",
                            program.app.title, ui::Buttons::Ok, ui::Icon::Error, true, true});
    return std::nullopt;
  }
  return startup::FilterBuffer(v ? v->data : std::string());
}

}  // namespace

void TfrmMain::ScanKeyboardFilterDriver() {
  ListView3->Clear();
  auto& m = program.machine;
  if (auto key = m.Reg().Open(platform::Hive::LocalMachine, kKeyboardClass,
                              platform::keyaccess::kAllAccess)) {
    auto buffer = ReadUpperFilters(program, *key);
    if (!buffer) return;
    const std::string system = m.Files().SystemDirectory();
    for (const auto& name : startup::FilterNames(*buffer)) {
      std::string path = system + "\\Drivers\\" + name + ".sys";
      if (!platform::FileExists(m.Files(), path)) path = system + "\\" + name + ".sys";
      if (!platform::FileExists(m.Files(), path)) path = kFileNotFound;
      ListView3->AddItem(name, {path});
    }
  }
  if (ListView3->Items().empty()) ShowPlaceholder(*ListView3, kNoKeyboardFilter);
}

void TfrmMain::DelKBf() {
  const int row = ListView3->SelectedIndex();
  if (row < 0 || ListView3->Items()[row].subItems.empty()) return;
  const std::string caption = ListView3->Items()[row].caption;
  const std::string path = ListView3->Items()[row].subItems[0];
  auto& m = program.machine;
  auto key = m.Reg().Open(platform::Hive::LocalMachine, kKeyboardClass, platform::keyaccess::kAllAccess);
  if (!key) return;
  auto buffer = ReadUpperFilters(program, *key);
  if (!buffer) return;
  const std::string kept = startup::UpperFiltersWithout(*buffer, caption);
  key.reset();
  auto writer = m.Reg().Open(platform::Hive::LocalMachine, kKeyboardClass, platform::keyaccess::kWrite);
  if (!writer) return;
  if (!AskUndoable("Disable [" + caption + "] ?")) return;
  undo::Backup backup(*program.journal, "Disable keyboard filter");
  struct Tell {
    app::Program& program;
    undo::Backup& backup;
    ~Tell() {
      backup.Finish();
      undo::TellNotBackedUp(program, backup);
    }
  } tell{program, backup};
  const auto keptValue = backup.KeepValueChange(platform::Hive::LocalMachine, kKeyboardClass,
                                                kUpperFilters, platform::ValueType::MultiString, kept);
  if (!keptValue) return;
  if (writer->Set(kUpperFilters, platform::ValueType::MultiString, kept) != platform::kOk)
    backup.NotDone(keptValue);
  writer.reset();
  ScanKeyboardFilterDriver();
  for (const auto& item : ListView3->Items())
    if (item.caption == caption) return;
  // The driver cannot load at the next start, but its file survives.
  if (path == kFileNotFound) return;
  const auto keptFile = backup.KeepMove(path, path + ".del");
  if (keptFile && m.Files().MoveFile(path, path + ".del") != platform::kOk) backup.NotDone(keptFile);
}
