#include "process/report_manager.h"

#include <exception>

#include "app/main_window.h"
#include "engine/helpers.h"
#include "engine/protected_places.h"
#include "engine/startup_registry.h"
#include "logopt/log_optimizer.h"
#include "platform/text.h"
#include "startup/services.h"
#include "startup/startup_manager.h"
#include "undo/journal_ui.h"
#include "undo/undo_journal.h"

using ui::Kind;

namespace {

// The retry loop waits this long between attempts, the windows alive
// meanwhile, so Timer1 can advance the clock without a busy loop.
constexpr std::uint32_t kRetryPauseMs = 10;

const std::string& Path(const ui::ListItem& row) {
  static const std::string kNone;
  return row.subItems.empty() ? kNone : row.subItems[TFormR::kFileName];
}

}  // namespace

TFormR::TFormR(app::Program& p) : Form("TFormR"), program(p) {
  SetCaption("Report Manager");
  SetBounds({0, 0, 800, 520});
  sizeable = true;
  Layout();
  OnShow = [this] { xpButton1Click(); };
}

void TFormR::Layout() {
  Panel1 = &Add(Kind::Panel, "Panel1");
  Panel1->SetBounds({0, 0, 792, 44});
  const struct {
    const char* name;
    const char* caption;
    int left, width;
  } buttons[] = {{"xpButton3", "Save full report log", 8, 160},
                 {"xpButton2", "Delete selected", 176, 130},
                 {"xpButton1", "Refresh", 314, 100}};
  for (const auto& b : buttons) Add(Kind::OwnerButton, b.name, Panel1, b.caption).SetBounds({b.left, 7, b.width, 30});

  List1 = &Add<ui::ListView>(Kind::ListView, "List1");
  List1->SetBounds({0, 44, 792, 426});
  List1->checkBoxes = List1->rowSelect = true;
  List1->SetColumns({{"ID", 80}, {"FileName", 400}, {"File Size", 70}, {"Key", 400}});

  sb1 = &Add<ui::StatusBar>(Kind::StatusBar, "sb1");
  sb1->SetBounds({0, 470, 792, 20});
  sb1->SetPanels({{"", 792}});

  Timer1 = &Add<ui::Timer>(Kind::Timer, "Timer1");
  Timer1->SetInterval(10);
  Timer1->SetEnabled(false);

  auto menu = [&](const char* name) { return &Add<ui::PopupMenu>(Kind::PopupMenu, name); };
  auto item = [&](const char* name, ui::PopupMenu* parent, const char* caption,
                  std::function<void()> click) {
    Add<ui::CheckBox>(Kind::MenuItem, name, parent, caption).OnClick = std::move(click);
  };
  Pop1 = menu("Pop1");
  item("Deleteselected1", Pop1, "Delete files", [this] { xpButton2Click(); });
  Pop2 = menu("Pop2");
  item("Terminateprocess1", Pop2, "Terminate proceses", [this] { Terminateprocess1Click(); });
  item("Deleteprocess1", Pop2, "Delete proceses", [this] { Deleteprocess1Click(); });
  Pop3 = menu("Pop3");
  item("MenuItem1", Pop3, "Delete values", [this] { MenuItem1Click(); });
  item("MenuItem2", Pop3, "Delete files", [this] { MenuItem2Click(); });
  Pop4 = menu("Pop4");
  item("MenuItem4", Pop4, "Terminate service", [this] { MenuItem4Click(); });
  item("MenuItem5", Pop4, "Delete file", [this] { MenuItem5Click(); });
  List1->popupMenu = Pop1;

  Find("xpButton1")->OnClick = [this] { xpButton1Click(); };
  Find("xpButton2")->OnClick = [this] { xpButton2Click(); };
  Find("xpButton3")->OnClick = [this] { xpButton3Click(); };
  List1->OnCustomDrawItem = [this](std::size_t i, ui::RowColours& c) { List1CustomDrawItem(i, c); };
  List1->OnSelectItem = [this] { List1SelectItem(); };
  List1->OnMouseUp = [this](int) { List1Click(); };
  Timer1->OnTimer = [this] { Timer1Timer(); };
}

