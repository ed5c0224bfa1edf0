// "Runtime & Process Manager": Run keys and their "_Bak" twins, Startup
// folders, System.ini/Win.ini lines and keyboard filter drivers.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "startup/startup_text.h"
#include "tests/unit/startup_fixture.h"

namespace {

using platform::Hive;
const std::string kBase = "Software\\Microsoft\\Windows\\CurrentVersion\\";
const std::string kClass =
    "SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E96B-E325-11CE-BFC1-08002BE10318}";

class StartupManagerTest : public StartupFixture {
 protected:
  std::string Read(const std::string& path) {
    std::string s;
    platform::ReadWholeFile(machine.Files(), path, s);
    return s;
  }
  void SetFilters(std::string_view bytes) {
    auto k = machine.Reg().Create(Hive::LocalMachine, kClass, platform::keyaccess::kAllAccess);
    ASSERT_EQ(k->Set("UpperFilters", platform::ValueType::MultiString, bytes), platform::kOk);
  }
  // Switches the first System.ini row while the disk fails: one error box,
  // naming the file.
  void SwitchFirstSystemIniRowFailing(TfrmMain& m) {
    m.PageControl->SetActivePage(2);
    host.Answer(ui::kIdOk);
    m.ListView4->ClickRow(0, true);
    ASSERT_EQ(host.Boxes().size(), 1u);
    EXPECT_NE(host.Boxes().back().spec.text.find("C:\\WINDOWS\\System.ini"), std::string::npos);
    EXPECT_EQ(host.Boxes().back().spec.icon, ui::Icon::Error);
  }
  void AnswerRemove(int answer, const std::string& caption) {
    host.Answer(answer, "Remove [" + caption + "] from this list?", "This action can not be undone!");
  }
};

TEST_F(StartupManagerTest, ExecutablePathOfCommands) {
  struct Case {
    const char* command;
    const char* path;
  } cases[] = {
      {"\"C:\\Program Files\\App\\app.exe\" /min", "c:\\program files\\app\\app.exe"},
      {"rundll32.exe shell32.dll,Control_RunDLL", "shell32.dll"},
      {"c:\\x\\tool.exe -s", "c:\\x\\tool.exe"},
      {"  C:\\Plain.EXE  ", "c:\\plain.exe"},
      {"rundll32.exe", ""},
      {"\"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(startup::ExecutablePathOfCommand(c.command), c.path) << c.command;
}

TEST_F(StartupManagerTest, RunValuesSwitchOffAndOnBetweenKeyAndTwin) {
  WriteFile("C:\\App\\app.exe", "MZ app");
  Set(Hive::CurrentUser, kBase + "Run", "App", "\"C:\\App\\app.exe\" /min");
  Set(Hive::CurrentUser, kBase + "Run_Bak", "App", "\"C:\\App\\app.exe\" /min");
  Set(Hive::LocalMachine, kBase + "RunServices_Bak", "Svc", "c:\\svc.exe -s");
  auto p = StartProgram();
  auto& m = *p->frmMain;
  m.Show();
  EXPECT_EQ(Rows(*m.ListView1),
            (std::vector<std::string>{"[x] App|\"C:\\App\\app.exe\" /min|HKCU|c:\\app\\app.exe",
                                      "[ ] App|\"C:\\App\\app.exe\" /min|HKCU_B|c:\\app\\app.exe",
                                      "[ ] Svc|c:\\svc.exe -s|HKLM_S_B|c:\\svc.exe"}));
  // The app's own icon is appended to the image list; a missing file shows image 0.
  EXPECT_EQ(m.ImageList1->Sources().at(m.ListView1->Items()[0].imageIndex), "c:\\app\\app.exe");
  EXPECT_EQ(m.ListView1->Items()[2].imageIndex, 0);

  // Switching the active row off leaves a single copy, in the twin.
  m.ListView1->ClickRow(0, true);
  EXPECT_FALSE(Get(Hive::CurrentUser, kBase + "Run", "App"));
  EXPECT_EQ(Get(Hive::CurrentUser, kBase + "Run_Bak", "App"), "\"C:\\App\\app.exe\" /min");
  // A click that does not change the box changes nothing.
  m.ListView1->ClickRow(0, false);
  EXPECT_FALSE(Get(Hive::CurrentUser, kBase + "Run", "App"));
  // On again: back in the active key as a plain string.
  m.ListView1->ClickRow(0, true);
  EXPECT_EQ(Get(Hive::CurrentUser, kBase + "Run", "App"), "\"C:\\App\\app.exe\" /min");
  EXPECT_FALSE(Get(Hive::CurrentUser, kBase + "Run_Bak", "App"));
  m.ListView1->ClickRow(2, true);
  EXPECT_EQ(Get(Hive::LocalMachine, kBase + "RunServices", "Svc"), "c:\\svc.exe -s");
  EXPECT_FALSE(Get(Hive::LocalMachine, kBase + "RunServices_Bak", "Svc"));

  // Removing: asked first, gone from both keys and from the list.
  m.PageControl->SetActivePage(0);
  m.ListView1->ClickRow(1, false);
  AnswerRemove(ui::kIdNo, "App");
  m.Find("mnuDel")->Click();
  EXPECT_EQ(m.ListView1->Items().size(), 3u);
  Set(Hive::CurrentUser, kBase + "Run_Bak", "App", "stale copy");
  AnswerRemove(ui::kIdYes, "App");
  m.Find("mnuDel")->Click();
  EXPECT_TRUE(host.Boxes().back().spec.secondButtonDefault);
  EXPECT_FALSE(Get(Hive::CurrentUser, kBase + "Run", "App"));
  EXPECT_FALSE(Get(Hive::CurrentUser, kBase + "Run_Bak", "App"));
  EXPECT_EQ(m.ListView1->Items().size(), 2u);
  EXPECT_EQ(host.PendingAnswers(), 0u);
}

TEST_F(StartupManagerTest, ValueThatCannotBeWrittenStaysWhereItWas) {
  Set(Hive::CurrentUser, kBase + "Run", "App", "c:\\app.exe");
  auto p = StartProgram();
  auto& m = *p->frmMain;
  m.Show();
  machine.SimReg().FailValueWrites(true);
  m.ListView1->ClickRow(0, true);
  EXPECT_EQ(Get(Hive::CurrentUser, kBase + "Run", "App"), "c:\\app.exe");
  EXPECT_FALSE(Get(Hive::CurrentUser, kBase + "Run_Bak", "App"));
  // The box goes back to what the registry still holds, without a box.
  EXPECT_EQ(Rows(*m.ListView1), (std::vector<std::string>{"[x] App|c:\\app.exe|HKCU|c:\\app.exe"}));
  EXPECT_TRUE(host.Boxes().empty());

  // Once writes work again, the next click switches the value off.
  machine.SimReg().FailValueWrites(false);
  m.ListView1->ClickRow(0, true);
  EXPECT_FALSE(Get(Hive::CurrentUser, kBase + "Run", "App"));
  EXPECT_EQ(Get(Hive::CurrentUser, kBase + "Run_Bak", "App"), "c:\\app.exe");
  EXPECT_EQ(Rows(*m.ListView1), (std::vector<std::string>{"[ ] App|c:\\app.exe|HKCU|c:\\app.exe"}));

  // A key that refuses to open: the row stays switched off.
  machine.SimReg().DenyKey(Hive::CurrentUser, kBase + "Run");
  m.ListView1->ClickRow(0, true);
  EXPECT_EQ(Get(Hive::CurrentUser, kBase + "Run_Bak", "App"), "c:\\app.exe");
  EXPECT_EQ(Rows(*m.ListView1), (std::vector<std::string>{"[ ] App|c:\\app.exe|HKCU|c:\\app.exe"}));
}

TEST_F(StartupManagerTest, StartupFoldersListEveryEntryWithShortcutsResolved) {
  const std::string user = "C:\\Documents and Settings\\User\\Start Menu\\Programs\\Startup";
  const std::string all = "C:\\Documents and Settings\\All Users\\Start Menu\\Programs\\Startup";
  Set(Hive::CurrentUser, kBase + "Explorer\\Shell Folders", "Startup", user);
  Set(Hive::LocalMachine, kBase + "Explorer\\Shell Folders", "Common Startup", all);
  WriteFile("C:\\Tools\\tray.exe", "MZ tray");
  WriteFile(user + "\\desktop.ini", "[.ShellClassInfo]");
  ASSERT_EQ(machine.Sh().CreateShortcut(user + "\\Tray.lnk", "C:\\Tools\\tray.exe"), platform::kOk);
  std::filesystem::create_directories(root / "Documents and Settings" / "All Users" / "Start Menu" /
                                      "Programs" / "Startup");
  ASSERT_EQ(machine.Files().CreateDirectory(user + "\\Sub"), platform::kOk);
  ASSERT_EQ(machine.Sh().CreateShortcut(all + "\\Empty.lnk", ""), platform::kOk);
  auto p = StartProgram();
  auto& m = *p->frmMain;
  m.Show();
  auto rows = Rows(*m.ListView1_2);
  std::sort(rows.begin(), rows.end());
  EXPECT_EQ(rows, (std::vector<std::string>{
                      "Empty.lnk|" + all + "\\Empty.lnk|LM|" + all + "\\Empty.lnk",
                      "Sub|" + user + "\\Sub|CU|" + user + "\\Sub",
                      "Tray.lnk|C:\\Tools\\tray.exe|CU|" + user + "\\Tray.lnk",
                      "desktop.ini|" + user + "\\desktop.ini|CU|" + user + "\\desktop.ini"}));
  EXPECT_EQ(Rows(*m.ListView1), (std::vector<std::string>{"No startup program found!"}));

  // Removing deletes the entry in the folder, never the program it starts.
  int row = -1;
  for (std::size_t i = 0; i < m.ListView1_2->Items().size(); ++i)
    if (m.ListView1_2->Items()[i].caption == "Tray.lnk") row = static_cast<int>(i);
  m.ListView1_2->ClickRow(row, false);
  m.PopupMenu1->Popup();
  EXPECT_TRUE(m.Find("mnuDel")->Enabled());
  m.Find("mnuInf")->Click();
  EXPECT_EQ(machine.SimSh().Calls().back().verb, "properties");
  EXPECT_EQ(machine.SimSh().Calls().back().file, "C:\\Tools\\tray.exe");
  AnswerRemove(ui::kIdYes, "Tray.lnk");
  m.Find("mnuDel")->Click();
  EXPECT_FALSE(platform::FileExists(machine.Files(), user + "\\Tray.lnk"));
  EXPECT_TRUE(platform::FileExists(machine.Files(), "C:\\Tools\\tray.exe"));
  EXPECT_EQ(m.ListView1_2->Items().size(), 3u);
}

TEST_F(StartupManagerTest, NormalUserSeesOnlyHisOwnEntries) {
  Set(Hive::CurrentUser, kBase + "Run", "Mine", "c:\\mine.exe");
  Set(Hive::CurrentUser, kBase + "RunServices_Bak", "MineS", "c:\\mines.exe");
  Set(Hive::LocalMachine, kBase + "Run", "All", "c:\\all.exe");
  Set(Hive::CurrentUser, kBase + "Explorer\\Shell Folders", "Startup", "C:\\SU");
  Set(Hive::LocalMachine, kBase + "Explorer\\Shell Folders", "Common Startup", "C:\\SA");
  WriteFile("C:\\SU\\u.exe", "MZ");
  WriteFile("C:\\SA\\a.exe", "MZ");
  SetFilters(std::string("kbdclass\0klog\0\0", 16));
  machine.SimReg().SetUserIsAdmin(false);
  auto p = StartProgram();
  auto& m = *p->frmMain;
  m.Show();
  EXPECT_EQ(Rows(*m.ListView1), (std::vector<std::string>{"[x] Mine|c:\\mine.exe|HKCU|c:\\mine.exe",
                                                          "[ ] MineS|c:\\mines.exe|HKCU_S_B|c:\\mines.exe"}));
  EXPECT_EQ(Rows(*m.ListView1_2), (std::vector<std::string>{"u.exe|C:\\SU\\u.exe|CU|C:\\SU\\u.exe"}));
  EXPECT_EQ(Rows(*m.ListView3), (std::vector<std::string>{"No Keyboard Filter driver found!"}));
}

TEST_F(StartupManagerTest, PlaceholdersTakeNoCommandsAndKeysAreDiscarded) {
  auto p = StartProgram();
  auto& m = *p->frmMain;
  m.Show();
  EXPECT_EQ(Rows(*m.ListView1), (std::vector<std::string>{"No startup program found!"}));
  EXPECT_FALSE(m.ListView1->checkBoxes);
  m.ListView1->ClickRow(0, true);
  m.PopupMenu1->Popup();
  m.Find("mnuDel")->Click();  // nothing to remove, nothing asked
  EXPECT_TRUE(host.Boxes().empty());

  m.PageControl->SetActivePage(2);
  m.ListView3->ClickRow(0, false);
  m.PopupMenu1->Popup();
  EXPECT_FALSE(m.Find("mnuInf")->Enabled());
  EXPECT_FALSE(m.Find("mnuDel")->Enabled());
  EXPECT_EQ(Rows(*m.ListView4), (std::vector<std::string>{"No additional driver found!"}));
  m.ListView4->ClickRow(0, true);
  EXPECT_TRUE(host.Boxes().empty());

  for (auto* list : {m.ListView1, m.ListView1_2, m.ListView3, m.ListView4, m.ListView5}) {
    EXPECT_EQ(list->KeyDown(0x20), 0u) << list->Name();
    EXPECT_EQ(list->KeyDown(0x28), 0u) << list->Name();
  }
  // A reload that finds entries brings the check boxes back.
  Set(Hive::CurrentUser, kBase + "Run", "New", "c:\\new.exe");
  m.reloadStartupLists();
  EXPECT_TRUE(m.ListView1->checkBoxes);
  EXPECT_EQ(m.ListView1->Items().size(), 1u);
}

TEST_F(StartupManagerTest, MessageHookEndsTheProgram) {
  auto p = StartProgram();
  EXPECT_FALSE(p->frmMain->Perform(1032));
  EXPECT_FALSE(p->app.Terminated());
  EXPECT_EQ(p->frmMain->ListView2->KeyDown(0x28), 0x28u);  // the services list keeps its keys
  EXPECT_TRUE(p->frmMain->Perform(1033));
  EXPECT_TRUE(p->app.Terminated());
}

TEST_F(StartupManagerTest, IniLinesSwitchByCommentingThemOut) {
  const std::string ini = "[boot]\r\n  Device=VMM32.VXD\r\nshell=Explorer.exe\r\n;Load=Old.DRV\r\n"
                          "DEVICE=vmm32.vxd \r\nloadhigh=x\r\n[386Enh]\n";
  WriteFile("C:\\WINDOWS\\System.ini", ini);
  WriteFile("C:\\WINDOWS\\Win.ini", "[windows]\r\nrun=\r\n");
  auto p = StartProgram();
  auto& m = *p->frmMain;
  m.Show();
  EXPECT_EQ(Rows(*m.ListView4), (std::vector<std::string>{"[x] device=vmm32.vxd", "[ ] ;load=old.drv",
                                                          "[x] device=vmm32.vxd", "[x] loadhigh=x"}));
  EXPECT_EQ(Rows(*m.ListView5), (std::vector<std::string>{"[x] run="}));

  m.PageControl->SetActivePage(2);
  m.ListView4->ClickRow(0, true);
  // Both equal lines are rewritten; every other line stays as it was.
  EXPECT_EQ(Read("C:\\WINDOWS\\System.ini"),
            "[boot]\r\n;device=vmm32.vxd\r\nshell=Explorer.exe\r\n;Load=Old.DRV\r\n;device=vmm32.vxd\r\n"
            "loadhigh=x\r\n[386Enh]\r\n");
  EXPECT_EQ(Rows(*m.ListView4), (std::vector<std::string>{"[ ] ;device=vmm32.vxd", "[ ] ;load=old.drv",
                                                          "[ ] ;device=vmm32.vxd", "[x] loadhigh=x"}));
  EXPECT_TRUE(m.ListView4->Focused());
  m.ListView4->ClickRow(1, true);
  EXPECT_NE(Read("C:\\WINDOWS\\System.ini").find("\r\nload=old.drv\r\n"), std::string::npos);
  EXPECT_FALSE(platform::FileExists(machine.Files(), "C:\\WINDOWS\\System.ini.new"));
}

TEST_F(StartupManagerTest, FailedIniWriteLeavesTheFileUntouched) {
  const std::string ini = "[boot]\r\ndevice=a.vxd\r\n";
  WriteFile("C:\\WINDOWS\\System.ini", ini);
  auto p = StartProgram();
  auto& m = *p->frmMain;
  m.Show();
  machine.SimFiles().FailWrites("C:\\WINDOWS", 4);
  SwitchFirstSystemIniRowFailing(m);
  EXPECT_EQ(Read("C:\\WINDOWS\\System.ini"), ini);
  // The list shows the file as it still is.
  EXPECT_EQ(Rows(*m.ListView4), (std::vector<std::string>{"[x] device=a.vxd"}));
}

TEST_F(StartupManagerTest, IniFileThatFailsToReadMidwayIsNotRewritten) {
  const std::string ini = "[boot]\r\ndevice=a.vxd\r\nshell=Explorer.exe\r\n[386Enh]\r\n";
  WriteFile("C:\\WINDOWS\\System.ini", ini);
  auto p = StartProgram();
  auto& m = *p->frmMain;
  m.Show();
  machine.SimFiles().FailReads("C:\\WINDOWS\\System.ini", 12);
  SwitchFirstSystemIniRowFailing(m);
  // Read past the simulated failure, straight from the disk.
  std::ifstream in(machine.SimFiles().HostPath("C:\\WINDOWS\\System.ini"), std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), ini);
}

TEST_F(StartupManagerTest, RewriteKeepsEveryLineBeyondTheListedOnes) {
  std::string ini;
  for (std::size_t i = 0; i < startup::kMaxIniLines; ++i) ini += "x\r\n";
  ini += "device=last.vxd\r\nkeep=me\r\n";
  EXPECT_EQ(startup::SplitLines(ini).size(), startup::kMaxIniLines);
  const std::string out = startup::RewriteIniLines(ini, "device=last.vxd", ";device=last.vxd");
  EXPECT_EQ(out.substr(out.size() - 29), "\r\n;device=last.vxd\r\nkeep=me\r\n");
  EXPECT_EQ(out.size(), ini.size() + 1);
}

TEST_F(StartupManagerTest, FilterNamesAreReadSafelyFromAnyValue) {
  using startup::FilterBuffer;
  using startup::FilterNames;
  using V = std::vector<std::string>;
  EXPECT_EQ(FilterNames(FilterBuffer(std::string("kbdclass\0\0", 10))), V{});
  EXPECT_EQ(FilterNames(FilterBuffer(std::string("kbdclass\0f1\0 f2 \0\0", 18))), (V{"f1", "f2"}));
  // No closing NULs, odd lengths, an empty first name, a full buffer.
  EXPECT_EQ(FilterNames(FilterBuffer(std::string("kbdclass\0f1", 11))), V{"f1"});
  EXPECT_EQ(FilterNames(FilterBuffer(std::string("k\0f", 3))), V{"f"});
  EXPECT_EQ(FilterNames(FilterBuffer(std::string("\0f1\0\0", 5))), V{});
  EXPECT_EQ(FilterNames(FilterBuffer(std::string(300, 'x'))), V{});
  EXPECT_EQ(startup::UpperFiltersWithout(FilterBuffer(std::string("kbdclass\0f1\0f2\0\0", 16)), "f2"),
            std::string("kbdclass\0f1\0\0", 13));
}

TEST_F(StartupManagerTest, DisablingAFilterRewritesTheValueAndParksTheDriver) {
  SetFilters(std::string("kbdclass\0klog\0spy\0ghost\0\0", 25));
  WriteFile("C:\\WINDOWS\\system32\\Drivers\\klog.sys", "driver");
  WriteFile("C:\\WINDOWS\\system32\\spy.sys", "driver");
  auto p = StartProgram();
  auto& m = *p->frmMain;
  m.Show();
  EXPECT_EQ(Rows(*m.ListView3),
            (std::vector<std::string>{"klog|C:\\WINDOWS\\system32\\Drivers\\klog.sys",
                                      "spy|C:\\WINDOWS\\system32\\spy.sys", "ghost|File not found"}));
  m.PageControl->SetActivePage(2);
  m.ListView3->ClickRow(1, false);
  m.PopupMenu1->Popup();
  EXPECT_TRUE(m.Find("mnuDel")->Enabled());
  host.Answer(ui::kIdNo, "Disable [spy] ?", "This action can not be undone!");
  m.Find("mnuDel")->Click();
  EXPECT_EQ(m.ListView3->Items().size(), 3u);

  host.Answer(ui::kIdYes, "Disable [spy] ?", "This action can not be undone!");
  m.Find("mnuDel")->Click();
  auto key = machine.Reg().Open(Hive::LocalMachine, kClass, platform::keyaccess::kRead);
  auto v = key->Query("UpperFilters");
  EXPECT_EQ(v->type, platform::ValueType::MultiString);
  EXPECT_EQ(v->data, std::string("kbdclass\0klog\0ghost\0\0", 21));
  EXPECT_FALSE(platform::FileExists(machine.Files(), "C:\\WINDOWS\\system32\\spy.sys"));
  EXPECT_TRUE(platform::FileExists(machine.Files(), "C:\\WINDOWS\\system32\\spy.sys.del"));

  m.ListView3->ClickRow(1, false);  // ghost: no file to rename
  host.Answer(ui::kIdYes, "Disable [ghost] ?");
  m.Find("mnuDel")->Click();
  EXPECT_EQ(machine.Reg().Open(Hive::LocalMachine, kClass, platform::keyaccess::kRead)->Query("UpperFilters")->data,
            std::string("kbdclass\0klog\0\0", 15));
  EXPECT_EQ(Rows(*m.ListView3), (std::vector<std::string>{"klog|C:\\WINDOWS\\system32\\Drivers\\klog.sys"}));

  SetFilters("kbdclass");  // a text value is outside what the page reads
  auto k = machine.Reg().Create(Hive::LocalMachine, kClass, platform::keyaccess::kAllAccess);
  k->WriteString("UpperFilters", "kbdclass");
  host.Answer(ui::kIdOk, "Invalid data type for 'UpperFilters'");
  m.ScanKeyboardFilterDriver();
  EXPECT_EQ(host.PendingAnswers(), 0u);
}

}  // namespace
