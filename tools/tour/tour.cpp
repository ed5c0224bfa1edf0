// A guided tour of the real windows for the demo: runs the program from its
// folder, shows every page, the action dialog and the language window, then
// applies the shipped translation, saving a BMP of each into the folder given.
// On the way it shows the process page and the Report Manager, quarantines a
// planted sample, shows the Quarantine Manager and restores the sample, and
// fixes another one so the Quarantine Manager lists its backup.
//   kvx_tour.exe OUTPUT_FOLDER
//   kvx_tour.exe OUTPUT_FOLDER --scan   a quick scan on its way and done: the findings page
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "app/all_windows.h"
#include "app/fix_ui.h"
#include "app/options.h"
#include "engine/helpers.h"
#include "engine/rules.h"
#include "app/scan_ui.h"
#include "platform/win32/machine.h"
#include "undo/undo_journal.h"

namespace {

// A few start-up entries of every kind, so the start-up manager shows real
// rows. The demo runs in its own throw-away Wine prefix.
void PlantStartupEntries(platform::Machine& m) {
  using platform::Hive;
  namespace access = platform::keyaccess;
  const std::string base = "Software\\Microsoft\\Windows\\CurrentVersion\\";
  const std::string windows = m.Files().WindowsDirectory();
  auto& reg = m.Reg();
  if (auto k = reg.Create(Hive::CurrentUser, base + "Run", access::kAllAccess)) {
    k->WriteString("Tray Helper", "\"" + windows + "\\notepad.exe\" /tray");
    k->WriteString("Sound Panel", "rundll32.exe shell32.dll,Control_RunDLL mmsys.cpl");
  }
  // For the Report Manager's colours: a value naming a missing file (blue)
  // and one naming an empty file (red).
  m.Files().CreateDirectory("C:\\KvxTour");
  platform::WriteWholeFile(m.Files(), "C:\\KvxTour\\empty.exe", "");
  if (auto k = reg.Create(Hive::CurrentUser, base + "Run", access::kAllAccess)) {
    k->WriteString("Missing Helper", "C:\\KvxTour\\gone.exe");
    k->WriteString("Empty Helper", "C:\\KvxTour\\empty.exe");
  }
  if (auto k = reg.Create(Hive::CurrentUser, base + "Run_Bak", access::kAllAccess))
    k->WriteString("Old Updater", windows + "\\regedit.exe /s");
  if (auto k = reg.Create(Hive::LocalMachine, base + "Run", access::kAllAccess))
    k->WriteString("Desktop Shell", windows + "\\explorer.exe -embedding");
  auto folders = reg.Create(Hive::CurrentUser, base + "Explorer\\Shell Folders", access::kAllAccess);
  std::string startup = folders ? folders->ReadString("Startup").value_or("") : "";
  if (startup.empty() && folders) {
    startup = m.Sh().SpecialFolder(platform::csidl::kStartup);
    folders->WriteString("Startup", startup);
  }
  if (!startup.empty()) {
    m.Files().CreateDirectory(startup);
    m.Sh().CreateShortcut(startup + "\\Notepad.lnk", windows + "\\notepad.exe");
  }
  std::string ini;
  platform::ReadWholeFile(m.Files(), windows + "\\system.ini", ini);
  platform::WriteFileReplacing(m.Files(), windows + "\\system.ini",
                               ini + "\r\n[boot]\r\ndevice=kvxdemo.vxd\r\n;load=oldtsr.drv\r\n");
  if (auto k = reg.Create(Hive::LocalMachine,
                          "SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E96B-E325-11CE-BFC1-08002BE10318}",
                          access::kAllAccess))
    k->Set("UpperFilters", platform::ValueType::MultiString, std::string("kbdclass\0kvxlogger\0\0", 20));
}

void Settle(platform::win32::Win32Host& host) {
  for (int i = 0; i < 10; ++i) {
    host.ProcessMessages();
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
  }
}

}  // namespace