void TFormR::AddFileRow(const char* kind, const std::string& path) {
  const std::string size = std::to_string(engine::FileSizeOf(program.machine.Files(), path));
  List1->AddItem(kind, {path, size, ""});
}

void TFormR::xpButton1Click() { DisplayFullLogFile(); }

void TFormR::DisplayFullLogFile() {
  // A deletion being retried walks the rows: the list stays as it is.
  if (busy_) return;
  auto& m = program.machine;
  auto& fs = m.Files();
  List1->Clear();
  for (const auto& proc : engine::ListRunningProcesses(m))
    if (engine::IsValidFile(fs, proc.path)) AddFileRow("Proc", proc.path);

  // From here on a group that fails ends alone; the others still come.
  auto group = [](const std::function<void()>& body) {
    try {
      body();
    } catch (const std::exception&) {
    }
  };
  group([&] {
    if (!program.form1) return;
    program.form1->ScanStartupRegistry();
    for (const auto& file : program.form1->registryServers)
      if (!file.empty()) AddFileRow("Clsid", file);
  });
  group([&] { GetStartupRegValues(); });
  // Rows of another window's list whose column `sub` (the caption when -1)
  // names a file; a placeholder row names none.
  auto fromList = [&](const char* kind, ui::ListView* list, int sub, bool pump) {
    if (!list) return;
    const std::vector<ui::ListItem> rows = list->Items();  // messages run below
    for (const auto& row : rows) {
      const std::string* text = &row.caption;
      if (sub >= 0) {
        if (row.subItems.size() <= static_cast<std::size_t>(sub)) continue;
        text = &row.subItems[sub];
      }
      if (sub < 0 && row.caption == TfrmMain::kNoDriver) continue;
      const std::string file = engine::ResolvePath(fs, *text);
      if (!file.empty()) AddFileRow(kind, file);
      if (pump) program.app.ProcessMessages();
    }
  };
  group([&] { fromList("Startup", program.frmMain ? program.frmMain->ListView1_2 : nullptr, 0, true); });
  group([&] { fromList("Service", program.form1 ? program.form1->ListView2 : nullptr, 0, true); });
  group([&] { fromList("System.ini", program.frmMain ? program.frmMain->ListView4 : nullptr, -1, false); });
}

void TFormR::GetStartupRegValues() {
  auto& m = program.machine;
  std::vector<engine::RegBaseRecord> records;
  if (!engine::LoadRegBase(m.Files(), program.programFolder, records)) return;
  for (const auto& r : records) {
    const std::string key = engine::RootKeyName(r.rootIndex) + "\\" + r.keyPath + "\\";
    for (const auto& v : engine::ReadStartupValues(m.Reg(), {r})) {
      const std::string size = std::to_string(engine::FileSizeOf(m.Files(), v.valueData));
      List1->AddItem("RegStartup", {v.valueData, size, key});
    }
  }
}

void TFormR::List1CustomDrawItem(std::size_t index, ui::RowColours& colours) {
  const auto& row = List1->Items()[index];
  if (row.checked) colours.background = ui::clYellow;
  if (row.subItems.size() > kFileSize && row.subItems[kFileSize] == "0")
    colours.text = engine::IsValidFile(program.machine.Files(), Path(row)) ? ui::clRed : ui::clBlue;
}

void TFormR::List1SelectItem() {
  const int index = List1->SelectChangedIndex();
  if (index < 0 || index >= static_cast<int>(List1->Items().size())) return;
  const auto& row = List1->Items()[index];
  selectedPath = Path(row);
  if (row.caption == "Proc")
    List1->popupMenu = Pop2;
  else if (row.caption == "RegStartup")
    List1->popupMenu = Pop3;
  else if (row.caption == "Service")
    List1->popupMenu = Pop4;
  else
    List1->popupMenu = Pop1;
}

