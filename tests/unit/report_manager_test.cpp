// The Report Manager: its rows from the live system, colours, context menus
// and the delete, terminate and stop commands with their retries.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "app/unattended.h"
#include "tests/unit/startup_fixture.h"

namespace {

using platform::Hive;
const std::string kRun = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

class ReportManagerTest : public StartupFixture {
 protected:
  // A machine with something in every group: three instances of one program
  // and another of the same file name elsewhere, a program whose file is
  // locked, a browser helper, Run values (one naming a missing file), a
  // Startup folder shortcut, a service and one whose binary is missing, and
  // a System.ini driver line.
  void SetUp() override {
    WriteFile(std::string(kFolder) + "RegBase.rgk",
              "2\r\n1\r\n" + kRun + "\r\nuser\r\n2\r\n" + kRun + "\r\nmachine\r\n");
    for (int i = 0; i < 3; ++i) Run("C:\\Tools\\worker.exe", "MZ worker 1234");
    Run("C:\\Other\\worker.exe", "MZ another worker");
    Run("C:\\Apps\\held.exe", "MZ held program");
    machine.SimFiles().Lock("C:\\Apps\\held.exe");
    WriteFile("C:\\Tools\\bho.dll", "MZ browser helper");
    Set(Hive::LocalMachine, kBho + "\\{B1}", "", "");
    Set(Hive::ClassesRoot, "CLSID\\{B1}\\InProcServer32", "", "C:\\Tools\\bho.dll");
    WriteFile("C:\\Tools\\tray.exe", "MZ tray program");
    Set(Hive::CurrentUser, kRun, "Tray", "C:\\Tools\\tray.exe");
    Set(Hive::CurrentUser, kRun, "Gone", "C:\\Gone\\missing.exe /quiet");
    Set(Hive::LocalMachine, kRun, "Agent", "C:\\Tools\\agent.exe");
    Set(Hive::CurrentUser, kShellFolders, "Startup", "C:\\SU");
    machine.Files().CreateDirectory("C:\\SU");
    ASSERT_EQ(machine.Sh().CreateShortcut("C:\\SU\\Tray.lnk", "C:\\Tools\\tray.exe"), platform::kOk);
    WriteFile("C:\\Tools\\agent.exe", "MZ service agent");
    AddService("Agent", "C:\\Tools\\agent.exe");
    AddService("Ghost", "C:\\Gone\\ghost.exe");
    WriteFile("C:\\WINDOWS\\system.ini", "[boot]\r\ndevice=C:\\Tools\\kbd.drv\r\n");
    WriteFile("C:\\Tools\\kbd.drv", "keyboard driver");
  }

  std::uint32_t Run(const std::string& path, const std::string& bytes) {
    if (!platform::FileExists(machine.Files(), path)) WriteFile(path, bytes);
    return machine.SimProcs().Start(path);
  }
  void AddService(const std::string& key, const std::string& path) {
    platform::sim::SimService s;
    s.keyName = s.displayName = key;
    s.binaryPath = path;
    s.state = platform::svc::kRunning;
    machine.SimSvc().Add(s);
  }

  // The program with the Report Manager shown.
  TFormR& Open() {
    program = StartProgram();
    program->form1->Find("Button10")->Click();
    return *program->formR;
  }
  int RowOf(const std::string& kind, const std::string& path) {
    const auto& items = program->formR->List1->Items();
    for (std::size_t i = 0; i < items.size(); ++i)
      if (items[i].caption == kind && items[i].subItems[0] == path) return static_cast<int>(i);
    ADD_FAILURE() << "no row " << kind << " " << path;
    return -1;
  }
  void Tick(const std::string& kind, const std::string& path) {
    program->formR->List1->ClickRow(RowOf(kind, path), true);
  }
  // Selects a row as a right click or the arrow keys do: no click event, so
  // the menu follows the row's kind.
  void Select(const std::string& kind, const std::string& path) {
    auto& list = *program->formR->List1;
    const int row = RowOf(kind, path);
    for (std::size_t i = 0; i < list.Items().size(); ++i) list.SetSelected(i, false);
    list.SetSelected(static_cast<std::size_t>(row), true);
  }
  bool Exists(const std::string& path) { return platform::FileExists(machine.Files(), path); }
  void Menu(const char* item) { program->formR->Find(item)->Click(); }

