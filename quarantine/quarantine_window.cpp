#include "quarantine/quarantine_window.h"

#include "platform/text.h"

using ui::Kind;

TForm9::TForm9(app::Program& p)
    : Form("TForm9"), program(p), store(p.machine.Files(), p.dataFolder) {
  SetCaption("Quarantine Manager");
  SetBounds({0, 0, 620, 400});
  List1 = &Add<ui::ListView>(Kind::ListView, "List1", this);
  List1->SetBounds({8, 8, 604, 310});
  List1->checkBoxes = true;
  List1->rowSelect = true;
  List1->SetColumns({{"Filename", 284}, {"Task", 136}, {"Added", 176}});
  struct {
    ui::Component** field;
    const char* name;
    const char* caption;
    int width;
  } buttons[] = {{&xpButton1, "xpButton1", "Close", 74},
                 {&xpButton2, "xpButton2", "Restore selected tasks", 146},
                 {&xpButton3, "xpButton3", "Add Task", 84},
                 {&xpButton4, "xpButton4", "Remove Task", 96},
                 {&xpButton5, "xpButton5", "Clear Quarantine", 116},
                 {&xpButton6, "xpButton6", "Refresh", 64}};
  int x = 8;
  for (auto& b : buttons) {
    *b.field = &Add(Kind::OwnerButton, b.name, this, b.caption);
    (*b.field)->SetBounds({x, 328, b.width, 30});
    x += b.width + 4;
  }
  Bar1 = &Add<ui::StatusBar>(Kind::StatusBar, "Bar1", this);
  Bar1->SetBounds({0, 378, 620, 22});
  Bar1->SetPanels({{"", 620}});

  store.pump = [this] { program.app.ProcessMessages(); };
  OnShow = [this] { Refresh(); };
  xpButton1->OnClick = [this] { Close(); };
  xpButton2->OnClick = [this] { xpButton2Click(); };
  xpButton3->OnClick = [this] { xpButton3Click(); };
  xpButton4->OnClick = [this] { xpButton4Click(); };
  xpButton5->OnClick = [this] { xpButton5Click(); };
  xpButton6->OnClick = [this] { Refresh(); };
  AttachBackupList();
}

bool TForm9::Ask(int entry) {
  return program.Box(program.msg[entry], program.msg[28], ui::Buttons::YesNo,
                     ui::Icon::Question) == ui::kIdYes;
}

void TForm9::Inform(int entry) {
  program.Box(program.msg[entry], program.msg[23], ui::Buttons::Ok, ui::Icon::Information);
}

void TForm9::ShowError(const std::string& text) {
  program.Box(text, program.app.title, ui::Buttons::Ok, ui::Icon::Error);
}

// The plain message dialog: the program's title, no icon.
void TForm9::ShowMessage(int entry) {
  program.Box(program.msg[entry], program.app.title, ui::Buttons::Ok, ui::Icon::None);
}

void TForm9::WorkOnChecked(int busy, int status, int done, int failed,
                           const std::function<bool(const std::string&)>& op) {
  std::vector<std::string> chosen;
  for (std::size_t row = 0; row < List1->Items().size() && row < rowStored_.size(); ++row)
    if (List1->Items()[row].checked) chosen.push_back(rowStored_[row]);
  auto show = [this](const std::string& stored, int entry) {
    for (std::size_t row = 0; row < rowStored_.size() && row < List1->Items().size(); ++row) {
      if (!platform::SameText(rowStored_[row], stored)) continue;
      auto rows = List1->Items();
      rows[row].caption = program.msg[entry];
      List1->SetItems(std::move(rows));
      return;
    }
  };
  for (const auto& stored : chosen) {
    const TQFileList* entry = store.FindStored(stored);
    if (!entry) continue;  // gone meanwhile: nothing of it is left to act on
    const std::string source = entry->SourcePath;
    show(stored, busy);
    Bar1->SetPanelText(0, program.msg[status] + source);
    show(stored, op(source) ? done : failed);
  }
}

void TForm9::Refresh() {
  List1->Clear();
  rowStored_.clear();
  store.Reload();
  std::vector<ui::ListItem> rows;
  for (const auto& e : store.Entries()) {
    rows.push_back({e.SourcePath, {e.Task, e.Added}, true, false});
    rowStored_.push_back(store.StoredCopyOf(e));
  }
  List1->SetItems(std::move(rows));
}

void TForm9::xpButton2Click() {
  if (!Ask(152)) return;
  WorkOnChecked(153, 154, 155, 156, [this](const std::string& source) {
    return store.Restore(source, platform::ExtractFilePath(source));
  });
  Inform(157);
}

void TForm9::xpButton3Click() {
  auto path = program.app.GetHost().OpenFileDialog(kOpen1Title, "All files (*.*)|*.*");
  if (!path || !platform::FileExists(program.machine.Files(), *path)) return;
  if (store.Contains(*path)) {
    ShowMessage(168);
    return;
  }
  if (store.Add(*path, "Unknown", "")) {
    ShowMessage(166);
    Refresh();
  } else {
    ShowMessage(167);
  }
}

void TForm9::xpButton4Click() {
  if (!Ask(160)) return;
  bool removed = false;
  WorkOnChecked(161, 162, 163, 164, [this, &removed](const std::string& source) {
    const bool ok = store.Remove(source);
    removed = removed || ok;
    return ok;
  });
  // Only a changed list is written: an index that could not be read stays.
  if (removed && !store.WriteIndex()) {
    ShowError("The quarantine list " + store.IndexPath() +
              " could not be saved: the removed tasks will be listed again.");
    return;
  }
  Inform(165);
}

void TForm9::xpButton5Click() {
  if (!Ask(158)) return;
  if (!store.Clear()) {
    ShowError("Cannot clear quarantine: " + store.LastError() + ".");
    Refresh();
    return;
  }
  List1->Clear();
  rowStored_.clear();
  ShowMessage(159);
}
