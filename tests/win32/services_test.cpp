// Both service lists over the real service control manager: a test service
// built for the purpose is listed, started, stopped, restarted and
// reconfigured from the real windows.
#include <gtest/gtest.h>

#include "app/all_windows.h"
#include "app/program.h"
#include "platform/text.h"
#include "platform/win32/machine.h"
#include "startup/services.h"
#include "startup/u_svc.h"

namespace {

namespace svc = platform::svc;

constexpr const char* kKey = "KvxHostTestSvc";
constexpr const char* kDisplay = "Klaruvex Host Test Service";

class Win32Services : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = platform::ExtractFilePath(machine->Sys().ModulePath());
    command = folder + "kvx_testsvc.exe -service";
    auto manager = machine->Svc().OpenManager("", svc::kManagerAllAccess);
    ASSERT_TRUE(manager);
    platform::Status err = platform::kOk;
    ASSERT_TRUE(manager->CreateService(kKey, kDisplay, command, svc::kDemandStart, &err)) << err;
    ASSERT_TRUE(p.Start());
    p.form1->Show();
    host->ProcessMessages();
  }
  void TearDown() override {
    auto manager = machine->Svc().OpenManager("", svc::kManagerAllAccess);
    if (!manager) return;
    if (auto s = manager->OpenService(kKey, svc::kAllAccess)) {
      platform::ServiceStatus st;
      s->Control(svc::kControlStop, st);
      s->Delete();
    }
  }
  // The row of the test service as the real list view shows it.
  std::string RealRow(const ui::ListView& list) {
    for (const auto& row : host->WindowRows(list))
      if (row.rfind(std::string(kDisplay) + "|", 0) == 0) return row;
    return "<none>";
  }
  void Select(ui::ListView& list) {
    for (std::size_t i = 0; i < list.Items().size(); ++i)
      list.SetSelected(i, list.Items()[i].caption == kDisplay);
  }
  std::uint32_t State() {
    auto manager = machine->Svc().OpenManager("", svc::kManagerConnect);
    auto s = manager ? manager->OpenService(kKey, svc::kQueryStatus) : nullptr;
    platform::ServiceStatus st;
    return s && s->QueryStatus(st) == platform::kOk ? st.currentState : 0;
  }
  std::uint32_t StartType() {
    auto manager = machine->Svc().OpenManager("", svc::kManagerConnect);
    auto s = manager ? manager->OpenService(kKey, svc::kQueryConfig) : nullptr;
    std::uint32_t needed = 0;
    platform::ServiceConfig c;
    if (!s || s->QueryConfigSize(needed) != svc::kInsufficientBuffer ||
        s->QueryConfig(needed, c) != platform::kOk)
      return 99;
    return c.startType;
  }

  std::unique_ptr<platform::Machine> machine = platform::win32::CreateMachine();
  std::unique_ptr<platform::win32::Win32Host> host = platform::win32::CreateHost();
  app::Program p{*machine, *host};
  std::string folder, command;
};

TEST_F(Win32Services, BothListsShowAndChangeARealService) {
  auto& f = *p.form1;
  auto& tab = p.frmMain->Get<ui::ListView>("ListView2");
  const std::string stopped = std::string(kDisplay) + "|" + command + "|Stopped|Manual";

  // Creating the start-up manager listed the services into both lists.
  bool found = false;
  for (const auto& row : tab.Items()) {
    if (row.caption != kDisplay) continue;
    found = true;
    EXPECT_EQ(row.subItems, (std::vector<std::string>{command, "Stopped", "Manual", kKey}));
    EXPECT_EQ(row.imageIndex, startup::kNonMicrosoftImage);  // its copyright is our own
  }
  EXPECT_TRUE(found);
  EXPECT_GT(tab.Items().size(), 1u);  // Wine's own services too

  host->ClickWindow(*f.Find("xpButton15"));
  host->ProcessMessages();
  EXPECT_EQ(f.Note1->ActivePage(), 5);
  EXPECT_TRUE(host->WindowShown(*f.ListView2));
  EXPECT_EQ(RealRow(*f.ListView2), stopped);

  Select(*f.ListView2);
  host->ClickWindow(*f.Find("xpButton10"));
  EXPECT_EQ(State(), svc::kRunning);
  EXPECT_EQ(RealRow(*f.ListView2), std::string(kDisplay) + "|" + command + "|Running|Manual");
  host->ClickWindow(*f.Find("xpButton11"));
  EXPECT_EQ(State(), svc::kRunning);
  host->ClickWindow(*f.Find("xpButton9"));
  EXPECT_EQ(State(), svc::kStopped);
  EXPECT_EQ(RealRow(*f.ListView2), stopped);

  // The start-up manager's tab: start type and start through its buttons.
  p.frmMain->Show();
  if (auto* tabs = dynamic_cast<ui::PageBook*>(p.frmMain->Find("PageControl")))
    tabs->SetActivePage(1);
  host->ProcessMessages();
  Select(tab);
  p.frmMain->Find("mnuDisabled")->Click();
  EXPECT_EQ(StartType(), svc::kDisabled);
  EXPECT_EQ(RealRow(tab), std::string(kDisplay) + "|" + command + "|Stopped|Disabled");
  EXPECT_FALSE(host->WindowEnabled(*p.frmMain->Find("cmdServiceStart")));
  p.frmMain->Find("mnuAutomatic")->Click();
  EXPECT_EQ(StartType(), svc::kAutoStart);
  EXPECT_TRUE(host->WindowEnabled(*p.frmMain->Find("cmdServiceStart")));
  host->ClickWindow(*p.frmMain->Find("cmdServiceStart"));
  EXPECT_EQ(State(), svc::kRunning);
  EXPECT_EQ(RealRow(tab), std::string(kDisplay) + "|" + command + "|Running|Automatic");

  // The Report Manager's way: by the file's path, letter case aside.
  EXPECT_TRUE(startup::StopServiceByPath(p, platform::UpperCase(folder) + "kvx_testsvc.exe"));
  EXPECT_EQ(State(), svc::kStopped);
  EXPECT_EQ(RealRow(tab), std::string(kDisplay) + "|" + command + "|Stopped|Automatic");
}

}  // namespace
