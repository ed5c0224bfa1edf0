#include "ignore/ignore_window.h"

#include "app/all_windows.h"
#include "ignore/ignore_offer.h"

using ui::Kind;

namespace {

// Removes the checked rows one by one, each with the entry at its position,
// so rows and entries stay aligned.
template <class Entry>
void DeleteChecked(ui::ListBox& rows, std::vector<Entry>& entries) {
  for (;;) {
    std::size_t i = 0;
    while (i < rows.Items().size() && !rows.Checked(i)) ++i;
    if (i == rows.Items().size()) return;
    if (i < entries.size()) entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(i));
    std::vector<std::string> items = rows.Items();
    std::vector<bool> checks;
    for (std::size_t k = 0; k < items.size(); ++k) checks.push_back(rows.Checked(k));
    items.erase(items.begin() + static_cast<std::ptrdiff_t>(i));
    checks.erase(checks.begin() + static_cast<std::ptrdiff_t>(i));
    rows.Clear();
    for (std::size_t k = 0; k < items.size(); ++k) {
      rows.Add(items[k]);
      rows.SetChecked(k, checks[k]);
    }
  }
}

void CheckAll(ui::ListBox& rows, bool on) {
  for (std::size_t i = 0; i < rows.Items().size(); ++i) rows.SetChecked(i, on);
}

}  // namespace

TFormIG::TFormIG(app::Program& p) : Form("TFormIG"), program(p) {
  SetCaption("Ignore list (Built 20.03.2006)");
  SetBounds({0, 0, 520, 420});
  centered = true;

  auto& menu = Add(Kind::MainMenu, "MainMenu1");
  auto& files = Add(Kind::MenuItem, "Files1", &menu, "Files");
  auto& registry = Add(Kind::MenuItem, "Registry1", &menu, "Registry");
  auto& close = Add(Kind::MenuItem, "Close1", &menu, "Close");

  Add(Kind::Label, "Label1", this, "  File list:").SetBounds({0, 0, 512, 16});
  List1 = &Add<ui::ListBox>(Kind::CheckListBox, "List1", this);
  List1->SetBounds({0, 16, 512, 170});
  Add(Kind::Panel, "Splitter1", this).SetBounds({0, 186, 512, 4});
  auto& label2 = Add(Kind::Label, "Label2", this, "  Registry list:");
  label2.SetBounds({0, 190, 512, 16});
  label2.SetEnabled(false);
  List2 = &Add<ui::ListBox>(Kind::CheckListBox, "List2", this);
  List2->SetBounds({0, 206, 512, 170});
  List2->SetEnabled(false);
  List2->SetShowHint(true);

  auto& popup1 = Add<ui::PopupMenu>(Kind::PopupMenu, "PopupMenu1");
  auto& popup2 = Add<ui::PopupMenu>(Kind::PopupMenu, "PopupMenu2");
  List1->popupMenu = &popup1;
  List2->popupMenu = &popup2;

  // The same four commands on the main menu and on each list's pop-up menu.
  struct Item {
    const char* name;
    const char* caption;
    std::function<void()> run;
  };
  const std::vector<Item> fileItems = {
      {"DeleteFiles", "Delete file-s from ignore list", [this] { DeleteFiles1Click(); }},
      {"ClearFiles", "Clear file ignore list", [this] { ClearFiles1Click(); }},
      {"CheckAllFiles", "Check All", [this] { CheckAll(*List1, true); }},
      {"UnCheckAllFiles", "UnCheck All", [this] { CheckAll(*List1, false); }},
      {"AddFolder", "Add folder to ignore list", [this] { AddFolder1Click(); }}};
  const std::vector<Item> regItems = {
      {"DeleteRegistry", "Delete registry values from ignore list",
       [this] { DeleteRegistry1Click(); }},
      {"ClearRegistry", "Clear registry ignore list", [this] { ClearRegistry1Click(); }},
      {"CheckAllRegistry", "Check All", [this] { CheckAll(*List2, true); }},
      {"UnCheckAllRegistry", "UnCheck All", [this] { CheckAll(*List2, false); }}};
  auto add = [this](ui::Component& parent, const std::vector<Item>& items, const char* suffix,
                    std::size_t count) {
    for (std::size_t i = 0; i < count; ++i)
      Add(Kind::MenuItem, std::string(items[i].name) + suffix, &parent, items[i].caption).OnClick =
          items[i].run;
  };
  add(files, fileItems, "1", fileItems.size());
  add(registry, regItems, "1", regItems.size());
  add(popup1, fileItems, "2", 4);
  add(popup2, regItems, "2", 4);
  close.OnClick = [this] { Close(); };

  List2->OnClick = [this] { List2Click(); };
  OnShow = [this] {
    LoadLists();
    RebuildRows();
    if (!fileListLoaded_) OfferRepair(true);
    if (!regListLoaded_) OfferRepair(false);
  };
  OnClose = [this] { SaveLists(); };
  LoadLists();
  if (!program.form1) return;
  ignore::OfferIgnoreList(*this, *program.form1);
  // The scans leave the folders of the file list alone.
  program.form1->scan.isIgnored = [this](const std::string& path) {
      return ignore::IsIgnoredPath(fileList, path);
    };
}

