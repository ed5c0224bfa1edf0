#include "startup/startup_manager.h"

#include "app/all_windows.h"
#include "platform/files.h"
#include "platform/text.h"
#include "startup/services.h"
#include "startup/startup_text.h"
#include "undo/journal_ui.h"
#include "undo/undo_journal.h"

using ui::Kind;

namespace {

constexpr const char* kRunBase = "Software\\Microsoft\\Windows\\CurrentVersion\\";
constexpr std::uint32_t kFullAccess = platform::keyaccess::kAllAccess;

bool Has(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

// The key a location tag names, below kRunBase.
std::string KeyOfTag(const std::string& tag) {
  if (tag == "HKCU" || tag == "HKLM") return "Run";
  if (tag == "HKCU_B" || tag == "HKLM_B") return "Run_Bak";
  if (tag == "HKCU_S" || tag == "HKLM_S") return "RunServices";
  return "RunServices_Bak";
}

std::string SelectedSub(const ui::ListView& list, std::size_t sub) {
  const int row = list.SelectedIndex();
  if (row < 0 || list.Items()[row].subItems.size() <= sub) return {};
  return list.Items()[row].subItems[sub];
}

}  // namespace

TfrmMain::TfrmMain(app::Program& p) : Form("TfrmMain"), program(p) {
  SetCaption("Runtime & Process Manager");
  SetBounds({0, 0, 599, 389});
  Layout();
  OnCreate = [this] { FormCreate(); };
  reloadStartupLists = [this] {
    InstallTrapMSG();
    LoadStartupPrograms();
    ScanKeyboardFilterDriver();
    ScanSystemINI("System.ini");
    ScanSystemINI("Win.ini");
  };
  // Last: it wraps the creation handler set above.
  startup::AttachServicesTab(*this);
}

void TfrmMain::Layout() {
  auto label = [&](const char* name, ui::Component* parent, const char* caption, ui::Rect r) {
    Add(Kind::Label, name, parent, caption).SetBounds(r);
  };
  auto list = [&](const char* name, ui::Component* parent, ui::Rect r,
                  std::vector<ui::ListColumn> columns, bool checks) {
    auto& lv = Add<ui::ListView>(Kind::ListView, name, parent);
    lv.SetBounds(r);
    lv.readOnly = lv.rowSelect = lv.gridLines = true;
    lv.checkBoxes = checks;
    lv.SetColumns(std::move(columns));
    // Everything is done with the mouse: keys neither move nor tick.
    lv.OnKeyDown = [](unsigned& key) { key = 0; };
    return &lv;
  };
  auto button = [&](const char* name, ui::Component* parent, const char* caption, ui::Rect r) {
    Add(Kind::OwnerButton, name, parent, caption).SetBounds(r);
  };

  PageControl = &Add<ui::PageBook>(Kind::PageControl, "PageControl");
  PageControl->SetBounds({4, 4, 591, 358});
  TabSheet1 = &Add(Kind::Page, "TabSheet1", PageControl, "&Startup Programs");
  TabSheet2 = &Add(Kind::Page, "TabSheet2", PageControl, "Services &Manager");
  TabSheet3 = &Add(Kind::Page, "TabSheet3", PageControl,
                   "&Keyboard Filter Drivers / Win.ini && System.ini (Special key)");
  for (auto* tab : {TabSheet1, TabSheet2, TabSheet3}) tab->SetBounds({4, 46, 583, 308});
  label("Label1", this, "NOTE: Some changes will not take effect until the Computer is restarted.",
        {8, 366, 583, 18});

  const std::vector<ui::ListColumn> startupColumns{{"Startup Item", 150}, {"Command", 345},
                                                   {"Location", 60}};
  label("Label11", TabSheet1, "Registry:", {6, 4, 300, 16});
  ListView1 = list("ListView1", TabSheet1, {6, 22, 571, 140}, startupColumns, true);
  label("Label12", TabSheet1, "Startup Folder:", {6, 166, 300, 16});
  ListView1_2 = list("ListView1_2", TabSheet1, {6, 184, 571, 116}, startupColumns, false);

  label("Label4", TabSheet2,
        "NOTE: Some Non-Microsoft Services may be Parts of SpyWare. To test a Service is a "
        "SpyWare or not, do the following steps:",
        {6, 2, 571, 30});
  label("Label5", TabSheet2, "1. Run Velmorix software.", {6, 32, 571, 16});
  ListView2 = list("ListView2", TabSheet2, {6, 50, 571, 180},
                   {{"Name", 130}, {"Path", 280}, {"Status", 60}, {"StartupType", 70}}, false);
  ListView2->sorted = true;
  ListView2->OnKeyDown = nullptr;  // the services list keeps its keys
  label("Label17", TabSheet2, "NOTE:", {6, 238, 40, 16});
  // The picture of the non-Microsoft marker, as the list shows it.
  Image2 = &Add(Kind::Image, "Image2", TabSheet2, "#marker");
  Image2->SetBounds({48, 236, 16, 16});
  label("Label18", TabSheet2, "= Non-Microsoft Service", {68, 238, 300, 16});
  button("cmdServiceRestart", TabSheet2, "Restart Service", {6, 266, 136, 30});
  button("cmdServiceStop", TabSheet2, "Stop Service", {150, 266, 136, 30});
  button("cmdServiceStart", TabSheet2, "Start Service", {294, 266, 136, 30});
  button("cmdServiceChangeStartupMode", TabSheet2, "Startup mode", {438, 266, 136, 30});

  label("Label2", TabSheet3,
        "NOTE: Some Keyboard Filter Drivers is Parts of Spyware. In Standard Windows OS, there "
        "is no Keyboard Filter Driver. You should remove all Keyboard Filter Drivers in your "
        "Computer!",
        {6, 102, 571, 30});
  label("Label3", TabSheet3,
        "NOTE: Some Drivers maybe Parts of SpyWare. You should disable all unknown Drivers in "
        "your Computer!",
        {6, 262, 571, 30});
  label("Label8", TabSheet3, "Keyboard Filter Driver:", {6, 4, 300, 16});
  ListView3 = list("ListView3", TabSheet3, {6, 22, 571, 76}, {{"Name", 150}, {"Path", 400}}, false);
  label("Label9", TabSheet3, "System.ini:", {6, 136, 280, 16});
  ListView4 = list("ListView4", TabSheet3, {6, 154, 280, 102}, {{"Item", 260}}, true);
  label("Label10", TabSheet3, "Win.ini:", {297, 136, 280, 16});
  ListView5 = list("ListView5", TabSheet3, {297, 154, 280, 102}, {{"Item", 260}}, true);

  // Index 0 is the generic icon; 3 and 6 are the service pictures.
  ImageList1 = &Add<ui::ImageList>(Kind::ImageList, "ImageList1");
  for (const char* icon : {"#application", "#application", "#application", "#service",
                           "#application", "#application", "#marker"})
    ImageList1->Add(icon);
  ListView1->smallImages = ListView1_2->smallImages = ListView2->smallImages = ImageList1;

  PopupMenu1 = &Add<ui::PopupMenu>(Kind::PopupMenu, "PopupMenu1");
  Add<ui::CheckBox>(Kind::MenuItem, "mnuInf", PopupMenu1, "&Detail Information");
  Add<ui::CheckBox>(Kind::MenuItem, "N1", PopupMenu1, "-");
  Add<ui::CheckBox>(Kind::MenuItem, "mnuDel", PopupMenu1, "&Remove from Startup List");
  PopupMenu2 = &Add<ui::PopupMenu>(Kind::PopupMenu, "PopupMenu2");
  Add<ui::CheckBox>(Kind::MenuItem, "mnuAutomatic", PopupMenu2, "&Automatic");
  Add<ui::CheckBox>(Kind::MenuItem, "mnuManual", PopupMenu2, "&Manual");
  Add<ui::CheckBox>(Kind::MenuItem, "mnuDisabled", PopupMenu2, "&Disabled");
  ListView1->popupMenu = ListView1_2->popupMenu = ListView3->popupMenu = PopupMenu1;
  ListView2->popupMenu = PopupMenu2;

  PopupMenu1->OnPopup = [this] { PopupMenu1Popup(); };
  Find("mnuInf")->OnClick = [this] { mnuInfClick(); };
  Find("mnuDel")->OnClick = [this] { mnuDelClick(); };
  ListView1->OnMouseUp = [this](int row) { ListView1MouseUp(row); };
  ListView4->OnMouseUp = [this](int row) { ListView4MouseUp(row); };
  ListView5->OnMouseUp = [this](int row) { ListView5MouseUp(row); };
}

void TfrmMain::FormCreate() {
  ListView2->Clear();
  if (program.form1) program.form1->ListView2->Clear();
  InstallTrapMSG();
  LoadStartupPrograms();
  ScanKeyboardFilterDriver();
  ScanSystemINI("System.ini");
  ScanSystemINI("Win.ini");
}

void TfrmMain::InstallTrapMSG() {
  OnWindowMessage = [this](unsigned message) { return TrapMSG(message); };
}

bool TfrmMain::TrapMSG(unsigned message) {
  if (message != kQuitMessage) return false;
  program.app.Terminate(0);
  return true;
}

void TfrmMain::ShowPlaceholder(ui::ListView& list, const char* text) {
  list.checkBoxes = false;
  list.AddItem(text);
}

int TfrmMain::IconOf(const std::string& file) {
  if (file.empty() || !program.machine.Sh().HasIcon(file)) return 0;
  // One image per file, however often the lists are refilled.
  const auto& sources = ImageList1->Sources();
  for (std::size_t i = 0; i < sources.size(); ++i)
    if (platform::SameText(sources[i], file)) return static_cast<int>(i);
  return ImageList1->Add(file);
}

void TfrmMain::LoadStartupPrograms() {
  ListView1->checkBoxes = true;
  ListView1->Clear();
  for (const char* tag : {"HKCU", "HKCU_B", "HKCU_S", "HKCU_S_B", "HKLM", "HKLM_B", "HKLM_S", "HKLM_S_B"})
    LoadFromReg(tag);
  if (ListView1->Items().empty()) ShowPlaceholder(*ListView1, kNoStartupProgram);
  ListView1_2->Clear();
  LoadFromDir("CU");
  LoadFromDir("LM");
  if (ListView1_2->Items().empty()) ShowPlaceholder(*ListView1_2, kNoStartupProgram);
}

void TfrmMain::LoadFromReg(const std::string& tag) {
  const auto root = Has(tag, "HKCU") ? platform::Hive::CurrentUser : platform::Hive::LocalMachine;
  auto key = program.machine.Reg().Open(root, kRunBase + KeyOfTag(tag), kFullAccess);
  if (!key) return;
  const bool active = !Has(tag, "_B");
  for (const auto& name : key->ValueNames()) {
    auto data = key->ReadString(name);
    if (!data) continue;
    const std::string exe = startup::ExecutablePathOfCommand(*data);
    ui::ListItem row{name, {*data, tag, exe}, active, false, IconOf(exe), active ? 1 : 0};
    ListView1->AddItem(std::move(row));
  }
}

void TfrmMain::LoadFromDir(const std::string& which) {
  auto& m = program.machine;
  const bool user = which == "CU";
  auto key = m.Reg().Open(user ? platform::Hive::CurrentUser : platform::Hive::LocalMachine,
                          std::string(kRunBase) + "Explorer\\Shell Folders", kFullAccess);
  if (!key) return;
  const std::string folder = key->ReadString(user ? "Startup" : "Common Startup").value_or("");
  if (folder.empty()) return;
  platform::FindData d;
  auto find = m.Files().FindFirst(folder + "\\*", d);
  if (!find) return;
  do {
    if (d.name == "." || d.name == "..") continue;
    const std::string own = folder + "\\" + d.name;
    std::string target = platform::Trim(m.Sh().ShortcutTarget(own).value_or(""));
    if (target.empty()) target = own;
    ListView1_2->AddItem({d.name, {target, which, own}, false, false, IconOf(target), 0});
  } while (find->Next(d));
}

bool TfrmMain::ChangeReg(int row, bool remove) {
  if (row < 0 || row >= static_cast<int>(ListView1->Items().size())) return false;
  const ui::ListItem item = ListView1->Items()[row];
  if (item.subItems.size() < 2) return false;
  const std::string& tag = item.subItems[1];
  const bool user = tag == "HKCU" || tag == "HKCU_B" || tag == "HKCU_S" || tag == "HKCU_S_B";
  const auto root = user ? platform::Hive::CurrentUser : platform::Hive::LocalMachine;
  const std::string activeKey = std::string(kRunBase) + (Has(tag, "_S") ? "RunServices" : "Run");
  const std::string bakKey = activeKey + "_Bak";
  const std::string& target = item.checked ? activeKey : bakKey;
  const std::string& source = item.checked ? bakKey : activeKey;

  auto& reg = program.machine.Reg();
  auto key = reg.Create(root, target, kFullAccess);
  if (!key) return false;
  // Both places are kept before either changes; what cannot be kept stays.
  undo::Backup backup(*program.journal, remove            ? "Remove from start-up list"
                                        : item.checked ? "Switch start-up entry on"
                                                       : "Switch start-up entry off");
  const std::string command = item.subItems[0] + '\0';
  const auto keptTarget =
      remove ? backup.KeepValue(root, target, item.caption)
             : backup.KeepValueChange(root, target, item.caption, platform::ValueType::String, command);
  const auto keptSource = keptTarget ? backup.KeepValue(root, source, item.caption) : undo::Kept{};
  if (!keptTarget || !keptSource) {
    backup.NotDone(keptTarget);
    backup.Finish();
    undo::TellNotBackedUp(program, backup);
    return false;
  }
  const platform::Status done =
      remove ? key->DeleteValue(item.caption) : key->WriteString(item.caption, item.subItems[0]);
  key.reset();
  if (done != platform::kOk) backup.NotDone(keptTarget);
  // A value that could not be written to its new place stays where it was.
  if (!remove && done != platform::kOk) return false;
  auto from = reg.Open(root, source, kFullAccess);
  if (!from || from->DeleteValue(item.caption) != platform::kOk) backup.NotDone(keptSource);
  if (remove) ListView1->RemoveItem(static_cast<std::size_t>(row));
  return true;
}

void TfrmMain::ListView1MouseUp(int row) {
  const auto& items = ListView1->Items();
  if (items.empty() || items[0].subItems.empty() || row < 0 ||
      row >= static_cast<int>(items.size()))
    return;
  const bool checked = items[row].checked;
  const bool enabled = items[row].data != 0;
  if (checked == enabled) return;
  ListView1->SetSelected(static_cast<std::size_t>(row), true);
  // A change the registry refused (a machine-wide key for a normal user, a
  // full registry) puts the box back: the row keeps showing the truth.
  if (ChangeReg(row, false))
    ListView1->SetItemData(static_cast<std::size_t>(row), checked ? 1 : 0);
  else
    ListView1->SetChecked(static_cast<std::size_t>(row), enabled);
}

bool TfrmMain::AskUndoable(const std::string& text) {
  ui::MessageBoxSpec spec{text, "This action can not be undone!", ui::Buttons::YesNo,
                          ui::Icon::Question, true, true};
  spec.secondButtonDefault = true;
  return program.app.MessageBox(spec) == ui::kIdYes;
}

void TfrmMain::mnuDelClick() {
  // The question lets window messages run, and a refresh meanwhile may
  // rebuild the list: the row is found again by what it showed.
  auto rowLike = [](const ui::ListView& list, const ui::ListItem& was) {
    const auto& items = list.Items();
    for (std::size_t i = 0; i < items.size(); ++i)
      if (items[i].caption == was.caption && items[i].subItems == was.subItems) return int(i);
    return -1;
  };
  if (ListView1->Focused() && ListView1->SelectedIndex() >= 0) {
    const ui::ListItem was = ListView1->Items()[ListView1->SelectedIndex()];
    if (was.subItems.empty()) return;
    if (!AskUndoable("Remove [" + was.caption + "] from this list?")) return;
    if (const int row = rowLike(*ListView1, was); row >= 0) ChangeReg(row, true);
  } else if (ListView1_2->Focused()) {
    const int selected = ListView1_2->SelectedIndex();
    if (selected < 0 || ListView1_2->Items()[selected].subItems.size() < 3) return;
    const ui::ListItem was = ListView1_2->Items()[selected];
    if (!AskUndoable("Remove [" + was.caption + "] from this list?")) return;
    if (rowLike(*ListView1_2, was) < 0) return;
    const std::string& entry = was.subItems[2];
    undo::Backup backup(*program.journal, "Remove from start-up list");
    const auto kept = backup.KeepFile(entry);
    if (!kept) {
      backup.Finish();
      undo::TellNotBackedUp(program, backup);
    } else if (program.machine.Files().DeleteFile(entry) == platform::kOk) {
      // The copy lets messages run too.
      if (const int row = rowLike(*ListView1_2, was); row >= 0)
        ListView1_2->RemoveItem(static_cast<std::size_t>(row));
    } else {
      backup.NotDone(kept);
    }
  } else if (ListView3->Focused()) {
    DelKBf();
  }
}

void TfrmMain::mnuInfClick() {
  std::string file;
  switch (PageControl->ActivePage()) {
    case 0:
      file = ListView1->Focused() ? SelectedSub(*ListView1, 2) : SelectedSub(*ListView1_2, 0);
      break;
    case 2: file = SelectedSub(*ListView3, 0); break;
    default: return;
  }
  if (!file.empty()) program.machine.Sh().ShowProperties(file);
}

void TfrmMain::PopupMenu1Popup() {
  bool on = false;
  switch (PageControl->ActivePage()) {
    case 0:
      on = ListView1->Focused() ? ListView1->SelectedIndex() >= 0 : ListView1_2->SelectedIndex() >= 0;
      break;
    case 2: {
      const int row = ListView3->SelectedIndex();
      on = row >= 0 && !ListView3->Items()[row].subItems.empty();
      break;
    }
    default: return;
  }
  Find("mnuInf")->SetEnabled(on);
  Find("mnuDel")->SetEnabled(on);
}

void TfrmMain::ScanSystemINI(const std::string& name) {
  auto& fs = program.machine.Files();
  const std::string windows = fs.WindowsDirectory();
  if (windows.empty()) {
    program.app.MessageBox({"Error get Windows Dir!", "Scan INI files...", ui::Buttons::Ok,
                            ui::Icon::Warning, true, true});
    return;
  }
  ui::ListView& list = name == "System.ini" ? *ListView4 : *ListView5;
  list.checkBoxes = true;
  list.Clear();
  // A missing or unreadable file lists nothing, as an empty one does.
  std::string text;
  platform::ReadWholeFile(fs, windows + "\\" + name, text, startup::kMaxIniBytes);
  for (const auto& line : startup::SplitLines(text)) {
    const std::string shown = startup::NormalizeIniLine(line);
    bool active = false;
    if (startup::IsLoaderLine(shown, &active)) list.AddItem({shown, {}, active, false, -1, 0});
  }
  if (list.Items().empty()) ShowPlaceholder(list, kNoDriver);
}

bool TfrmMain::ChangeLine(const std::string& file, const std::string& oldLine,
                          const std::string& newLine) {
  auto& fs = program.machine.Files();
  const std::string windows = fs.WindowsDirectory();
  if (windows.empty()) {
    program.app.MessageBox({"Error get Windows Dir!", "Scan INI files...", ui::Buttons::Ok,
                            ui::Icon::Warning, true, true});
    return false;
  }
  const std::string path = windows + "\\" + file;
  std::string text;
  // Only a file read whole is rewritten: one that fails to read midway or is
  // far larger than any INI file is left alone rather than cut short.
  platform::Status s = platform::ReadWholeFile(fs, path, text, startup::kMaxIniBytes);
  if (s == platform::kOk) {
    const std::string rewritten = startup::RewriteIniLines(text, oldLine, newLine);
    undo::Backup backup(*program.journal, "Change " + file + " line");
    const auto kept = backup.KeepIniChange(path, text, rewritten);
    if (!kept) {
      backup.Finish();
      undo::TellNotBackedUp(program, backup);
      return false;
    }
    // The new file is written completely before it replaces the old one, so
    // a full disk or a refused write never costs the user the file.
    s = platform::WriteFileReplacing(fs, path, rewritten);
    if (s != platform::kOk) backup.NotDone(kept);
  }
  if (s == platform::kOk) return true;
  program.app.MessageBox({"Cannot change \"" + path + "\" (error " + std::to_string(s) +
                              "). The file was left as it was.",
                          app::kAppTitle, ui::Buttons::Ok, ui::Icon::Error, true, true});
  return false;
}

void TfrmMain::ListIniMouseUp(ui::ListView& list, const std::string& file, int row) {
  // The placeholder row has no check box to change.
  if (row < 0 || row >= static_cast<int>(list.Items().size()) || !list.checkBoxes) return;
  const ui::ListItem item = list.Items()[row];
  const bool commented = !item.caption.empty() && item.caption[0] == ';';
  if (item.checked && commented) {
    list.SetSelected(static_cast<std::size_t>(row), true);
    ChangeLine(file, item.caption, item.caption.substr(1));
  } else if (!item.checked && !commented) {
    list.SetSelected(static_cast<std::size_t>(row), true);
    ChangeLine(file, item.caption, ";" + item.caption);
  } else {
    return;
  }
  ScanSystemINI(file);
  list.SetFocus();
}

void TfrmMain::ListView4MouseUp(int row) { ListIniMouseUp(*ListView4, "System.ini", row); }
void TfrmMain::ListView5MouseUp(int row) { ListIniMouseUp(*ListView5, "Win.ini", row); }