void TFormR::List1Click() {
  enum { General, Processes, Values } state = General;
  for (const auto& row : List1->Items()) {
    if (!row.checked) continue;
    if (row.caption == "Proc") {
      state = state == Values ? General : Processes;
    } else if (row.caption == "RegStartup") {
      state = state == Processes ? General : Values;
    } else {
      state = General;
      break;
    }
  }
  List1->popupMenu = state == Processes ? Pop2 : state == Values ? Pop3 : Pop1;
}

void TFormR::Timer1Timer() { deleteClock += 0.01L; }

void TFormR::xpButton3Click() {
  if (program.form12) program.form12->Show();
}

bool TFormR::Ask(const std::string& text) {
  return program.Box(text, "Question", ui::Buttons::YesNo, ui::Icon::Question) == ui::kIdYes;
}

void TFormR::ShowDeleteFailure(const std::string& path) {
  program.Box("Cannot delete file " + path + ".", "Error", ui::Buttons::Ok, ui::Icon::Error);
}

void TFormR::FirstDeleteAttempt(const std::string& path, const std::function<bool()>& mayDelete) {
  auto& m = program.machine;
  engine::TerminateProgramsOf(m, path);
  program.app.ProcessMessages();
  if (!mayDelete()) return;
  m.Files().SetAttributes(path, platform::fileattr::kNormal);
  m.Files().DeleteFile(path);
}

bool TFormR::RetryDelete(const std::string& path, const std::function<void()>& whileClockRuns,
                         const std::function<bool()>& mayDelete,
                         const std::function<bool()>& hopeless) {
  auto& m = program.machine;
  deleteClock = 0;
  Timer1->SetEnabled(true);
  if (whileClockRuns) whileClockRuns();
  do {
    startup::StopServiceByPath(program, path);
    engine::TerminateProgramsOf(m, path);
    program.app.GetHost().Sleep(kRetryPauseMs);
    if (mayDelete()) {
      m.Files().SetAttributes(path, platform::fileattr::kNormal);
      m.Files().DeleteFile(path);
    }
  } while (platform::FileExists(m.Files(), path) && deleteClock <= kRetrySeconds && !hopeless());
  Timer1->SetEnabled(false);
  return !platform::FileExists(m.Files(), path);
}

bool TFormR::DeleteKept(const std::string& path, undo::Backup& backup, bool withValues,
                        bool valuesWhileClockRuns) {
  if (RefuseProtected(path)) return false;
  // Kept before any attempt to delete it; a file its own program holds is
  // kept once the program has ended, so keeping is tried again each round.
  undo::Kept kept;
  bool hopeless = false;
  auto keep = [&] {
    if (!kept && !hopeless) {
      kept = backup.KeepFile(path, false);
      hopeless = !kept && !kept.inUse;
    }
    return kept.ok;
  };
  auto values = [&] {
    engine::RemoveStartupValuesFor(program.machine, program.programFolder, path, backup);
  };
  FirstDeleteAttempt(path, keep);
  if (withValues && !valuesWhileClockRuns) values();
  const bool gone = RetryDelete(path, withValues && valuesWhileClockRuns ? values : std::function<void()>(),
                                keep, [&] { return hopeless; });
  if (gone) return true;
  if (!kept) {
    backup.NotKept(path, kept.error);  // told when the command ends
    return false;
  }
  backup.NotDone(kept);
  ShowDeleteFailure(path);
  return false;
}

bool TFormR::WalkTicked(const std::function<bool(const std::string& path)>& act) {
  bool any = false;
  for (std::size_t i = 0; i < List1->Items().size();) {
    if (!List1->Items()[i].checked) {
      ++i;
      continue;
    }
    any = true;
    const std::string path = Path(List1->Items()[i]);
    if (act(path) && i < List1->Items().size()) {
      List1->RemoveItem(i);
      i = 0;
    } else {
      ++i;
    }
  }
  return any;
}