  const std::string kBho =
      "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects";
  const std::string kShellFolders = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
  std::unique_ptr<app::Program> program;
};

TEST_F(ReportManagerTest, SixGroupsInOrderWithSizes) {
  auto& r = Open();
  EXPECT_EQ(r.Caption(), "Report Manager");
  const std::string hkcu = "HKEY_CURRENT_USER\\" + kRun + "\\";
  const std::string hklm = "HKEY_LOCAL_MACHINE\\" + kRun + "\\";
  EXPECT_EQ(Rows(*r.List1, false),
            (std::vector<std::string>{
                "Proc|C:\\Tools\\worker.exe|14|", "Proc|C:\\Tools\\worker.exe|14|",
                "Proc|C:\\Tools\\worker.exe|14|", "Proc|C:\\Other\\worker.exe|17|",
                "Proc|C:\\Apps\\held.exe|0|",  // locked: cannot be read
                "Clsid|c:\\tools\\bho.dll|17|",
                "RegStartup|C:\\Tools\\tray.exe|15|" + hkcu,
                "RegStartup|C:\\Gone\\missing.exe /quiet|0|" + hkcu,
                "RegStartup|C:\\Tools\\agent.exe|16|" + hklm,
                "Startup|c:\\tools\\tray.exe|15|",
                "Service|c:\\tools\\agent.exe|16|",  // the ghost's binary resolves to nothing
                "System.ini|c:\\tools\\kbd.drv|15|"}));
  const std::vector<ui::ListColumn> columns = r.List1->Columns();
  ASSERT_EQ(columns.size(), 4u);
  EXPECT_EQ(columns[3].caption, "Key");
  EXPECT_EQ(columns[2].width, 70);

  // A registry base that cannot be read: no "RegStartup" rows, no message.
  machine.SimFiles().Lock(std::string(kFolder) + "RegBase.rgk");
  r.Find("xpButton1")->Click();
  EXPECT_EQ(r.List1->Items().size(), 9u);
  EXPECT_TRUE(host.Boxes().empty());
}

TEST_F(ReportManagerTest, TickedRowsYellowZeroSizesRedWhenPresentBlueWhenMissing) {
  auto& r = Open();
  auto colours = [&](const std::string& kind, const std::string& path) {
    auto c = r.List1->ItemColours(RowOf(kind, path));
    return std::to_string(c.text.value_or(0x1000000)) + "/" +
           std::to_string(c.background.value_or(0x1000000));
  };
  const std::string none = std::to_string(0x1000000);
  const std::string red = std::to_string(ui::clRed), blue = std::to_string(ui::clBlue),
                    yellow = std::to_string(ui::clYellow);
  EXPECT_EQ(colours("Proc", "C:\\Apps\\held.exe"), red + "/" + none);
  EXPECT_EQ(colours("RegStartup", "C:\\Gone\\missing.exe /quiet"), blue + "/" + none);
  EXPECT_EQ(colours("Clsid", "c:\\tools\\bho.dll"), none + "/" + none);
  Tick("Proc", "C:\\Apps\\held.exe");
  Tick("Clsid", "c:\\tools\\bho.dll");
  EXPECT_EQ(colours("Proc", "C:\\Apps\\held.exe"), red + "/" + yellow);
  EXPECT_EQ(colours("Clsid", "c:\\tools\\bho.dll"), none + "/" + yellow);
}

TEST_F(ReportManagerTest, MenuFollowsTheSelectedRowThenTheTickedRows) {
  auto& r = Open();
  auto menu = [&] { return r.List1->popupMenu ? r.List1->popupMenu->Name() : "none"; };
  EXPECT_EQ(menu(), "Pop1");
  const struct {
    const char* kind;
    const char* path;
    const char* menu;
  } selections[] = {{"Proc", "C:\\Other\\worker.exe", "Pop2"},
                    {"RegStartup", "C:\\Tools\\tray.exe", "Pop3"},
                    {"Service", "c:\\tools\\agent.exe", "Pop4"},
                    {"Startup", "c:\\tools\\tray.exe", "Pop1"}};
  for (const auto& s : selections) {
    Select(s.kind, s.path);
    EXPECT_EQ(menu(), s.menu) << s.kind;
    EXPECT_EQ(r.selectedPath, s.path);
  }
  // A left click on a row: the click comes after the selection, and with
  // nothing ticked it makes the menu the general one.
  r.List1->ClickRow(RowOf("Proc", "C:\\Other\\worker.exe"), false);
  EXPECT_EQ(menu(), "Pop1");
  // A click: the ticked rows decide.
  Tick("Proc", "C:\\Other\\worker.exe");
  EXPECT_EQ(menu(), "Pop2");
  Tick("Proc", "C:\\Apps\\held.exe");
  EXPECT_EQ(menu(), "Pop2");
  Tick("Service", "c:\\tools\\agent.exe");
  EXPECT_EQ(menu(), "Pop1");
  Tick("Service", "c:\\tools\\agent.exe");  // off again
  Tick("RegStartup", "C:\\Tools\\tray.exe");
  EXPECT_EQ(menu(), "Pop1");  // processes, then a value: general
  Tick("Proc", "C:\\Other\\worker.exe");
  Tick("Proc", "C:\\Apps\\held.exe");
  EXPECT_EQ(menu(), "Pop3");
  r.List1->ClickRow(-1, false);  // below the rows: still the ticked rows
  EXPECT_EQ(menu(), "Pop3");
}

TEST_F(ReportManagerTest, DeleteSelectedRetriesAndWalksAgainAfterEachDeletion) {
  auto& r = Open();
  WriteFile("C:\\Apps\\stuck.exe", "MZ a program that cannot be ended");
  machine.SimProcs().Get(machine.SimProcs().Start("C:\\Apps\\stuck.exe"))->canTerminate = false;
  r.Find("xpButton1")->Click();
  Tick("Proc", "C:\\Apps\\stuck.exe");
  Tick("RegStartup", "C:\\Tools\\tray.exe");

  // "No": nothing changes.
  host.Answer(ui::kIdNo, "Do you want to delete selected items?", "Question");
  r.Find("xpButton2")->Click();
  EXPECT_TRUE(Exists("C:\\Tools\\tray.exe"));

  host.Answer(ui::kIdYes, "Do you want to delete selected items?", "Question");
  host.Answer(ui::kIdOk, "Cannot delete file C:\\Apps\\stuck.exe.", "Error");
  host.Answer(ui::kIdOk, "Cannot delete file C:\\Apps\\stuck.exe.", "Error");
  const auto slept = host.SleptMs();
  r.Find("xpButton2")->Click();
  EXPECT_EQ(host.PendingAnswers(), 0u);
  EXPECT_EQ(host.Boxes().back().spec.icon, ui::Icon::Error);
  // Two attempts of about four seconds each on the stuck file, one pause on the other.
  EXPECT_GE(host.SleptMs() - slept, 8000u);
  EXPECT_LE(host.SleptMs() - slept, 8100u);
  EXPECT_FALSE(r.Timer1->Enabled());
  EXPECT_TRUE(Exists("C:\\Apps\\stuck.exe"));
  EXPECT_FALSE(Exists("C:\\Tools\\tray.exe"));
  // The registry base's values naming the file went with it.
  EXPECT_FALSE(Get(Hive::CurrentUser, kRun, "Tray"));
  EXPECT_TRUE(Get(Hive::CurrentUser, kRun, "Gone"));
  const int stuck = RowOf("Proc", "C:\\Apps\\stuck.exe");
  EXPECT_TRUE(r.List1->Items()[stuck].checked);
  for (const auto& row : r.List1->Items()) EXPECT_NE(row.subItems[0], "C:\\Tools\\tray.exe");
}

TEST_F(ReportManagerTest, AFileReleasedDuringTheRetriesIsDeleted) {
  auto& r = Open();
  // The lock goes a second into the retries, as a program ending late does.
  auto tick = r.Timer1->OnTimer;
  r.Timer1->OnTimer = [&] {
    tick();
    if (r.deleteClock > 1) machine.SimFiles().Unlock("C:\\Apps\\held.exe");
  };
  Select("Proc", "C:\\Apps\\held.exe");
  host.Answer(ui::kIdYes, "Do you want to delete selected proceses?", "Question");
  const auto slept = host.SleptMs();
  Menu("Deleteprocess1");
  EXPECT_EQ(host.PendingAnswers(), 0u);
  EXPECT_FALSE(Exists("C:\\Apps\\held.exe"));
  EXPECT_GE(host.SleptMs() - slept, 1000u);
  EXPECT_LE(host.SleptMs() - slept, 1030u);
  for (const auto& row : r.List1->Items()) EXPECT_NE(row.subItems[0], "C:\\Apps\\held.exe");
}

TEST_F(ReportManagerTest, AFileGoneAtOnceStillStopsItsServiceOnce) {
  auto& r = Open();
  Tick("Service", "c:\\tools\\agent.exe");
  host.Answer(ui::kIdYes, "Do you want to delete selected items?", "Question");
  const auto slept = host.SleptMs();
  r.Find("xpButton2")->Click();
  EXPECT_FALSE(Exists("C:\\Tools\\agent.exe"));
  // The retry loop ran, once: the service was stopped, no clock ran out.
  EXPECT_EQ(machine.SimSvc().Get("Agent")->state, platform::svc::kStopped);
  EXPECT_LT(host.SleptMs() - slept, 1000u);
  // The Run value naming the file went too.
  EXPECT_FALSE(Get(Hive::LocalMachine, kRun, "Agent"));
  for (const auto& row : r.List1->Items()) EXPECT_NE(row.caption, "Service");
}

TEST_F(ReportManagerTest, ServiceMenuStopsOrDeletesTheSelectedFile) {
  auto& r = Open();
  Select("Service", "c:\\tools\\agent.exe");
  ASSERT_EQ(r.List1->popupMenu, r.Pop4);
  const auto rows = r.List1->Items().size();
  Menu("MenuItem4");
  EXPECT_EQ(machine.SimSvc().Get("Agent")->state, platform::svc::kStopped);
  EXPECT_EQ(r.List1->Items().size(), rows);
  EXPECT_TRUE(host.Boxes().empty());

  host.Answer(ui::kIdNo, "Do you want to delete selected file?", "Question");
  Menu("MenuItem5");
  EXPECT_TRUE(Exists("C:\\Tools\\agent.exe"));
  host.Answer(ui::kIdYes, "Do you want to delete selected file?", "Question");
  Menu("MenuItem5");
  EXPECT_FALSE(Exists("C:\\Tools\\agent.exe"));
  EXPECT_FALSE(Get(Hive::LocalMachine, kRun, "Agent"));
  EXPECT_EQ(r.List1->Items().size(), rows - 1);

  // Nothing selected after a refresh: the single-row commands do nothing.
  r.Find("xpButton1")->Click();
  Menu("MenuItem5");
  EXPECT_EQ(host.PendingAnswers(), 0u);
}

TEST_F(ReportManagerTest, TerminateAndDeleteValuesRemoveTheirRows) {
  auto& r = Open();
  Tick("Proc", "C:\\Tools\\worker.exe");  // the first of three
  Menu("Terminateprocess1");
  // Every program of that file name ended, wherever its file lies.
  EXPECT_FALSE(machine.SimProcs().IsRunningImage("C:\\Tools\\worker.exe"));
  EXPECT_FALSE(machine.SimProcs().IsRunningImage("C:\\Other\\worker.exe"));
  EXPECT_EQ(r.List1->Items()[0].subItems[0], "C:\\Tools\\worker.exe");  // unticked rows stay
  EXPECT_EQ(r.List1->Items().size(), 11u);

  Select("Proc", "C:\\Apps\\held.exe");
  Menu("Terminateprocess1");
  EXPECT_FALSE(machine.SimProcs().IsRunningImage("C:\\Apps\\held.exe"));
  EXPECT_EQ(r.List1->Items().size(), 10u);

  Tick("RegStartup", "C:\\Gone\\missing.exe /quiet");
  Tick("RegStartup", "C:\\Tools\\tray.exe");
  Menu("MenuItem1");
  EXPECT_FALSE(Get(Hive::CurrentUser, kRun, "Gone"));
  EXPECT_FALSE(Get(Hive::CurrentUser, kRun, "Tray"));
  EXPECT_TRUE(Exists("C:\\Tools\\tray.exe"));
  EXPECT_EQ(r.List1->Items().size(), 8u);
  EXPECT_TRUE(host.Boxes().empty());
}

TEST_F(ReportManagerTest, SaveFullReportLogShowsTheLogOptimizer) {
  auto& r = Open();
  r.Find("xpButton3")->Click();
  EXPECT_TRUE(program->form12->Visible());
}

TEST_F(ReportManagerTest, UnattendedReportCarriesTheRows) {
  std::filesystem::create_directories(root / "out");
  ASSERT_EQ(app::RunProgram(machine, {"/scan", "/report", "C:\\out\\r.json"},
                            [] { return std::unique_ptr<ui::Host>(); }),
            app::kExitClean);
  std::string bytes;
  ASSERT_EQ(platform::ReadWholeFile(machine.Files(), "C:\\out\\r.json", bytes), platform::kOk);
  const auto rows = nlohmann::json::parse(bytes)["reportManager"];
  ASSERT_EQ(rows.size(), 12u);
  EXPECT_EQ(rows[4], (nlohmann::json{{"kind", "Proc"}, {"path", "C:\\Apps\\held.exe"}, {"size", 0}, {"key", ""}}));
  EXPECT_EQ(rows[7], (nlohmann::json{{"kind", "RegStartup"},
                                     {"path", "C:\\Gone\\missing.exe /quiet"},
                                     {"size", 0},
                                     {"key", "HKEY_CURRENT_USER\\" + kRun + "\\"}}));
  EXPECT_EQ(rows[11]["size"], 15);
}

}  // namespace
