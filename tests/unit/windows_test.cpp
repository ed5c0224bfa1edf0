// The main window's commands and the action dialog, driven as a user does.
#include <gtest/gtest.h>

#include "app/options.h"
#include "tests/unit/program_fixture.h"

namespace {

using platform::Hive;

class WindowsTest : public ProgramFixture {
 protected:
  std::optional<std::uint32_t> ActionValue() {
    auto key = machine.Reg().Open(Hive::CurrentUser, app::kActionDialogKey,
                                  platform::keyaccess::kRead);
    return key ? key->ReadDword("0") : std::nullopt;
  }
};

TEST_F(WindowsTest, ScanQuestionAndCommands) {
  auto p = StartProgram();
  auto& f = *p->form1;
  int scans = 0;
  f.startQuickScan = [&] { ++scans; };
  const std::string question =
      "Would you like to scan your computer for Viruses, Malwares, Worms, Spyware & Adware?\r\r"
      "Important note:\rBefore scanning please close Internet Explorer/Internet Browsers and all "
      "Active Applications.";
  host.Answer(ui::kIdNo, question, "Question");
  f.Find("Button4")->Click();
  EXPECT_EQ(f.Note1->ActivePage(), 1);
  EXPECT_EQ(scans, 0);
  host.Answer(ui::kIdYes, question, "Question");
  f.Find("Button1")->Click();
  EXPECT_EQ(scans, 1);
  EXPECT_EQ(host.Boxes().back().spec.buttons, ui::Buttons::YesNo);
  EXPECT_EQ(host.Boxes().back().spec.icon, ui::Icon::Question);

  f.Find("Button2")->SetEnabled(true);
  int fixes = 0, stores = 0;
  f.startFix = [&] { ++fixes; };
  f.startAddToQuarantine = [&] { ++stores; };
  host.Answer(ui::kIdYes, "Do you want to fix selected alerts?", "Question");
  f.Find("Button2")->Click();
  host.Answer(ui::kIdNo, "Do you want to add selected alerts in Quarantine?", "Question");
  f.Find("xpButton5")->Click();
  host.Answer(ui::kIdYes, "Do you want to add selected alerts in Quarantine?", "Question");
  f.Find("mm2")->OnClick();
  EXPECT_EQ(fixes, 1);
  EXPECT_EQ(stores, 1);

  f.abortRequest = false;
  f.Find("Button3")->SetEnabled(true);
  f.Find("Button3")->Click();
  EXPECT_TRUE(f.abortRequest);

  struct Nav {
    const char* from;
    int page;
  } nav[] = {{"Button6", 0}, {"Button9", 3}, {"Button16", 0}, {"Button8", 2}, {"Button13", 0},
             {"xpButton15", 5}, {"xpButton8", 0}, {"Button18", 4}, {"Button19", 0}};
  for (const auto& n : nav) {
    f.Find(n.from)->Click();
    EXPECT_EQ(f.Note1->ActivePage(), n.page) << n.from;
  }

  f.Find("Button10")->Click();
  f.Find("xpButton6")->Click();
  f.Find("xpButton15")->Click();
  f.Find("xpButton13")->Click();
  EXPECT_TRUE(p->formR->Visible());
  EXPECT_TRUE(p->form9->Visible());
  EXPECT_TRUE(p->frmMain->Visible());
}

TEST_F(WindowsTest, HintsGoToStatusPanelZero) {
  auto p = StartProgram();
  auto& f = *p->form1;
  const std::pair<const char*, const char*> hints[] = {
      {"Button4", "Scan your computer for viruses."},
      {"Button17", "Exit program."},
      {"xpButton8", "Back to main window."},
      {"xpButton25", "Select language."},
      {"xpButton6", "Quarantine"},
      {"xpButton11", "Restart service list!"}};
  for (const auto& [control, text] : hints) {
    f.Find(control)->MouseMove();
    EXPECT_EQ(f.sb1->PanelText(0), text) << control;
  }
}

TEST_F(WindowsTest, ReportPagesOpenInTheBrowser) {
  auto p = StartProgram();
  auto& f = *p->form1;
  f.Find("xpButton3")->Click();
  f.Find("Button18")->Click();
  f.Find("xpButton2")->Click();
  const auto& calls = machine.SimSh().Calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].verb, "open");
  EXPECT_EQ(calls[0].file, "http://www.klaruvex-pro.example/reportbug.php");
  EXPECT_EQ(calls[0].show, platform::kShowNormal);
  EXPECT_EQ(calls[1].file, "http://www.klaruvex-pro.example/reportvirus.php");
}

TEST_F(WindowsTest, ShowingAgainRestartsTheUpdateCheck) {
  auto p = StartProgram();
  auto& f = *p->form1;
  int checks = 0;
  f.startupUpdateCheckRun = [&] { ++checks; };
  f.startupUpdateCheck = true;
  f.Hide();
  f.Show();
  EXPECT_TRUE(f.abortRequest);
  host.Advance(1999);
  EXPECT_EQ(checks, 0);
  host.Advance(1);
  EXPECT_EQ(checks, 1);
  host.Advance(10000);
  EXPECT_EQ(checks, 1);  // one shot
  f.Hide();
  f.Show();
  host.Advance(2000);
  EXPECT_EQ(checks, 2);

  f.cleanTimer = 0;
  f.Timer1->SetEnabled(true);
  host.Advance(1000);
  f.Timer1->SetEnabled(false);
  EXPECT_NEAR(static_cast<double>(f.cleanTimer), 1.0, 1e-9);
}

TEST_F(WindowsTest, ActionDialogRemembersItsChoice) {
  {
    auto p = StartProgram();  // a fresh profile: checked
    EXPECT_TRUE(p->form2->c1->Checked());
    p->form2->Timer1->SetEnabled(true);
    host.Advance(1000);
    EXPECT_TRUE(p->form2->Visible());
    EXPECT_FALSE(p->form1->Enabled());
    p->form1->Find("Button18")->Click();  // the main window takes no clicks now
    EXPECT_EQ(p->form1->Note1->ActivePage(), 0);
    p->form2->c1->SetChecked(false);
    p->form2->Find("Button2")->Click();
    EXPECT_FALSE(p->form2->Visible());
    EXPECT_TRUE(p->form1->Enabled());
    EXPECT_EQ(ActionValue(), 0u);
  }
  {
    auto p = StartProgram();
    EXPECT_FALSE(p->form2->c1->Checked());
  }
  // A value that is not a number reads as "show".
  machine.Reg()
      .Create(Hive::CurrentUser, app::kActionDialogKey, platform::keyaccess::kAllAccess)
      ->WriteString("0", "no");
  auto p = StartProgram();
  EXPECT_TRUE(p->form2->c1->Checked());
}

TEST_F(WindowsTest, ActionDialogButtons) {
  auto p = StartProgram();
  p->form1->startQuickScan = [] {};
  p->form2->Show();
  host.Answer(ui::kIdNo);
  p->form2->Find("Button1")->Click();  // closes, then scans
  EXPECT_FALSE(p->form2->Visible());
  EXPECT_EQ(p->form1->Note1->ActivePage(), 1);
  EXPECT_EQ(host.Boxes().back().spec.caption, "Question");
  EXPECT_EQ(ActionValue(), 1u);

  p->form2->Show();
  p->form2->Find("Button3")->Click();
  EXPECT_TRUE(p->formR->Visible());
  EXPECT_FALSE(p->form2->Visible());
  EXPECT_TRUE(p->form1->Enabled());
}

}  // namespace