std::string TFormIG::Path(const char* name) const { return program.programFolder + name; }

void TFormIG::LoadLists() {
  auto& fs = program.machine.Files();
  fileListLoaded_ = ignore::LoadFileIgnoreList(fs, Path(ignore::kFileListName), fileList);
  regListLoaded_ = ignore::LoadRegIgnoreList(fs, Path(ignore::kRegListName), regList);
}

void TFormIG::SaveLists() {
  // A list that cannot be written keeps its previous file; nothing is said.
  auto& fs = program.machine.Files();
  if (fileListLoaded_) ignore::SaveFileIgnoreList(fs, Path(ignore::kFileListName), fileList);
  if (regListLoaded_) ignore::SaveRegIgnoreList(fs, Path(ignore::kRegListName), regList);
}

void TFormIG::RebuildRows() {
  List1->Clear();
  for (const auto& e : fileList) List1->Add(e.IgnoredPath);
  List2->Clear();
  for (const auto& e : regList) List2->Add(ignore::RegRowText(e));
}

void TFormIG::DeleteFiles1Click() {
  if (program.Box("Do you wan't to delete checked files from ignore list?", "Question",
                  ui::Buttons::YesNo, ui::Icon::Question) != ui::kIdYes)
    return;
  DeleteChecked(*List1, fileList);
  program.Box("Checked files sucessfully deleted from ignore list!", "Information", ui::Buttons::Ok,
              ui::Icon::Information);
}

void TFormIG::ClearFiles1Click() {
  List1->Clear();
  fileList.clear();
}

void TFormIG::AddFolder1Click() {
  if (auto folder = program.app.GetHost().BrowseForFolder("", "C:\\")) AddFolder(*folder);
}

void TFormIG::AddFolder(const std::string& folder) {
  ignore::TFileIgnoreList e;
  e.Kind = "Folder";
  e.IgnoredPath = folder + ";";
  e.Flag2 = true;
  fileList.push_back(std::move(e));
  RebuildRows();
  if (!fileListLoaded_) OfferRepair(true);
}

void TFormIG::OfferRepair(bool files) {
  const char* name = files ? ignore::kFileListName : ignore::kRegListName;
  const std::string path = Path(name);
  const std::size_t count = files ? fileList.size() : regList.size();
  const std::string text = std::string("The ") + (files ? "file" : "registry") +
                           " ignore list \"" + path +
                           "\" could not be read whole, so changes to it are not saved.\r\r"
                           "Keep the damaged file as \"" + name +
                           ".damaged\" and save the list as it could be read (" +
                           std::to_string(count) + (count == 1 ? " entry" : " entries") + ")?";
  if (program.Box(text, "Question", ui::Buttons::YesNo, ui::Icon::Question) != ui::kIdYes) return;
  auto& fs = program.machine.Files();
  const std::string kept = ignore::KeepDamagedFile(fs, path);
  if (kept.empty()) {
    program.Box("The file \"" + path + "\" could not be renamed: the list is not saved.", "Error",
                ui::Buttons::Ok, ui::Icon::Error);
    return;
  }
  // The damaged file is safe now: from here on the list is saved as usual.
  (files ? fileListLoaded_ : regListLoaded_) = true;
  const platform::Status saved = files ? ignore::SaveFileIgnoreList(fs, path, fileList)
                                       : ignore::SaveRegIgnoreList(fs, path, regList);
  if (saved != platform::kOk) {
    program.Box("The list could not be saved to \"" + path + "\"; the damaged file is kept as \"" +
                    kept + "\".",
                "Error", ui::Buttons::Ok, ui::Icon::Error);
    return;
  }
  program.Box("The list was saved; the damaged file is kept as \"" + kept + "\".", "Information",
              ui::Buttons::Ok, ui::Icon::Information);
}

void TFormIG::DeleteRegistry1Click() {
  if (program.Box("Do you wan't to delete checked registry values from ignore list?", "Question",
                  ui::Buttons::YesNo, ui::Icon::Question) != ui::kIdYes)
    return;
  DeleteChecked(*List2, regList);
  program.Box("Checked registry values sucessfully deleted from ignore list!", "Information",
              ui::Buttons::Ok, ui::Icon::Information);
}

void TFormIG::ClearRegistry1Click() {
  List2->Clear();
  regList.clear();
}

void TFormIG::List2Click() {
  const int i = List2->ItemIndex();
  if (i < 0 || static_cast<std::size_t>(i) >= regList.size()) return;
  List2->SetHint(ignore::RegRowHint(program.machine.Reg(), regList[static_cast<std::size_t>(i)]));
}