void TFormR::OnSelectedRow(const std::function<bool(const std::string& path)>& act) {
  const int index = List1->SelectedIndex();
  // A refresh or a removal may have left the selected path without its row.
  if (index < 0 || Path(List1->Items()[index]) != selectedPath) return;
  const std::string path = selectedPath;
  if (!act(path)) return;
  // Other commands are held off meanwhile, so the row is where it was.
  const auto at = static_cast<std::size_t>(index);
  if (at < List1->Items().size() && Path(List1->Items()[at]) == path) List1->RemoveItem(at);
}

void TFormR::Command(bool reportErrors, const std::function<void()>& body) {
  if (busy_) return;
  busy_ = true;
  struct Done {
    bool& flag;
    ~Done() { flag = false; }
  } done{busy_};
  if (!reportErrors) return body();
  try {
    body();
  } catch (const std::exception&) {
    Timer1->SetEnabled(false);
    program.Box("Error.", "Error", ui::Buttons::Ok, ui::Icon::Error);
  }
}

bool TFormR::RefuseProtected(const std::string& path) {
  auto& m = program.machine;
  const std::string reason =
      engine::FileProtection(m.Files(), engine::ReadProtectedPlaces(m), path);
  if (reason.empty()) return false;
  program.Box("Cannot delete file " + path + ": it is " + reason + ".", "Error", ui::Buttons::Ok,
              ui::Icon::Error);
  return true;
}

void TFormR::xpButton2Click() {
  Command(true, [this] {
    if (!Ask("Do you want to delete selected items?")) return;
    undo::Backup backup(*program.journal, "Delete files");
    WalkTicked([this, &backup](const std::string& path) { return DeleteKept(path, backup, true); });
    backup.Finish();
    undo::TellNotBackedUp(program, backup);
  });
}

void TFormR::DeleteTickedOrSelected(const std::string& question) {
  Command(true, [this, &question] {
    if (!Ask(question)) return;
    undo::Backup backup(*program.journal, "Delete files");
    auto remove = [this, &backup](const std::string& path) { return DeleteKept(path, backup, false); };
    if (!WalkTicked(remove)) OnSelectedRow(remove);
    backup.Finish();
    undo::TellNotBackedUp(program, backup);
  });
}

void TFormR::Deleteprocess1Click() { DeleteTickedOrSelected("Do you want to delete selected proceses?"); }

void TFormR::MenuItem2Click() { DeleteTickedOrSelected("Do you want to delete selected files?"); }

void TFormR::Terminateprocess1Click() {
  Command(false, [this] {
    auto end = [this](const std::string& path) {
      engine::TerminateProgramsOf(program.machine, path);
      return true;
    };
    if (!WalkTicked(end)) OnSelectedRow(end);
  });
}

void TFormR::MenuItem1Click() {
  Command(false, [this] {
    undo::Backup backup(*program.journal, "Delete values");
    auto remove = [this, &backup](const std::string& path) {
      engine::RemoveStartupValuesFor(program.machine, program.programFolder, path, backup);
      return true;
    };
    if (!WalkTicked(remove)) OnSelectedRow(remove);
    backup.Finish();
    undo::TellNotBackedUp(program, backup);
  });
}

void TFormR::MenuItem4Click() {
  Command(true, [this] {
    OnSelectedRow([this](const std::string& path) {
      engine::TerminateProgramsOf(program.machine, path);
      startup::StopServiceByPath(program, path);
      engine::TerminateProgramsOf(program.machine, path);
      return false;  // the list stays as it is
    });
  });
}

void TFormR::MenuItem5Click() {
  Command(true, [this] {
    OnSelectedRow([this](const std::string& path) {
      if (!Ask("Do you want to delete selected file?")) return false;
      undo::Backup backup(*program.journal, "Delete file");
      const bool gone = DeleteKept(path, backup, true, true);
      backup.Finish();
      undo::TellNotBackedUp(program, backup);
      return gone;
    });
  });
}
