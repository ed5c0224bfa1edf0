#include "app/program.h"

#include <chrono>
#include <thread>

#include "app/all_windows.h"
#include "app/fix_ui.h"
#include "app/language.h"
#include "app/scan_ui.h"
#include "platform/text.h"
#include "undo/undo_journal.h"
#include "update/updater.h"
#include "update/upgrade_window.h"

namespace app {
namespace {

bool ImageRunning(platform::Machine& machine, const std::string& path) {
  auto& procs = machine.Procs();
  const std::string wanted = platform::LowerCase(path);
  for (auto id : procs.EnumerateIds()) {
    auto image = procs.MainModulePath(id);
    if (image && platform::LowerCase(*image) == wanted) return true;
  }
  return false;
}

// A leftover of an upgrade. The copy that started this run may take a moment
// to end and holds its file until then (a sharing violation, or access denied
// while its image runs): a few tries for that, none for any other error.
void DeleteUpgradeLeftover(platform::Machine& machine, const std::string& copy) {
  for (int i = 0; i < 30; ++i) {
    const platform::Status s = machine.Files().DeleteFile(copy);
    const bool held = s == platform::kSharingViolation ||
                      (s == platform::kAccessDenied && ImageRunning(machine, copy));
    if (!held) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}

}  // namespace

Program::Program(platform::Machine& m, ui::Host& host) : machine(m), app(host) {}

Program::~Program() {
  // Downloads still running end before anything they use goes away.
  if (updater) updater->Shutdown();
  if (form4) form4->Get1.Shutdown();
}

int Program::Box(const std::string& text, const std::string& caption, ui::Buttons buttons,
                 ui::Icon icon) {
  return app.MessageBox({text, caption, buttons, icon, true, true});
}

bool Program::BeginJob(Job job, bool tell) {
  if (job_ != Job::None) {
    if (tell) TellBusy();
    return false;
  }
  job_ = job;
  return true;
}

void Program::EndJob(Job job) {
  if (job_ == job) job_ = Job::None;
}

bool Program::Busy() {
  if (job_ == Job::None) return false;
  TellBusy();
  return true;
}

void Program::TellBusy() {
  const char* what = "the scan";
  switch (job_) {
    case Job::Fix: what = "Fix"; break;
    case Job::Quarantine: what = "Add to Quarantine"; break;
    case Job::Log: what = "the full report log"; break;
    case Job::Update: what = "the update"; break;
    case Job::Undo: what = "the undo"; break;
    case Job::DeleteBackup: what = "the deletion of the backup"; break;
    default: break;
  }
  Box(std::string("Please wait until ") + what + " has finished.", msg[23], ui::Buttons::Ok,
      ui::Icon::Information);
}

Program::Role Program::StartRole() {
  msg.LoadDefaults();
  const std::string self = machine.Sys().ModulePath();
  programFolder = platform::ExtractFilePath(self);
  const std::string data = machine.Sys().DataFolder();
  dataFolder = data.empty() ? programFolder : platform::IncludeTrailingBackslash(data);
  // Exact, case-sensitive: "KVXUP.EXE" is a normal start.
  role_ = platform::ExtractFileName(self) == kUpgradeCopyName ? Role::UpgradeCopy : Role::Normal;
  return role_;
}

Program::Role Program::StartHandOver() {
  if (StartRole() == Role::Normal) DeleteUpgradeLeftover(machine, programFolder + kUpgradeCopyName);
  return role_;
}

bool Program::Start() {
  if (StartRole() == Role::UpgradeCopy) return false;
  DeleteUpgradeLeftover(machine, programFolder + kUpgradeCopyName);
  journal = std::make_unique<undo::Journal>(machine, dataFolder);
  journal->pump = [this] { app.ProcessMessages(); };
  journal->RemoveExpired();
  app.title = kAppTitle;
  CreateForms();
  if (app.Terminated()) return false;
  updater = std::make_unique<update::Updater>(*this, updatePublicKey);
  ConnectFix(*this);
  ApplyStartupLanguage(*this);  // the language file addresses every window
  return true;
}

void Program::CreateForms() {
  form1 = &app.CreateForm<TForm1>(*this);
  if (app.Terminated()) return;  // refused to run on this system
  form2 = &app.CreateForm<TForm2>(*this);
  form3 = &app.CreateForm<TForm3>(*this);
  form4 = &app.CreateForm<TForm4>(*this);
  form9 = &app.CreateForm<TForm9>(*this);
  frmMain = &app.CreateForm<TfrmMain>(*this);
  form12 = &app.CreateForm<TForm12>(*this);
  formIG = &app.CreateForm<TFormIG>(*this);
  formL = &app.CreateForm<TFormL>(*this);
  formR = &app.CreateForm<TFormR>(*this);
  optscan = &app.CreateForm<Toptscan>(*this);
  ConnectScan(*this);
}

int Program::Main() {
  if (!Start()) return role_ == Role::UpgradeCopy ? update::RunUpgradeCopy(*this) : app.ExitCode();
  return app.Run();
}

}  // namespace app
