// The start-up manager on the real Windows layer: the real registry, a real
// shortcut in the user's Startup folder, the real System.ini, the keyboard
// class key, and the window with its tabs, icons and check boxes.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/all_windows.h"
#include "platform/text.h"
#include "platform/win32/machine.h"
#include "scanopt/folder_macros.h"

namespace {

using platform::Hive;
namespace keyaccess = platform::keyaccess;
const std::string kBase = "Software\\Microsoft\\Windows\\CurrentVersion\\";
const std::string kClass =
    "SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E96B-E325-11CE-BFC1-08002BE10318}";

class Win32Startup : public ::testing::Test {
 protected:
  void SetUp() override {
    auto& reg = machine->Reg();
    self = machine->Sys().ModulePath();
    reg.Create(Hive::CurrentUser, kBase + "Run", keyaccess::kAllAccess)
        ->WriteString("KvxTestApp", "\"" + self + "\" /min");
    reg.Create(Hive::CurrentUser, kBase + "Run_Bak", keyaccess::kAllAccess)
        ->WriteString("KvxTestOff", "rundll32.exe shell32.dll,Control_RunDLL");
    startupFolder = machine->Sh().SpecialFolder(platform::csidl::kStartup);
    ASSERT_FALSE(startupFolder.empty());
    // A fresh prefix may not have written the folder's value yet.
    auto folders = reg.Create(Hive::CurrentUser, kBase + "Explorer\\Shell Folders", keyaccess::kAllAccess);
    if (folders->ReadString("Startup").value_or("").empty()) folders->WriteString("Startup", startupFolder);
    startupFolder = *folders->ReadString("Startup");
    machine->Files().CreateDirectory(startupFolder);
    link = startupFolder + "\\KvxTest.lnk";
    ASSERT_EQ(machine->Sh().CreateShortcut(link, self), platform::kOk);

    ini = machine->Files().WindowsDirectory() + "\\system.ini";
    platform::ReadWholeFile(machine->Files(), ini, iniBefore);
    ASSERT_EQ(platform::WriteWholeFile(machine->Files(), ini, iniBefore + "\r\n  Device=KVXTEST.VXD\r\n"),
              platform::kOk);

    auto cls = reg.Create(Hive::LocalMachine, kClass, keyaccess::kAllAccess);
    filtersBefore = cls->Query("UpperFilters");
    cls->Set("UpperFilters", platform::ValueType::MultiString, std::string("kbdclass\0kvxfilt\0\0", 18));
    driver = machine->Files().SystemDirectory() + "\\drivers\\kvxfilt.sys";
    platform::WriteWholeFile(machine->Files(), driver, "not a real driver");

    ASSERT_TRUE(p.Start());
    m = p.frmMain;
    m->Show();
    host->ProcessMessages();
  }

  void TearDown() override {
    auto& reg = machine->Reg();
    for (const char* key : {"Run", "Run_Bak"})
      if (auto k = reg.Open(Hive::CurrentUser, kBase + key, keyaccess::kAllAccess))
        for (const char* name : {"KvxTestApp", "KvxTestOff"}) k->DeleteValue(name);
    machine->Files().DeleteFile(link);
    platform::WriteWholeFile(machine->Files(), ini, iniBefore);
    auto cls = reg.Open(Hive::LocalMachine, kClass, keyaccess::kAllAccess);
    if (filtersBefore)
      cls->Set("UpperFilters", filtersBefore->type, filtersBefore->data);
    else
      cls->DeleteValue("UpperFilters");
    machine->Files().DeleteFile(driver);
  }

  int RowOf(const ui::ListView& list, const std::string& caption) {
    for (std::size_t i = 0; i < list.Items().size(); ++i)
      if (list.Items()[i].caption == caption) return static_cast<int>(i);
    return -1;
  }
  std::optional<std::string> Get(const std::string& key, const std::string& name) {
    auto k = machine->Reg().Open(Hive::CurrentUser, kBase + key, keyaccess::kRead);
    return k ? k->ReadString(name) : std::nullopt;
  }

