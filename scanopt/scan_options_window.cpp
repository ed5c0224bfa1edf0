#include "scanopt/scan_options_window.h"

#include <algorithm>

#include "app/all_windows.h"
#include "app/scan_ui.h"
#include "platform/text.h"

using ui::Kind;

Toptscan::Toptscan(app::Program& p) : Form("Toptscan"), program(p) {
  SetCaption("Scan with Options");
  SetBounds({0, 0, 420, 390});
  centered = true;

  Add(Kind::Label, "Label1", this, "Drives and folders to scan:").SetBounds({12, 8, 396, 18});
  cList1 = &Add<ui::ListBox>(Kind::CheckListBox, "cList1", this);
  cList1->SetBounds({12, 28, 280, 130});
  Add(Kind::OwnerButton, "xpButton1", this, "Add folder...").SetBounds({300, 28, 108, 28});
  Add(Kind::OwnerButton, "xpButton2", this, "Remove folder").SetBounds({300, 62, 108, 28});
  cbxIgnore = &Add<ui::CheckBox>(Kind::CheckBox, "cbxIgnore", this, "Follow the ignore list");
  cbxIgnore->SetBounds({12, 164, 280, 22});
  Label2 = &Add(Kind::Label, "Label2", this, "Files checked: 0 (0 MB)");
  Label2->SetBounds({12, 192, 396, 18});
  Label3 = &Add(Kind::Label, "Label3", this, "");
  Label3->SetBounds({12, 210, 396, 18});
  Label4 = &Add(Kind::Label, "Label4", this, "Unreadable files: 0");
  Label4->SetBounds({12, 228, 396, 18});
  Memo1 = &Add<ui::Memo>(Kind::Memo, "Memo1", this);
  Memo1->SetBounds({12, 248, 396, 60});
  Add(Kind::OwnerButton, "xpButton3", this, "Scan").SetBounds({12, 318, 100, 30});
  Add(Kind::OwnerButton, "xpButton4", this, "Abort").SetBounds({120, 318, 100, 30});
  Add(Kind::OwnerButton, "xpButton5", this, "Close").SetBounds({308, 318, 100, 30});
  Find("xpButton4")->SetEnabled(false);

  Find("xpButton1")->OnClick = [this] {
    if (auto folder = program.app.GetHost().BrowseForFolder("Scan with Options", "C:\\"))
      AddFolder(*folder);
  };
  Find("xpButton2")->OnClick = [this] { RemoveSelected(); };
  Find("xpButton3")->OnClick = [this] { StartScan(); };
  Find("xpButton4")->OnClick = [this] { AbortScan(); };
  Find("xpButton5")->OnClick = [this] { Close(); };
  OnShow = [this] { Refresh(); };
  OnClose = [this] {
    AbortScan();
    scanopt::WriteScanChoices(program.machine.Reg(), Choices());
  };
}

Toptscan::~Toptscan() = default;

void Toptscan::Refresh() {
  auto& fs = program.machine.Files();
  const auto saved = scanopt::ReadScanChoices(program.machine.Reg());
  std::vector<std::string> rows;
  for (const auto& root : fs.LogicalDrives())
    if (fs.DriveType(root) == platform::FileSystem::kDriveFixed) rows.push_back(root);
  for (const auto& f : saved.folders)
    if (std::none_of(rows.begin(), rows.end(), [&](auto& r) { return platform::SameText(r, f); }))
      rows.push_back(f);
  cList1->Clear();
  for (std::size_t i = 0; i < rows.size(); ++i) {
    cList1->Add(rows[i]);
    cList1->SetChecked(i, std::any_of(saved.folders.begin(), saved.folders.end(),
                                      [&](auto& f) { return platform::SameText(rows[i], f); }));
  }
  cbxIgnore->SetChecked(saved.followIgnoreList);
}

void Toptscan::AddFolder(const std::string& folder) {
  const auto& items = cList1->Items();
  auto at = std::find_if(items.begin(), items.end(),
                         [&](auto& r) { return platform::SameText(r, folder); });
  std::size_t i = static_cast<std::size_t>(at - items.begin());
  if (at == items.end()) cList1->Add(folder);
  cList1->SetChecked(i, true);
}

void Toptscan::RemoveSelected() {
  const int i = cList1->ItemIndex();
  if (i >= 0) cList1->Delete(static_cast<std::size_t>(i));
}

scanopt::ScanChoices Toptscan::Choices() const {
  scanopt::ScanChoices c;
  for (std::size_t i = 0; i < cList1->Items().size(); ++i)
    if (cList1->Checked(i)) c.folders.push_back(cList1->Items()[i]);
  c.followIgnoreList = cbxIgnore->Checked();
  return c;
}

void Toptscan::StartScan() {
  if (Scanning() || program.Busy()) return;
  const auto choices = Choices();
  if (choices.folders.empty()) {
    program.Box("Please check at least one drive or folder to scan.", "Information",
                ui::Buttons::Ok, ui::Icon::Information);
    return;
  }
  scanopt::WriteScanChoices(program.machine.Reg(), choices);
  Memo1->Clear();
  Find("xpButton3")->SetEnabled(false);
  Find("xpButton4")->SetEnabled(true);
  scan_ = std::make_unique<scanopt::OptionsScan>(program);
  if (!scan_->Start(choices, [this](const engine::FolderScanNews& n) { ShowNews(n); })) {
    Find("xpButton3")->SetEnabled(true);
    Find("xpButton4")->SetEnabled(false);
  }
}

void Toptscan::AbortScan() {
  if (Scanning()) scan_->Abort();
}

void Toptscan::WaitForScan() {
  if (scan_) scan_->Wait();
}

void Toptscan::ShowNews(const engine::FolderScanNews& news) {
  Label2->SetCaption("Files checked: " + std::to_string(news.files) + " (" +
                     app::MegabytesText(news.bytes) + ")");
  Label3->SetCaption(news.finished ? "" : news.folder);
  Label4->SetCaption("Unreadable files: " + std::to_string(news.unreadableCount));
  const auto& unreadable = scan_->Unreadable();
  for (std::size_t i = Memo1->Lines().size(); i < unreadable.size(); ++i) Memo1->Add(unreadable[i]);
  if (!news.finished) return;
  Find("xpButton3")->SetEnabled(true);
  Find("xpButton4")->SetEnabled(false);
  const int found = program.form1->scan.findingCount;
  Label3->SetCaption(news.aborted ? "Scan aborted." : "Scan finished: " + std::to_string(found) +
                                                          " dangerous files found.");
}