int main(int argc, char** argv) {
  const bool scan = argc == 3 && std::string(argv[2]) == "--scan";
  if (argc != 2 && !scan) {
    std::fprintf(stderr, "usage: kvx_tour OUTPUT_FOLDER [--scan]\n");
    return 2;
  }
  const std::string out = std::string(argv[1]) + "\\";
  auto machine = platform::win32::CreateMachine();
  auto host = platform::win32::CreateHost();
  PlantStartupEntries(*machine);
  // The tour applies the shipped translation at its end; the choice is put
  // back afterwards so the demo's later runs show the program as it starts.
  const auto language = app::ReadLanguageOption(machine->Reg());
  app::Program p(*machine, *host);
  if (!p.Start()) return 1;
  auto& f = *p.form1;
  f.Show();
  int failures = 0;
  auto shot = [&](ui::Form& form, const std::string& name) {
    Settle(*host);
    if (!host->SaveWindowImage(form, out + name + ".bmp")) {
      std::fprintf(stderr, "tour: cannot save %s\n", name.c_str());
      ++failures;
    }
  };
  if (scan) {
    f.ShowPage(1);
    Settle(*host);
    // The scan notes the time once as it starts and once as each rule
    // begins: halfway through it waits until its counts are due again, and
    // the next rule is pictured with them.
    const std::size_t halfway = engine::CountRulePasses(f.database) / 2 + 1;
    std::size_t notes = 0;
    f.scan.timeText = [&] {
      ++notes;
      if (notes == halfway) std::this_thread::sleep_for(std::chrono::milliseconds(150));
      if (notes == halfway + 1) shot(f, "scan-progress");
      return engine::LocalTimeText();
    };
    app::RunQuickScan(p, false);
    f.scan.timeText = nullptr;
    shot(f, "scan-findings");
    f.Close();
    Settle(*host);
    return failures ? 1 : 0;
  }
  for (int page = 0; page < 6; ++page) {
    f.ShowPage(page);
    shot(f, "page-" + std::to_string(page));
  }
  // The start-up manager's tabs and the main window's "Startup files" page.
  f.ShowPage(3);
  f.Button15Click();
  shot(f, "startup-files");
  p.frmMain->LoadStartupPrograms();
  p.frmMain->Show();
  for (int tab = 0; tab < 3; ++tab) {
    p.frmMain->PageControl->SetActivePage(tab);
    shot(*p.frmMain, "startup-manager-" + std::to_string(tab));
  }
  p.frmMain->Hide();

  // The process page, and the Report Manager with a ticked row.
  f.ShowPage(0);
  f.Find("Button8")->Click();
  shot(f, "process-page");
  f.ShowPage(0);  // "Full report log" is on the first page
  f.Find("Button10")->Click();
  if (!p.formR->List1->Items().empty()) p.formR->List1->SetChecked(0, true);
  shot(*p.formR, "report-manager");
  p.formR->Close();

  // "Services Manager": the page listed afresh from the real service manager.
  f.ShowPage(0);
  f.Find("xpButton15")->Click();
  shot(f, "main-services");
  f.ShowPage(0);
  p.form2->Show();
  shot(*p.form2, "action-dialog");
  p.form2->Close();
  // A planted sample in the quarantine, and back.
  const std::string sample = "C:\\Samples\\invoice.pdf.exe";
  const std::string bytes = "MZ\x90 planted demo sample, harmless " + std::string(300, '\x5A');
  auto& files = machine->Files();
  files.CreateDirectory("C:\\Samples");
  if (platform::WriteWholeFile(files, sample, bytes) != platform::kOk ||
      !p.form9->store.Add(sample, "Trojan.Demo.Invoice", engine::Md5Hex(bytes))) {
    std::fprintf(stderr, "tour: cannot quarantine %s\n", sample.c_str());
    ++failures;
  }
  files.DeleteFile(sample);
  p.form9->Show();
  shot(*p.form9, "quarantine-manager");
  std::string back;
  if (!p.form9->store.Restore(sample, "C:\\Samples\\") ||
      platform::ReadWholeFile(files, sample, back) != platform::kOk || back != bytes) {
    std::fprintf(stderr, "tour: the sample did not come back byte for byte\n");
    ++failures;
  }
  p.form9->Close();
  // A fix of a planted finding and the Run value that starts it: the
  // Quarantine Manager then lists the backup that holds both.
  const std::string planted = "C:\\Samples\\updater.exe";
  if (platform::WriteWholeFile(files, planted, "MZ planted demo finding, harmless") == platform::kOk) {
    if (auto k = machine->Reg().Create(platform::Hive::CurrentUser,
                                       "Software\\Microsoft\\Windows\\CurrentVersion\\Run",
                                       platform::keyaccess::kAllAccess))
      k->WriteString("Demo Updater", planted + " /silent");
    engine::TFileList r;
    r.Path = planted;
    r.Name = "Trojan.Demo.Updater";
    r.Md5 = engine::FileMd5(files, planted);
    f.scan.findings.Add(r);
    app::FixOptions options;
    options.boxes = false;
    app::RunFix(p, options);
    f.scan.findings.Clear();
    f.Memo2->Clear();
  }
  if (platform::FileExists(files, planted) || p.journal->List().empty()) {
    std::fprintf(stderr, "tour: the fix of %s left no backup\n", planted.c_str());
    ++failures;
  }
  p.form9->Show();
  shot(*p.form9, "backups");
  p.form9->Close();
  // The ignore list with a folder added (shown, not saved), and "Scan with
  // Options" after checking the planted sample's folder.
  p.formIG->Show();
  p.formIG->AddFolder("C:\\Samples\\Trusted");
  shot(*p.formIG, "ignore-list");
  p.formIG->Hide();
  p.optscan->Show();
  p.optscan->AddFolder("C:\\Samples");
  p.optscan->Find("xpButton3")->Click();
  p.optscan->WaitForScan();
  shot(*p.optscan, "scan-with-options");
  p.optscan->Hide();
  f.ShowPage(4);
  p.formL->Show();
  p.formL->List1->SetItemIndex(0);
  shot(*p.formL, "language-window");
  if (!p.formL->List1->Items().empty()) p.formL->xpButton1->Click();
  f.ShowPage(0);
  shot(f, "page-0-german");
  f.ShowPage(1);
  shot(f, "page-1-german");

  f.Close();
  Settle(*host);
  if (language) {
    app::WriteLanguageOption(machine->Reg(), *language);
  } else if (auto key = machine->Reg().Open(platform::Hive::CurrentUser, app::kOptionsKey,
                                            platform::keyaccess::kAllAccess)) {
    key->DeleteValue("Language");
  }
  return failures ? 1 : 0;
}
