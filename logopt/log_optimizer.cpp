#include "logopt/log_optimizer.h"

#include "app/main_window.h"

using ui::Kind;

TForm12::TForm12(app::Program& p) : Form("TForm12"), program(p) {
  SetCaption("Log Optimizer");
  SetBounds({0, 0, 360, 240});
  stayOnTop = true;
  sizeable = false;
  centered = true;
  GroupBox1 = &Add(Kind::GroupBox, "GroupBox1", this, "Build log about");
  GroupBox1->SetBounds({12, 8, 330, 136});
  auto check = [&](const char* name, const char* caption, int y, bool logopt::LogOptions::*flag) {
    auto& box = Add<ui::CheckBox>(Kind::OwnerCheckBox, name, GroupBox1, caption);
    box.SetBounds({14, y, 300, 22});
    box.SetChecked(options.*flag);
    box.OnChange = [this, &box, flag] { options.*flag = box.Checked(); };
    return &box;
  };
  xpCheckBox1 = check("xpCheckBox1", "Startup files.", 22, &logopt::LogOptions::startupFiles);
  xpCheckBox2 = check("xpCheckBox2", "Active Services.", 50, &logopt::LogOptions::activeServices);
  xpCheckBox3 = check("xpCheckBox3", "Active processes.", 78, &logopt::LogOptions::activeProcesses);
  xpCheckBox4 = check("xpCheckBox4", "Infected files.", 106, &logopt::LogOptions::infectedFiles);
  Add(Kind::OwnerButton, "xpButton1", this, "Build log").SetBounds({12, 156, 160, 28});
  Add(Kind::OwnerButton, "xpButton2", this, "Cancel").SetBounds({182, 156, 160, 28});
  Find("xpButton1")->OnClick = [this] { xpButton1Click(); };
  Find("xpButton2")->OnClick = [this] { Close(); };
  OnShow = [this] { FormShow(); };
}

void TForm12::FormShow() { GroupBox1->SetCaption(program.msg[179]); }

void TForm12::RestoreMainWindow() {
  auto& f = *program.form1;
  f.scan.logBuildingMode = false;
  f.Find("Button10")->SetCaption(program.msg[177]);
  f.Find("Button4")->SetEnabled(true);
  f.Find("Button7")->SetEnabled(true);
}

void TForm12::xpButton1Click() {
  auto& f = *program.form1;
  const auto& msg = program.msg;
  if (building_) {
    // The build's scan stops at the request; what follows writes nothing.
    f.abortRequest = true;
    program.Box(msg[176], msg[23], ui::Buttons::Ok, ui::Icon::Information);
    RestoreMainWindow();
    return;
  }
  // The build runs its own quick scan: never inside another job, which it
  // would pull the findings from under.
  if (program.Busy()) return;
  Hide();
  if (program.Box(msg[170], msg[28], ui::Buttons::YesNo, ui::Icon::Question) == ui::kIdYes) {
    app::JobScope job(program, app::Job::Log);
    if (!job) return;  // one started while the question was open
    f.Find("Button10")->SetCaption(msg[171]);
    f.SetEnabled(true);
    f.Find("Button4")->SetEnabled(false);
    f.Find("Button7")->SetEnabled(false);
    const std::string path = logopt::ReportFilePath(program);
    bool written = false;
    {
      struct Building {
        bool& flag;
        ~Building() { flag = false; }
      } building{building_ = true};
      written = logopt::WriteFullReport(program, options, path);
    }
    if (written) {
      program.machine.Sh().Execute("open", path, "", "", platform::kShowNormal);
    } else {
      f.SetEnabled(false);
      program.Box(msg[175], msg[2], ui::Buttons::Ok, ui::Icon::Error);
    }
  }
  f.SetEnabled(true);
  RestoreMainWindow();
}
