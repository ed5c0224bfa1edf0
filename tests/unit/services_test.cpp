// The two service lists and their commands, on the simulated service
// control manager.
#include <gtest/gtest.h>

#include <cstdio>

#include "startup/services.h"
#include "startup/u_svc.h"
#include "tests/unit/program_fixture.h"

namespace {

namespace svc = platform::svc;
using platform::sim::SimService;

std::string Row(const ui::ListItem& r) {
  std::string s = r.caption;
  for (const auto& sub : r.subItems) s += "|" + sub;
  return s + "#" + std::to_string(r.imageIndex);
}

std::vector<std::string> Rows(const ui::ListView& list) {
  std::vector<std::string> out;
  for (const auto& r : list.Items()) out.push_back(Row(r));
  return out;
}

platform::VersionStrings Resource(const std::string& copyright, bool withCompany = true) {
  platform::VersionStrings v;
  for (const char* key : platform::kVersionKeys) v.values[key] = "x";
  if (!withCompany) v.values.erase("CompanyName");
  v.values["LegalCopyright"] = copyright;
  return v;
}

class ServicesTest : public ProgramFixture {
 protected:
  SimService& Add(const std::string& display, const std::string& key, const std::string& path,
                  std::uint32_t state = svc::kStopped, std::uint32_t startType = svc::kDemandStart) {
    SimService s;
    s.displayName = display;
    s.keyName = key;
    s.binaryPath = path;
    s.state = state;
    s.startType = startType;
    return Svc().Add(s);
  }
  platform::sim::SimServices& Svc() { return machine.SimSvc(); }

