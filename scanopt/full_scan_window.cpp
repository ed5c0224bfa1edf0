#include "scanopt/full_scan_window.h"

#include "app/all_windows.h"
#include "app/scan_ui.h"
#include "engine/full_scan.h"

using ui::Kind;

TForm3::TForm3(app::Program& p) : Form("TForm3"), program(p) {
  SetCaption("Full scan process!");
  SetBounds({0, 0, 480, 330});
  // Label1 and the buttons first: language files address them in this order.
  Label1 = &Add(Kind::Label, "Label1", this, "Scan drives c:\\;");
  Label1->SetBounds({12, 238, 450, 18});
  auto& group = Add(Kind::GroupBox, "GroupBox1", this, "Please select drives for full scan:");
  group.SetBounds({12, 100, 450, 130});
  Add(Kind::OwnerButton, "xpButton2", &group, "Refresh").SetBounds({328, 22, 100, 28});
  Add(Kind::OwnerButton, "xpButton1", this, "Scan").SetBounds({120, 264, 100, 28});
  Add(Kind::OwnerButton, "xpButton3", this, "Abort").SetBounds({228, 264, 100, 28});
  Memo1 = &Add<ui::Memo>(Kind::Memo, "Memo1", this);
  Memo1->SetBounds({12, 12, 450, 80});
  cList1 = &Add<ui::ListBox>(Kind::CheckListBox, "cList1", &group);
  cList1->SetBounds({12, 22, 300, 96});
  Timer1 = &Add<ui::Timer>(Kind::Timer, "Timer1");
  Timer1->SetEnabled(false);

  Find("xpButton1")->OnClick = [this] { xpButton1Click(); };
  Find("xpButton2")->OnClick = [this] { Refresh(); };
  Find("xpButton3")->OnClick = [this] { xpButton3Click(); };
  cList1->OnClickCheck = [this] { cList1ClickCheck(); };
  Timer1->OnTimer = [this] { Timer1Timer(); };
  OnShow = [this] { FormShow(); };
  OnClose = [this] { FormClose(); };
}

void TForm3::ShowDriveList() { Label1->SetCaption(program.msg[146] + driveList); }

void TForm3::Refresh() {
  auto& fs = program.machine.Files();
  driveList.clear();
  std::vector<std::string> roots;
  for (const auto& root : fs.LogicalDrives())
    if (fs.DriveType(root) == platform::FileSystem::kDriveFixed) roots.push_back(root);
  for (const auto& r : roots) driveList += r + ";";
  ShowDriveList();
  auto handler = std::move(cList1->OnClickCheck);  // filling is not the user's click
  cList1->Clear();
  for (std::size_t i = 0; i < roots.size(); ++i) {
    cList1->Add(roots[i]);
    cList1->SetChecked(i, true);
  }
  cList1->OnClickCheck = std::move(handler);
}

void TForm3::cList1ClickCheck() {
  driveList.clear();
  for (std::size_t i = 0; i < cList1->Items().size(); ++i)
    if (cList1->Checked(i)) driveList += cList1->Items()[i] + ";";
  ShowDriveList();
}

void TForm3::FormShow() {
  declined = fixChosen = false;
  program.form1->SetEnabled(false);
  Refresh();
  Memo1->SetLines({program.msg[147]});
}

void TForm3::xpButton1Click() {
  Timer1->SetEnabled(true);
  Close();
}

void TForm3::xpButton3Click() {
  declined = true;
  Timer1->SetEnabled(false);
  Close();
}

void TForm3::FormClose() {
  program.form1->SetEnabled(true);
  if (declined && !fixChosen) AbortDialog();
  else if (!declined && !Timer1->Enabled()) {
    // Closed with the close box: no scan follows, so give the main window
    // its buttons back instead of leaving it in the scanning state.
    app::RestoreAfterScan(program);
    program.form1->Find("Button2")->SetEnabled(true);
  }
  program.form1->SetEnabled(true);
}

void TForm3::Timer1Timer() {
  Timer1->SetEnabled(false);
  if (declined) return;
  program.form1->abortRequest = false;
  FullScan();
}

void TForm3::AbortDialog() {
  auto& f = *program.form1;
  const auto& msg = program.msg;
  f.SetEnabled(false);
  const int answer = program.Box(msg[142] + "\r\r" + msg[136] + "\r" + msg[143], msg[144],
                                 ui::Buttons::YesNo, ui::Icon::Information);
  if (answer != ui::kIdYes) {
    declined = false;
    f.abortRequest = false;
    Timer1->SetEnabled(true);
    f.SetEnabled(true);
    return;
  }
  if (f.scan.findingCount > 0 &&
      program.Box(msg[145], msg[28], ui::Buttons::YesNo, ui::Icon::Question) == ui::kIdYes) {
    f.SetEnabled(true);
    f.abortRequest = false;
    fixChosen = true;
    Close();
    if (!f.List1->Items().empty()) f.List1->Delete(0);
    program.EndJob(app::Job::Scan);  // the scan hands over to Fix
    if (f.startFix) f.startFix();
    return;
  }
  f.SetEnabled(true);
  app::RestoreAfterScan(program);
  f.Find("Button2")->SetEnabled(true);
}

void TForm3::FullScan() {
  // The quick scan that handed over still holds the scan job.
  if (program.RunningJob() != app::Job::Scan && !program.BeginJob(app::Job::Scan)) return;
  auto& f = *program.form1;
  const auto& msg = program.msg;
  app::WindowScanHost host(program);
  f.Memo2->Add(f.scan.Now() + msg[7]);
  f.Find("Button3")->SetEnabled(true);
  f.Find("Button1")->SetEnabled(false);
  f.Find("Button2")->SetEnabled(false);
  f.Find("Button6")->SetVisible(false);
  program.app.ProcessMessages();

  engine::FullScanWalk(program.machine, f.scan, host).WalkDrives(driveList);

  const std::string time = f.scan.Now();
  const std::string count = std::to_string(f.scan.findingCount);
  if (f.abortRequest) f.Memo2->Add(time + ": " + msg[99]);
  f.Find("Button2")->SetEnabled(true);
  f.Memo2->Add(time + ": " + count + msg[17]);
  f.Memo2->Add(msg[18]);
  if (!f.abortRequest) {
    f.SetEnabled(false);
    program.Box(msg[19] + count + msg[98], msg[21], ui::Buttons::Ok, ui::Icon::Information);
    f.SetEnabled(true);
  }
  app::RestoreAfterScan(program);
}
