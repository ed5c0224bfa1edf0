// The "Startup files" page, the registry base and the start-up registry scan.
#include <gtest/gtest.h>

#include "engine/startup_registry.h"
#include "tests/unit/startup_fixture.h"

namespace {

using platform::Hive;
constexpr const char* kRun = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

class RegistryBaseTest : public StartupFixture {
 protected:
  void WriteRegBase(const std::string& text) { WriteFile(std::string(kFolder) + "RegBase.rgk", text); }
};

TEST_F(RegistryBaseTest, ParsesRecordsAndStopsAtTheFirstFault) {
  bool complete = false;
  auto r = engine::ParseRegBase("2\r\n1\r\nA\\B\r\nnote\r\n2\r\nC\r\nnote\r\n", &complete);
  ASSERT_EQ(r.size(), 2u);
  EXPECT_TRUE(complete);
  EXPECT_EQ(r[0].rootIndex, 1);
  EXPECT_EQ(r[0].keyPath, "A\\B");
  EXPECT_EQ(r[1].keyPath, "C");
  struct Case {
    const char* text;
    std::size_t records;
  } cases[] = {{"0\r\n", 0},          {"", 0},
               {"x\r\n1\r\nA\r\n", 0}, {"3\r\n1\r\nA\r\nn\r\n7\r\nB\r\nn\r\n", 1},
               {"5\r\n4\r\nA\r\n", 1}, {"-2\r\n1\r\nA\r\n", 0},
               {"99999999999999999999\r\n", 0}};
  for (const auto& c : cases) EXPECT_EQ(engine::ParseRegBase(c.text).size(), c.records) << c.text;
  EXPECT_EQ(engine::RootKeyName(2), "HKEY_LOCAL_MACHINE");
  EXPECT_EQ(engine::RootKeyOfIndex(4), Hive::CurrentConfig);
}

TEST_F(RegistryBaseTest, ShippedBaseListsTheRunKeysOfBothHives) {
  auto records = engine::ParseRegBase(DemoFile("RegBase.rgk"));
  ASSERT_GE(records.size(), 10u);
  EXPECT_NE(DemoFile("RegBase.rgk").find("\r\n"), std::string::npos);
  auto has = [&](int root, const std::string& key) {
    for (const auto& r : records)
      if (r.rootIndex == root && r.keyPath == key) return true;
    return false;
  };
  for (int root : {1, 2})
    for (const char* key : {"Run", "RunOnce", "RunServices", "Policies\\Explorer\\Run"})
      EXPECT_TRUE(has(root, std::string("Software\\Microsoft\\Windows\\CurrentVersion\\") + key))
          << root << key;
}

TEST_F(RegistryBaseTest, PageListsValuesAndDeletesTheFirstMatchingRecord) {
  WriteRegBase("2\r\n1\r\n" + std::string(kRun) + "\r\nuser\r\n2\r\n" + kRun + "\r\nmachine\r\n");
  Set(Hive::CurrentUser, kRun, "tool", "c:\\x\\tool.exe");
  Set(Hive::LocalMachine, kRun, "tool", "c:\\x\\tool.exe");
  Set(Hive::LocalMachine, kRun, "other", "c:\\other.exe -s");
  auto p = StartProgram();
  auto& f = *p->form1;
  f.Find("Button9")->Click();
  // Entering the page book refreshes the list.
  EXPECT_TRUE(f.List3->Items().empty());
  f.List3->SetFocus();
  EXPECT_EQ(Rows(*f.List3, false), (std::vector<std::string>{"tool|c:\\x\\tool.exe", "tool|c:\\x\\tool.exe",
                                                      "other|c:\\other.exe -s"}));
  ASSERT_EQ(f.startupValues.size(), 3u);
  EXPECT_EQ(f.startupValues[2].root, Hive::LocalMachine);
  EXPECT_EQ(f.startupValues[2].valueName, "other");

  host.Answer(ui::kIdNo, "Do you want to delete selected values?", "Question");
  f.List3->SetChecked(1, true);
  f.Find("Button14")->Click();
  EXPECT_TRUE(Get(Hive::CurrentUser, kRun, "tool"));

  host.Answer(ui::kIdYes, "Do you want to delete selected values?", "Question");
  host.Answer(ui::kIdOk, "Selected values successfully deleted!", "Information");
  f.Find("Button14")->Click();
  // The second row is the HKLM value, but the first matching record wins.
  EXPECT_FALSE(Get(Hive::CurrentUser, kRun, "tool"));
  EXPECT_TRUE(Get(Hive::LocalMachine, kRun, "tool"));
  EXPECT_EQ(Rows(*f.List3, false), (std::vector<std::string>{"tool|c:\\x\\tool.exe", "other|c:\\other.exe -s"}));
  EXPECT_EQ(host.PendingAnswers(), 0u);
}

TEST_F(RegistryBaseTest, NormalUserCannotDeleteMachineValues) {
  WriteRegBase("1\r\n2\r\n" + std::string(kRun) + "\r\n\r\n");
  Set(Hive::LocalMachine, kRun, "tool", "c:\\tool.exe");
  auto p = StartProgram();
  auto& f = *p->form1;
  f.Button15Click();
  // Without full access the machine key counts as missing.
  machine.SimReg().SetUserIsAdmin(false);
  f.Button15Click();
  EXPECT_TRUE(f.List3->Items().empty());
  machine.SimReg().SetUserIsAdmin(true);
  f.Button15Click();
  ASSERT_EQ(f.List3->Items().size(), 1u);
  machine.SimReg().SetUserIsAdmin(false);
  f.Find("Button9")->Click();
  f.List3->SetChecked(0, true);
  host.Answer(ui::kIdYes, "Do you want to delete selected values?");
  host.Answer(ui::kIdOk, "Key value tool does not exists!", "Error");
  host.Answer(ui::kIdOk, "Selected values successfully deleted!");
  f.Find("Button14")->Click();
  EXPECT_TRUE(Get(Hive::LocalMachine, kRun, "tool"));
  EXPECT_TRUE(f.List3->Items().empty());
  EXPECT_EQ(host.PendingAnswers(), 0u);
}

TEST_F(RegistryBaseTest, MissingOrEmptyBaseGivesAnEmptyPage) {
  Set(Hive::CurrentUser, kRun, "tool", "c:\\tool.exe");
  auto p = StartProgram();
  auto& f = *p->form1;
  f.Button15Click();
  EXPECT_TRUE(f.List3->Items().empty());
  EXPECT_FALSE(f.RemoveStartupValuesFor("c:\\tool.exe"));
  WriteRegBase("0\r\n");
  f.Button15Click();
  EXPECT_TRUE(f.List3->Items().empty());
}

TEST_F(RegistryBaseTest, RemovesValuesNamingTheFileByPathOrBareName) {
  WriteRegBase("2\r\n1\r\n" + std::string(kRun) + "\r\n\r\n2\r\n" + kRun + "\r\n\r\n");
  Set(Hive::CurrentUser, kRun, "a", "\"C:\\Evil\\Bad.exe\" /start");
  Set(Hive::CurrentUser, kRun, "b", "BAD.EXE");
  Set(Hive::CurrentUser, kRun, "c", "c:\\good.exe");
  Set(Hive::LocalMachine, kRun, "d", "rundll32 c:\\evil\\bad.exe,x");
  auto p = StartProgram();
  std::vector<std::string> log;
  p->form1->startupLogLine = [&](const std::string& l) { log.push_back(l); };
  p->form1->Button15Click();
  EXPECT_EQ(log.size(), 9u);
  EXPECT_EQ(log[0], "Startup files:");
  EXPECT_EQ(log[1], "HKEY_CURRENT_USER\\" + std::string(kRun) + "\\a");
  EXPECT_EQ(log[2], "[\"C:\\Evil\\Bad.exe\" /start]");

  EXPECT_FALSE(p->form1->RemoveStartupValuesFor(""));
  EXPECT_TRUE(p->form1->RemoveStartupValuesFor("c:\\evil\\bad.exe"));
  EXPECT_FALSE(Get(Hive::CurrentUser, kRun, "a"));
  EXPECT_FALSE(Get(Hive::CurrentUser, kRun, "b"));
  EXPECT_FALSE(Get(Hive::LocalMachine, kRun, "d"));
  EXPECT_EQ(Get(Hive::CurrentUser, kRun, "c"), "c:\\good.exe");
  EXPECT_FALSE(p->form1->RemoveStartupValuesFor("c:\\evil\\bad.exe"));
}

TEST_F(RegistryBaseTest, RegistryScanCollectsServersInItsOrder) {
  const std::string win = "Software\\Microsoft\\Windows\\CurrentVersion\\";
  const std::string nt = "Software\\Microsoft\\Windows NT\\CurrentVersion\\";
  for (const char* f : {"C:\\WINDOWS\\system32\\ssodl.dll", "C:\\WINDOWS\\system32\\notify.dll",
                        "C:\\bho.dll", "C:\\hook.exe", "C:\\WINDOWS\\system32\\a.dll", "C:\\sched.dll"})
    WriteFile(f, "MZ module image");
  Set(Hive::LocalMachine, win + "ShellServiceObjectDelayLoad", "Sso", "{S}");
  Set(Hive::ClassesRoot, "CLSID\\{S}\\InProcServer32", "", "%SystemRoot%\\ssodl.dll");
  Set(Hive::LocalMachine, nt + "Winlogon\\Notify\\pkg", "DllName", "notify.dll");
  Set(Hive::LocalMachine, win + "Explorer\\SharedTaskScheduler", "{T}", "task");
  Set(Hive::ClassesRoot, "CLSID\\{T}\\LocalServer32", "", "c:\\sched.dll");
  Set(Hive::LocalMachine, win + "Explorer\\Browser Helper Objects\\{B}", "", "");
  Set(Hive::ClassesRoot, "CLSID\\{B}\\InProcServer32", "", "C:\\BHO.dll");
  Set(Hive::LocalMachine, win + "Explorer\\ShellExecuteHooks\\{H}", "", "");
  Set(Hive::ClassesRoot, "CLSID\\{H}\\LocalServer32", "", "\"c:\\hook.exe\" -embedding");
  Set(Hive::ClassesRoot, "CLSID\\{H}\\InProcServer32", "", "c:\\missing.dll");
  Set(Hive::LocalMachine, nt + "Windows", "AppInit_DLLs", "a.dll,b.dll");
  Set(Hive::CurrentUser, win + "Uninstall\\App", "UninstallString", "\"C:\\App\\unins.exe\" /x");
  Set(Hive::CurrentUser, win + "Uninstall\\Bare", "Other", "x");
  auto p = StartProgram();
  p->form1->ScanStartupRegistry();
  EXPECT_EQ(p->form1->registryServers,
            (std::vector<std::string>{"c:\\windows\\system32\\ssodl.dll",
                                      "c:\\windows\\system32\\notify.dll", "c:\\sched.dll",
                                      "c:\\bho.dll", "c:\\hook.exe",
                                      "c:\\windows\\system32\\a.dll", "b.dll",
                                      "C:\\App\\unins.exe /x", ""}));
}

}  // namespace