  // The program with the start-up manager shown on its services tab.
  std::unique_ptr<app::Program> Start() {
    auto p = StartProgram();
    p->frmMain->Show();
    if (auto* tabs = dynamic_cast<ui::PageBook*>(p->frmMain->Find("PageControl")))
      tabs->SetActivePage(1);
    return p;
  }
  static ui::ListView& Tab(app::Program& p) { return p.frmMain->Get<ui::ListView>("ListView2"); }
  static void Select(ui::ListView& list, const std::string& caption) {
    for (std::size_t i = 0; i < list.Items().size(); ++i)
      list.SetSelected(i, list.Items()[i].caption == caption);
  }
  static std::string Cell(const ui::ListView& list, const std::string& caption, std::size_t sub) {
    for (const auto& r : list.Items())
      if (r.caption == caption) return sub < r.subItems.size() ? r.subItems[sub] : "<none>";
    return "<no row>";
  }
  // "start stop restart mode" as enabled flags of the tab's buttons.
  static std::string Buttons(app::Program& p) {
    std::string s;
    for (const char* b : {"cmdServiceStart", "cmdServiceStop", "cmdServiceRestart",
                          "cmdServiceChangeStartupMode"})
      s += p.frmMain->Find(b)->Enabled() ? '1' : '0';
    return s;
  }
};

TEST_F(ServicesTest, RowsOfBothListsWithTheirTextsAndMarker) {
  const std::string ms = "(c) Microsoft Corporation. All rights reserved.";
  Add("Vendor Agent", "VendorAgent", "\"C:\\Program Files\\Vendor\\svc.exe\" -k", svc::kRunning,
      svc::kAutoStart);
  Svc().SetVersionStrings("C:\\Program Files\\Vendor\\svc.exe", Resource("(c) Vendor Ltd."));
  Add("net services", "netsvcs", "C:\\Windows\\system32\\svchost.exe -k netsvcs", svc::kRunning,
      svc::kAutoStart);
  Svc().SetVersionStrings("C:\\Windows\\system32\\svchost.exe", Resource(ms));
  Add("Thing Driver Host", "thing", "C:\\drv\\thing -x", svc::kPaused, svc::kDisabled);
  Svc().SetVersionStrings("C:\\drv\\thing.exe", Resource(ms));
  // Reading stops at the first key the resource lacks: the copyright is never reached.
  Add("Half Resource", "half", "C:\\half.exe", svc::kStopped, svc::kBootStart);
  Svc().SetVersionStrings("C:\\half.exe", Resource(ms, false));
  Add("Bare", "bare", "C:\\bare.exe", svc::kStartPending, svc::kDemandStart);
  Add("Blank Path", "blank", "   ", svc::kStopped, svc::kDemandStart);
  Add("Closed", "closed", "C:\\c.exe").openError = platform::kAccessDenied;
  Add("No Size", "nosize", "C:\\n.exe").configSizeError = platform::kAccessDenied;
  Add("No Config", "noconfig", "C:\\q.exe").configError = platform::kAccessDenied;
  Add("No Status", "nostatus", "C:\\s.exe", svc::kRunning).statusError = platform::kAccessDenied;
  SimService driver;
  driver.displayName = "Kernel Driver";
  driver.keyName = "kdrv";
  driver.type = svc::kDriver;
  Svc().Add(driver);

  auto p = Start();
  const std::vector<std::string> want = {
      "Bare|C:\\bare.exe|Stopped|Manual|bare#6",
      "Blank Path|   |Stopped|Manual|blank#3",
      "Closed|Can not open service!#3",
      "Half Resource|C:\\half.exe|Stopped|Automatic|half#6",
      "net services|C:\\Windows\\system32\\svchost.exe -k netsvcs|Running|Automatic|netsvcs#3",
      "No Config|Can not query information!|noconfig#3",
      "No Size|Can not get information!#3",
      "No Status|C:\\s.exe|Unknown|Manual|nostatus#6",
      "Thing Driver Host|C:\\drv\\thing -x|Paused|Disabled|thing#3",
      "Vendor Agent|\"C:\\Program Files\\Vendor\\svc.exe\" -k|Running|Automatic|VendorAgent#6",
  };
  EXPECT_EQ(Rows(Tab(*p)), want);
  EXPECT_EQ(Rows(*p->form1->ListView2), want);
  EXPECT_EQ(Tab(*p).Columns()[1].caption, "Path");
  EXPECT_EQ(Tab(*p).Columns()[1].width, 280);

  // The main window's refresh lists again, after the start-up manager's own lists.
  int reloads = 0;
  p->frmMain->reloadStartupLists = [&] { ++reloads; };
  Svc().Get("bare")->state = svc::kRunning;
  p->form1->Find("xpButton15")->Click();
  EXPECT_EQ(reloads, 1);
  EXPECT_EQ(p->form1->Note1->ActivePage(), 5);
  EXPECT_EQ(Cell(*p->form1->ListView2, "Bare", 1), "Running");
  EXPECT_EQ(Cell(Tab(*p), "Bare", 1), "Running");
  p->form1->Find("xpButton12")->Click();
  EXPECT_EQ(reloads, 2);
}

TEST_F(ServicesTest, ExecutableNamedByTheBinaryPath) {
  struct Case {
    const char* path;
    const char* file;
  } cases[] = {
      {"\"C:\\Program Files\\Vendor\\svc.exe\" -k", "C:\\Program Files\\Vendor\\svc.exe"},
      {"C:\\Windows\\system32\\svchost.exe -k netsvcs", "C:\\Windows\\system32\\svchost.exe"},
      {"C:\\drv\\thing -x", "C:\\drv\\thing.exe"},
      {"  C:\\plain  ", "C:\\plain.exe"},
      {"C:\\UP\\CASE.EXE -s", "C:\\UP\\CASE.EXE.exe"},  // ".exe" is looked for as written
      {"   ", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(startup::ServiceExecutable(c.path), c.file) << c.path;
  EXPECT_EQ(startup::ServicePropertiesFile("C:\\drv\\thing -x"), "C:\\drv\\thing");
}

TEST_F(ServicesTest, OnlyTheFirstBufferOfServicesIsListed) {
  // Each record takes 36 bytes and its two names: 36 + 101 + 101 = 238 bytes,
  // so 619 records fit into 147,492 bytes.
  for (int i = 0; i < 700; ++i) {
    char n[8];
    std::snprintf(n, sizeof(n), "%03d", i);
    Add("D" + std::string(n) + std::string(96, 'd'), "K" + std::string(n) + std::string(96, 'k'),
        "C:\\s.exe");
  }
  auto p = Start();
  const auto& rows = Tab(*p).Items();
  ASSERT_EQ(rows.size(), 619u);
  EXPECT_EQ(rows.back().caption.substr(0, 4), "D618");
}

TEST_F(ServicesTest, NormalUserAndOldWindowsGetOneRow) {
  Add("Spooler", "Spooler", "C:\\spool.exe", svc::kRunning, svc::kAutoStart);
  Svc().SetUserIsAdmin(false);
  auto p = Start();
  EXPECT_EQ(Rows(Tab(*p)), std::vector<std::string>{"|Can not get Service List!#-1"});
  EXPECT_EQ(Rows(*p->form1->ListView2), std::vector<std::string>{"|Can not get Service List!#-1"});

  p->msg.Set(111, "Dienstliste nicht lesbar!");
  p->form1->Find("xpButton15")->Click();
  EXPECT_EQ(Rows(Tab(*p)), std::vector<std::string>{"|Dienstliste nicht lesbar!#-1"});

  auto v = platform::sim::SimSystem::WindowsXpSp3();
  v.platformId = 1;
  machine.SimSys().SetVersion(v);
  startup::FillServiceLists(*p, false);
  for (ui::ListView* list : {&Tab(*p), p->form1->ListView2}) {
    EXPECT_EQ(Rows(*list), std::vector<std::string>{"|For Windows NT/2000/XP only!#-1"});
    EXPECT_FALSE(list->Enabled());
  }
}

TEST_F(ServicesTest, ButtonsFollowTheSelectedRow) {
  Add("Running Auto", "ra", "C:\\a.exe", svc::kRunning, svc::kAutoStart);
  Add("Paused", "pa", "C:\\a.exe", svc::kPaused, svc::kDemandStart);
  Add("Stopped Manual", "sm", "C:\\a.exe", svc::kStopped, svc::kDemandStart);
  Add("Running Disabled", "rd", "C:\\a.exe", svc::kRunning, svc::kDisabled);
  Add("Velmorix", "vx", "C:\\a.exe", svc::kRunning, svc::kAutoStart);
  Add("Broken", "br", "C:\\a.exe").configError = platform::kAccessDenied;
  auto p = Start();
  EXPECT_EQ(Buttons(*p), "0000");
  struct Case {
    const char* row;
    const char* buttons;  // start stop restart mode
  } cases[] = {{"Running Auto", "0111"}, {"Paused", "1001"},   {"Stopped Manual", "1001"},
               {"Running Disabled", "0001"}, {"Velmorix", "0000"}, {"Broken", "0000"}};
  for (const auto& c : cases) {
    Select(Tab(*p), c.row);
    EXPECT_EQ(Buttons(*p), c.buttons) << c.row;
  }
  startup::ChangeCmdStatus(*p->frmMain, false, &Tab(*p).Items()[0]);
  EXPECT_EQ(Buttons(*p), "0000");
}

TEST_F(ServicesTest, StartStopAndRestartFromTheTab) {
  Add("Mail", "mail", "C:\\mail.exe", svc::kStopped, svc::kAutoStart).pendingQueries = 3;
  Add("Bad", "bad", "C:\\bad.exe").startError = svc::kServiceRequestTimeout;
  auto p = Start();
  auto& tab = Tab(*p);
  Select(tab, "Mail");
  p->frmMain->Find("cmdServiceStart")->Click();
  EXPECT_EQ(Svc().Get("mail")->state, svc::kRunning);
  EXPECT_EQ(Cell(tab, "Mail", 1), "Running");
  EXPECT_EQ(Buttons(*p), "0111");
  EXPECT_TRUE(tab.Enabled());
  EXPECT_TRUE(tab.Focused());
  EXPECT_EQ(host.Cursors(), (std::vector<std::string>{"TabSheet2 hourglass", "TabSheet2 default"}));
  // Three looks at the pending service, each after the shortest poll.
  EXPECT_EQ(host.SleptMs(), 3 * startup::kSvcMinPollMs);

  p->frmMain->Find("cmdServiceRestart")->Click();
  EXPECT_EQ(Svc().Log(), (std::vector<std::string>{"Start mail", "Stop mail", "Start mail"}));
  EXPECT_EQ(Cell(tab, "Mail", 1), "Running");
  p->frmMain->Find("cmdServiceStop")->Click();
  EXPECT_EQ(Cell(tab, "Mail", 1), "Stopped");
  EXPECT_EQ(Buttons(*p), "1001");

  // A service that does not start keeps its previous status text.
  Select(tab, "Bad");
  p->frmMain->Find("cmdServiceStart")->Click();
  EXPECT_EQ(Cell(tab, "Bad", 1), "Stopped");
  EXPECT_EQ(Svc().Get("bad")->state, svc::kStopped);

  // Without administrator rights nothing changes, silently.
  Svc().SetUserIsAdmin(false);
  Select(tab, "Mail");
  p->frmMain->Find("cmdServiceStart")->Click();
  EXPECT_EQ(Cell(tab, "Mail", 1), "Stopped");
  EXPECT_EQ(Svc().Get("mail")->state, svc::kStopped);
  EXPECT_TRUE(host.Boxes().empty());
}

TEST_F(ServicesTest, WaitsAreBounded) {
  struct Case {
    const char* name;
    int pendingQueries;
    bool goesBack;
    std::uint32_t waitHint;
    bool started;
    std::uint64_t slept;
  } cases[] = {
      // Pending for ever with a fixed check point: given up after the limit.
      {"Forever", -1, false, 0, false, startup::kSvcWaitLimitMs},
      // A long wait hint is looked at every second all the same.
      {"Slow", 5, false, 60000, true, 5 * startup::kSvcMaxPollMs},
      // A check point that goes back ends the wait at once.
      {"Back", 5, true, 2000, false, startup::kSvcMaxPollMs},
  };
  for (const auto& c : cases) {
    auto& s = Add(c.name, c.name, "C:\\x.exe");
    s.pendingQueries = c.pendingQueries;
    s.checkPointGoesBack = c.goesBack;
    s.waitHint = c.waitHint;
  }
  auto p = Start();
  for (const auto& c : cases) {
    const auto before = host.SleptMs();
    Select(Tab(*p), c.name);
    p->frmMain->Find("cmdServiceStart")->Click();
    EXPECT_EQ(Cell(Tab(*p), c.name, 1), c.started ? "Running" : "Stopped") << c.name;
    EXPECT_EQ(host.SleptMs() - before, c.slept) << c.name;
  }
  // The stop waits the same way.
  Svc().Get("Forever")->state = svc::kRunning;
  Svc().Get("Forever")->target = 0;
  const auto before = host.SleptMs();
  EXPECT_FALSE(startup::SvcStop(Svc(), "", "Forever", [&](std::uint32_t ms) { host.Sleep(ms); }));
  EXPECT_EQ(host.SleptMs() - before, startup::kSvcWaitLimitMs);
}

TEST_F(ServicesTest, StartupTypeFromTheMenu) {
  Add("Mail", "mail", "C:\\mail.exe", svc::kRunning, svc::kAutoStart);
  auto p = Start();
  auto& tab = Tab(*p);
  Select(tab, "Mail");
  p->frmMain->Find("cmdServiceChangeStartupMode")->Click();
  EXPECT_EQ(host.Popups(), std::vector<std::string>{"PopupMenu2"});
  // The code goes by the item, whatever its caption says.
  p->frmMain->Find("mnuManual")->SetCaption("&Manuell");
  p->frmMain->Find("mnuManual")->Click();
  EXPECT_EQ(Svc().Get("mail")->startType, svc::kDemandStart);
  EXPECT_EQ(Cell(tab, "Mail", 2), "Manual");
  p->frmMain->Find("mnuDisabled")->Click();
  EXPECT_EQ(Cell(tab, "Mail", 2), "Disabled");
  EXPECT_EQ(Buttons(*p), "0001");
  p->frmMain->Find("mnuAutomatic")->Click();
  EXPECT_EQ(Svc().Log(), (std::vector<std::string>{"Config mail 3", "Config mail 4",
                                                   "Config mail 2"}));
  EXPECT_EQ(Cell(tab, "Mail", 2), "Automatic");

  Svc().SetUserIsAdmin(false);
  p->frmMain->Find("mnuDisabled")->Click();
  EXPECT_EQ(Cell(tab, "Mail", 2), "Automatic");
  EXPECT_EQ(Svc().Get("mail")->startType, svc::kAutoStart);
}

TEST_F(ServicesTest, MainWindowPageCommands) {
  Add("Mail", "mail", "C:\\mail.exe", svc::kRunning, svc::kAutoStart);
  auto p = Start();
  auto& f = *p->form1;
  f.Find("xpButton15")->Click();
  // Nothing selected: nothing done.
  f.Find("xpButton9")->Click();
  f.Find("xpButton11")->Click();
  EXPECT_TRUE(Svc().Log().empty());

  p->msg.Set(112, "Laeuft");
  p->msg.Set(113, "Beendet");
  Select(*f.ListView2, "Mail");
  f.Find("xpButton9")->Click();
  EXPECT_EQ(Cell(*f.ListView2, "Mail", 1), "Beendet");
  f.Find("xpButton10")->Click();
  EXPECT_EQ(Cell(*f.ListView2, "Mail", 1), "Laeuft");
  EXPECT_TRUE(f.ListView2->Focused());
  EXPECT_EQ(host.Cursors(), (std::vector<std::string>{f.Name() + " hourglass", f.Name() + " default",
                                                      f.Name() + " hourglass", f.Name() + " default"}));
  f.Find("xpButton11")->Click();
  EXPECT_EQ(Svc().Log(),
            (std::vector<std::string>{"Stop mail", "Start mail", "Stop mail", "Start mail"}));
  EXPECT_EQ(Svc().Get("mail")->state, svc::kRunning);
  // The other list keeps what it showed until its next listing.
  EXPECT_EQ(Cell(Tab(*p), "Mail", 1), "Running");

  // The tab's buttons follow the tab's own selection again.
  Select(Tab(*p), "Mail");
  Select(*f.ListView2, "Mail");
  f.Find("xpButton9")->Click();
  EXPECT_EQ(Buttons(*p), "0111");

  // "Details" shows the start-up manager.
  p->frmMain->Hide();
  f.Find("xpButton13")->Click();
  EXPECT_TRUE(p->frmMain->Visible());
  f.Find("xpButton12")->MouseMove();
  EXPECT_EQ(f.sb1->PanelText(0), "Refresh Services list!");
}

TEST_F(ServicesTest, StopServiceByPathMatchesTheBeginningOfThePath) {
  Add("A First", "first", "C:\\Apps\\Tool.exe -a", svc::kRunning).stopError =
      svc::kServiceCannotAcceptCtrl;
  Add("B Second", "second", "c:\\apps\\tool.exe /service", svc::kRunning);
  Add("C Third", "third", "C:\\apps\\tool.exe", svc::kRunning);
  Add("D Other", "other", "C:\\Other\\tool.exe", svc::kRunning);
  auto p = Start();
  EXPECT_TRUE(startup::StopServiceByPath(*p, "C:\\APPS\\TOOL.EXE"));
  // The first match does not stop; the walk goes on to the next and ends there.
  EXPECT_EQ(Svc().Log(), (std::vector<std::string>{"Stop first", "Stop second"}));
  EXPECT_EQ(Cell(Tab(*p), "B Second", 1), "Stopped");
  EXPECT_EQ(Cell(Tab(*p), "C Third", 1), "Running");
  EXPECT_EQ(Svc().Get("third")->state, svc::kRunning);

  EXPECT_FALSE(startup::StopServiceByPath(*p, "C:\\nowhere\\tool.exe"));
  EXPECT_FALSE(startup::StopServiceByPath(*p, ""));
  EXPECT_EQ(Svc().Log().size(), 2u);
}

TEST_F(ServicesTest, DoubleClickOpensThePropertiesOfTheFile) {
  Add("Vendor Agent", "VendorAgent", "\"C:\\Program Files\\Vendor\\svc.exe\" -k", svc::kRunning);
  auto p = Start();
  Select(Tab(*p), "Vendor Agent");
  Tab(*p).OnDblClick();
  EXPECT_EQ(host.Cursors(), (std::vector<std::string>{"ListView2 hourglass", "ListView2 default"}));
  EXPECT_EQ(host.SleptMs(), 500u);
  ASSERT_EQ(machine.SimSh().Calls().size(), 1u);
  EXPECT_EQ(machine.SimSh().Calls()[0].verb, "properties");
  EXPECT_EQ(machine.SimSh().Calls()[0].file, "C:\\Program Files\\Vendor\\svc.exe");
}

}  // namespace