  std::unique_ptr<platform::Machine> machine = platform::win32::CreateMachine();
  std::unique_ptr<platform::win32::Win32Host> host = platform::win32::CreateHost();
  app::Program p{*machine, *host};
  TfrmMain* m = nullptr;
  std::string self, startupFolder, link, ini, iniBefore, driver;
  std::optional<platform::RegValue> filtersBefore;
};

TEST_F(Win32Startup, RealRowsSwitchInTheRealRegistry) {
  const int on = RowOf(*m->ListView1, "KvxTestApp");
  const int off = RowOf(*m->ListView1, "KvxTestOff");
  ASSERT_GE(on, 0);
  ASSERT_GE(off, 0);
  auto rows = host->WindowRows(*m->ListView1);
  EXPECT_EQ(rows.at(on), "KvxTestApp|\"" + self + "\" /min|HKCU");
  EXPECT_EQ(rows.at(off), "KvxTestOff|rundll32.exe shell32.dll,Control_RunDLL|HKCU_B");
  auto checks = host->WindowChecks(*m->ListView1);
  EXPECT_TRUE(checks.at(on));
  EXPECT_FALSE(checks.at(off));
  EXPECT_EQ(m->ListView1->Items()[on].subItems[2], platform::LowerCase(self));

  m->ListView1->ClickRow(on, true);
  host->ProcessMessages();
  EXPECT_FALSE(Get("Run", "KvxTestApp"));
  EXPECT_EQ(Get("Run_Bak", "KvxTestApp"), "\"" + self + "\" /min");
  EXPECT_FALSE(host->WindowChecks(*m->ListView1).at(on));
  m->ListView1->ClickRow(off, true);
  EXPECT_EQ(Get("Run", "KvxTestOff"), "rundll32.exe shell32.dll,Control_RunDLL");
  EXPECT_FALSE(Get("Run_Bak", "KvxTestOff"));
}

TEST_F(Win32Startup, ShortcutIsResolvedByTheShell) {
  const int row = RowOf(*m->ListView1_2, "KvxTest.lnk");
  ASSERT_GE(row, 0);
  const auto& item = m->ListView1_2->Items()[row];
  EXPECT_TRUE(platform::SameText(item.subItems[0], self)) << item.subItems[0];
  EXPECT_EQ(item.subItems[1], "CU");
  EXPECT_EQ(item.subItems[2], link);
  EXPECT_EQ(host->WindowRows(*m->ListView1_2).at(row), "KvxTest.lnk|" + item.subItems[0] + "|CU");
}

TEST_F(Win32Startup, IniLineIsRewrittenInTheWindowsFolder) {
  const int row = RowOf(*m->ListView4, "device=kvxtest.vxd");
  ASSERT_GE(row, 0);
  m->PageControl->SetActivePage(2);
  host->ProcessMessages();
  EXPECT_TRUE(host->WindowShown(*m->ListView4));
  EXPECT_FALSE(host->WindowShown(*m->ListView1));
  m->ListView4->ClickRow(row, true);
  std::string after;
  ASSERT_EQ(platform::ReadWholeFile(machine->Files(), ini, after), platform::kOk);
  EXPECT_NE(after.find("\r\n;device=kvxtest.vxd\r\n"), std::string::npos);
  EXPECT_EQ(after.find("KVXTEST"), std::string::npos);
  EXPECT_GE(RowOf(*m->ListView4, ";device=kvxtest.vxd"), 0);
}

TEST_F(Win32Startup, KeyboardFilterFromTheClassKey) {
  EXPECT_EQ(host->WindowRows(*m->ListView3),
            (std::vector<std::string>{"kvxfilt|" + machine->Files().SystemDirectory() +
                                      "\\Drivers\\kvxfilt.sys"}));
}

TEST_F(Win32Startup, FolderMacrosUseTheShellFolders) {
  EXPECT_EQ(scanopt::ExpandFolderMacros(*machine, "%%sf%%\\x.exe"),
            machine->Sh().SpecialFolder(platform::csidl::kStartup) + "\\x.exe");
  std::string temp = machine->Files().TempPath();
  temp.pop_back();
  EXPECT_EQ(scanopt::ExpandFolderMacros(*machine, "%%wt%%\\a.exe"), temp + "\\a.exe");
  EXPECT_EQ(scanopt::ExpandFolderMacros(*machine, "%%rt%%"), machine->Files().WindowsDirectory().substr(0, 2));
}

TEST_F(Win32Startup, StartupFilesPageReadsTheShippedBase) {
  auto& f = *p.form1;
  f.Button15Click();
  const int row = RowOf(*f.List3, "KvxTestApp");
  ASSERT_GE(row, 0);
  EXPECT_EQ(f.List3->Items()[row].subItems.at(0), "\"" + self + "\" /min");
  f.ShowPage(3);
  host->ProcessMessages();
  EXPECT_EQ(host->WindowRows(*f.List3).at(row), "KvxTestApp|\"" + self + "\" /min");
  // The start-up values that name the file go from the real registry.
  EXPECT_TRUE(f.RemoveStartupValuesFor(self));
  EXPECT_FALSE(Get("Run", "KvxTestApp"));
  EXPECT_EQ(Get("Run_Bak", "KvxTestOff"), "rundll32.exe shell32.dll,Control_RunDLL");
}

TEST_F(Win32Startup, RegistryScanReadsAppInitDlls) {
  const std::string nt = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows";
  auto key = machine->Reg().Create(Hive::LocalMachine, nt, keyaccess::kAllAccess);
  const auto before = key->Query("AppInit_DLLs");
  key->WriteString("AppInit_DLLs", self + ",kvxnone.dll");
  p.form1->ScanStartupRegistry();
  const auto& list = p.form1->registryServers;
  EXPECT_NE(std::find(list.begin(), list.end(), platform::LowerCase(self)), list.end());
  EXPECT_NE(std::find(list.begin(), list.end(), "kvxnone.dll"), list.end());
  if (before)
    key->Set("AppInit_DLLs", before->type, before->data);
  else
    key->DeleteValue("AppInit_DLLs");
}

TEST_F(Win32Startup, MessageToTheWindowEndsTheProgram) {
  host->PostToWindow(*m, 1033);
  host->ProcessMessages();
  EXPECT_TRUE(p.app.Terminated());
}

}  // namespace
