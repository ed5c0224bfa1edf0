#include <gtest/gtest.h>

#include "app/language.h"
#include "app/language_window.h"
#include "app/options.h"
#include "tests/unit/allocation_failure.h"
#include "tests/unit/program_fixture.h"

namespace {

using platform::Hive;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::size_t start = 0;
  for (std::size_t p; (p = text.find("\r\n", start)) != std::string::npos; start = p + 2)
    out.push_back(text.substr(start, p - start));
  return out;
}

std::string Enciphered(std::string text) {
  update::EncipherInPlace(text, update::LanguageKey());
  return text;
}

class LanguageTest : public ProgramFixture {
 protected:
  void InstallLanguage(const std::string& name, const std::string& bytes) {
    WriteFile(std::string(kFolder) + "Languages\\" + name, bytes);
  }
  void SetLanguageOption(const std::string& value) {
    machine.Reg()
        .Create(Hive::CurrentUser, app::kOptionsKey, platform::keyaccess::kAllAccess)
        ->WriteString("Language", value);
  }
  std::optional<std::string> LanguageOption() {
    return app::ReadLanguageOption(machine.Reg());
  }
  // Selects a language in the window as the user does and presses Apply.
  void OpenLanguageWindow(app::Program& p) {
    p.form1->Find("Button18")->Click();  // "Select language" is on the About page
    p.form1->Find("xpButton25")->Click();
  }
  void ApplyInWindow(app::Program& p, const std::string& name) {
    OpenLanguageWindow(p);
    ASSERT_TRUE(p.formL->Visible());
    const auto& items = p.formL->List1->Items();
    auto it = std::find(items.begin(), items.end(), name);
    ASSERT_NE(it, items.end()) << name;
    p.formL->List1->SetItemIndex(static_cast<int>(it - items.begin()));
    p.formL->xpButton1->Click();
  }
};

TEST_F(LanguageTest, TemplateRightAfterStartHoldsTheShippedTexts) {
  // Window, control and caption of every line of the control section.
  const struct {
    const char* form;
    const char* control;
    const char* caption;
  } kControls[] = {
      {"TForm1", "Button17", "Close"},
      {"TForm1", "Button18", "About"},
      {"TForm1", "Button4", "Scan for viruses"},
      {"TForm1", "Button7", "Update"},
      {"TForm1", "Button8", "Process Manager"},
      {"TForm1", "Button9", "Startup files"},
      {"TForm1", "Button10", "Full report log"},
      {"TForm1", "xpButton3", "Report bug"},
      {"TForm1", "xpButton4", "Report virus"},
      {"TForm1", "xpButton6", "Quarantine"},
      {"TForm1", "xpButton15", "Services Manager"},
      {"TForm1", "Label1", "Worms && Viruses list:"},
      {"TForm1", "Button1", "Quick scan"},
      {"TForm1", "Button2", "Fix"},
      {"TForm1", "Button3", "Abort"},
      {"TForm1", "Button6", "Back"},
      {"TForm1", "xpButton5", "Add to Quarantine"},
      {"TForm1", "Label3", "Active processes:"},
      {"TForm1", "Button11", "End Task"},
      {"TForm1", "Button12", "Refresh"},
      {"TForm1", "Button13", "Back"},
      {"TForm1", "cbx1", "Delete process from your hard drive!"},
      {"TForm1", "Label4", "Startup files:"},
      {"TForm1", "Button14", "Delete values"},
      {"TForm1", "Button15", "Refresh"},
      {"TForm1", "Button16", "Back"},
      {"TForm1", "xpButton14", "Details"},
      {"TForm1", "Button19", "Back"},
      {"TForm1", "xpButton1", "Report bug"},
      {"TForm1", "xpButton2", "Report virus"},
      {"TForm1", "xpButton25", "Select language"},
      {"TForm1", "xpButton8", "Back"},
      {"TForm1", "xpButton9", "Stop Service"},
      {"TForm1", "xpButton10", "Start Service"},
      {"TForm1", "xpButton11", "Restart Service"},
      {"TForm1", "xpButton12", "Refresh"},
      {"TForm1", "xpButton13", "Details"},
      {"TForm2", "Label1", "Welcome, Klaruvex Pro"},
      {"TForm2", "Button1", "Scan for viruses"},
      {"TForm2", "Button3", "Full report log"},
      {"TForm2", "Button2", "Close action window"},
      {"TForm2", "c1", "Show this dialog next time on startup."},
      {"TForm3", "Label1", "Scan drives c:\\;"},
      {"TForm3", "xpButton2", "Refresh"},
      {"TForm3", "xpButton1", "Scan"},
      {"TForm3", "xpButton3", "Abort"},
      {"TForm4", "Label1", "New Version: 0.0.0"},
      {"TForm4", "Label2", "Transfer"},
      {"TForm4", "xpButton1", "Cancel"},
      {"TForm9", "xpButton1", "Close"},
      {"TForm9", "xpButton2", "Restore selected tasks"},
      {"TForm9", "xpButton3", "Add Task"},
      {"TForm9", "xpButton4", "Remove Task"},
      {"TForm9", "xpButton5", "Clear Quarantine"},
      {"TForm9", "xpButton6", "Refresh"},
      {"TfrmMain", "Label1", "NOTE: Some changes will not take effect until the Computer is restarted."},
      {"TfrmMain", "Label11", "Registry:"},
      {"TfrmMain", "Label12", "Startup Folder:"},
      {"TfrmMain", "Label4", "NOTE: Some Non-Microsoft Services may be Parts of SpyWare. To test a Service is a SpyWare or not, do the following steps:"},
      {"TfrmMain", "Label5", "1. Run Velmorix software."},
      {"TfrmMain", "Label17", "NOTE:"},
      {"TfrmMain", "Label18", "= Non-Microsoft Service"},
      {"TfrmMain", "cmdServiceRestart", "Restart Service"},
      {"TfrmMain", "cmdServiceStop", "Stop Service"},
      {"TfrmMain", "cmdServiceStart", "Start Service"},
      {"TfrmMain", "cmdServiceChangeStartupMode", "Startup mode"},
      {"TfrmMain", "Label2", "NOTE: Some Keyboard Filter Drivers is Parts of Spyware. In Standard Windows OS, there is no Keyboard Filter Driver. You should remove all Keyboard Filter Drivers in your Computer!"},
      {"TfrmMain", "Label3", "NOTE: Some Drivers maybe Parts of SpyWare. You should disable all unknown Drivers in your Computer!"},
      {"TfrmMain", "Label8", "Keyboard Filter Driver:"},
      {"TfrmMain", "Label9", "System.ini:"},
      {"TfrmMain", "Label10", "Win.ini:"},
      {"TfrmMain", "mnuInf", "&Detail Information"},
      {"TfrmMain", "N1", "-"},
      {"TfrmMain", "mnuDel", "&Remove from Startup List"},
      {"TfrmMain", "mnuAutomatic", "&Automatic"},
      {"TfrmMain", "mnuManual", "&Manual"},
      {"TfrmMain", "mnuDisabled", "&Disabled"},
      {"TFormL", "xpButton1", "Apply"},
      {"TFormL", "xpButton2", "Default"},
      {"TFormL", "xpButton3", "Save default language"},
      {"TForm12", "xpCheckBox1", "Startup files."},
      {"TForm12", "xpCheckBox2", "Active Services."},
      {"TForm12", "xpCheckBox3", "Active processes."},
      {"TForm12", "xpCheckBox4", "Infected files."},
      {"TForm12", "xpButton1", "Build log"},
      {"TForm12", "xpButton2", "Cancel"},
  };
  auto p = StartProgram();
  auto lines = Lines(app::LanguageTemplate(*p));
  ASSERT_EQ(lines.size(), 1u + 86 + 179);
  EXPECT_EQ(lines[0], "begin():");
  ASSERT_EQ(std::size(kControls), 86u);
  for (std::size_t i = 0; i < 86; ++i) {
    EXPECT_EQ(lines[1 + i], kControls[i].caption) << "line " << i + 1;
    auto* form = p->app.FindForm(kControls[i].form);
    ASSERT_TRUE(form) << kControls[i].form;
    auto* c = form->Find(kControls[i].control);
    ASSERT_TRUE(c) << kControls[i].control;
    EXPECT_EQ(c->Caption(), kControls[i].caption) << kControls[i].control;
  }
  // Message section: 0 to 20, then 128, ...
  EXPECT_EQ(lines[87], "Sending log...");
  EXPECT_EQ(lines[87 + 21], p->msg[128]);
  EXPECT_EQ(lines[87 + 29], "");  // 130 has no text
  EXPECT_EQ(lines[87 + 178], "Build log about");
  const auto& order = app::MessageSectionOrder();
  for (std::size_t i = 0; i < order.size(); ++i) EXPECT_EQ(lines[87 + i], p->msg[order[i]]);
}

TEST_F(LanguageTest, ShippedTranslationChangesTheWindowsAndIsRemembered) {
  InstallLanguage("German.vlng", DemoFile("Languages/German.vlng"));
  auto p = StartProgram();
  auto& f = *p->form1;
  ASSERT_EQ(p->formL->List1->Items(), std::vector<std::string>{"German.vlng"});
  EXPECT_FALSE(p->formL->xpButton1->Enabled());

  ApplyInWindow(*p, "German.vlng");
  EXPECT_FALSE(p->formL->Visible());
  EXPECT_EQ(LanguageOption(), "German.vlng");
  EXPECT_EQ(f.Find("Button4")->Caption(), "Nach Viren suchen");
  EXPECT_EQ(f.Find("Button17")->Caption(), "Schlie\xDF" "en");
  EXPECT_EQ(f.Find("Label1")->Caption(), "W\xFCrmer && Viren:");
  EXPECT_EQ(p->form2->c1->Caption(), "Dieses Fenster beim n\xE4" "chsten Start wieder zeigen.");
  EXPECT_EQ(p->form12->Find("xpButton2")->Caption(), "Abbrechen");
  EXPECT_EQ(p->msg[62], "Letzte Aktualisierung: ");
  EXPECT_EQ(f.sb1->PanelText(2), "Letzte Aktualisierung: Database date: 2026-12-01 (r0001)");
  EXPECT_EQ(f.GroupBox1->Caption(), "Willkommen");
  EXPECT_EQ(f.Find("xpButtonOptions")->Caption(), "Scan with Options");  // added, never translated
  // Texts the program sets itself stay.
  EXPECT_EQ(f.sb1->PanelText(1), "Klaruvex Pro - SE");
  EXPECT_EQ(p->msg[169], "");
  for (int i = 180; i <= 198; ++i) EXPECT_EQ(p->msg[i], app::MessageTable::Default(i)) << i;
  // Windows outside the list are never translated.
  EXPECT_EQ(p->formR->Caption(), "Report Manager");

  // The next start applies it again.
  app::Program again(machine, host);
  ASSERT_TRUE(again.Start());
  EXPECT_EQ(again.form1->Find("Button4")->Caption(), "Nach Viren suchen");
  EXPECT_EQ(again.msg[104], "Ihre Datenbank ist veraltet, m\xF6" "chten Sie sie aktualisieren?");
}

TEST_F(LanguageTest, StartWithoutOrWithDefaultLanguageKeepsTheDefaults) {
  InstallLanguage("German.vlng", DemoFile("Languages/German.vlng"));
  for (const char* option : {"", "Default", "Missing.vlng"}) {
    if (*option) SetLanguageOption(option);
    auto p = StartProgram();
    EXPECT_EQ(p->form1->Find("Button4")->Caption(), "Scan for viruses") << option;
    for (int i = 0; i < app::MessageTable::kCount; ++i)
      EXPECT_EQ(p->msg[i], app::MessageTable::Default(i)) << option << " " << i;
    EXPECT_EQ(p->formL->List1->Items().size(), 1u);  // the list is filled all the same
    EXPECT_TRUE(host.Boxes().empty());
  }
}

TEST_F(LanguageTest, HeaderIsSkippedAndTheEndOfTheTextReadsAsEnd) {
  auto p = StartProgram();
  std::string body = "begin():\r\n";
  for (int i = 0; i < 86; ++i) body += "C" + std::to_string(i) + "\r\n";
  for (int i = 0; i < 179; ++i) body += "M" + std::to_string(i) + "\r\n";
  // Ending right after the line of entry 179: it reads as "_end".
  EXPECT_EQ(app::ApplyLanguageText(*p, "My language\r\nby me\r\n" + body),
            app::LanguageResult::Applied);
  EXPECT_EQ(p->form1->Find("Button17")->Caption(), "C0");
  EXPECT_EQ(p->form12->Find("xpButton2")->Caption(), "C85");
  EXPECT_EQ(p->msg[0], "M0");
  EXPECT_EQ(p->msg[128], "M21");
  EXPECT_EQ(p->msg[178], "M177");
  EXPECT_EQ(p->msg[179], "_end");
  // One line more gives entry 179 its own text.
  app::ApplyLanguageText(*p, body + "\r\n");
  EXPECT_EQ(p->msg[179], "M178");
  // A short file: every read past its end gives "_end".
  app::ApplyLanguageText(*p, "begin():\r\nOnly\r\nTwo\r\n");
  EXPECT_EQ(p->form1->Find("Button17")->Caption(), "Only");
  EXPECT_EQ(p->form1->Find("Button18")->Caption(), "_end");
  EXPECT_EQ(p->msg[0], "_end");
}

TEST_F(LanguageTest, FileWithoutBeginChangesNothingAndSaysSo) {
  InstallLanguage("Broken.vlng", Enciphered("just some text\r\nno start\r\nmore\r\n"));
  std::string otherKey = DemoFile("Languages/German.vlng");
  update::DecipherInPlace(otherKey, update::LanguageKey());
  update::EncipherInPlace(otherKey, {0x1111, 0x2222, 0x3333});
  InstallLanguage("Other key.vlng", otherKey);
  auto p = StartProgram();
  for (const char* name : {"Broken.vlng", "Other key.vlng"}) {
    const std::string path = std::string(kFolder) + "Languages\\" + name;
    host.Answer(ui::kIdOk,
                "\"" + path +
                    "\" is not a language file of this program (it has no \"begin():\" line). "
                    "Nothing was changed.",
                "Klaruvex Pro v4 - SE");
    ApplyInWindow(*p, name);
    EXPECT_TRUE(p->formL->Visible());
    EXPECT_EQ(p->form1->Find("Button4")->Caption(), "Scan for viruses");
    EXPECT_EQ(p->msg[0], "Sending log...");
  }
}

TEST_F(LanguageTest, UnreadableFileIsReportedAndTheChoiceStays) {
  InstallLanguage("Gone.vlng", "x");
  auto p = StartProgram();
  machine.Files().DeleteFile(std::string(kFolder) + "Languages\\Gone.vlng");
  host.Answer(ui::kIdOk, "Cannot open file \"" + std::string(kFolder) + "Languages\\Gone.vlng\".",
              "Klaruvex Pro v4 - SE");
  ApplyInWindow(*p, "Gone.vlng");
  EXPECT_TRUE(p->formL->Visible());
  EXPECT_EQ(LanguageOption(), "Gone.vlng");
  EXPECT_EQ(host.Boxes().back().spec.icon, ui::Icon::Error);
}

TEST_F(LanguageTest, DefaultRestartsTheProgram) {
  SetLanguageOption("German.vlng");
  auto p = StartProgram();
  OpenLanguageWindow(*p);
  p->formL->xpButton2->Click();
  EXPECT_EQ(LanguageOption(), "Default");
  ASSERT_EQ(machine.SimSh().Calls().size(), 1u);
  EXPECT_EQ(machine.SimSh().Calls()[0].verb, "open");
  EXPECT_EQ(machine.SimSh().Calls()[0].file, std::string(kFolder) + "klaruvex.exe");
  EXPECT_TRUE(p->app.Terminated());
  EXPECT_EQ(p->app.ExitCode(), 1);
}

TEST_F(LanguageTest, SaveDefaultLanguageWritesTheTemplate) {
  auto p = StartProgram();
  OpenLanguageWindow(*p);
  host.AnswerSave(std::nullopt);  // cancelled: nothing happens
  p->formL->xpButton3->Click();
  host.AnswerSave("C:\\Default.txt");
  host.Answer(ui::kIdOk, "Language saved!");
  p->formL->xpButton3->Click();
  ASSERT_EQ(host.SaveDialogs().size(), 2u);
  EXPECT_EQ(host.SaveDialogs()[0].title, "Save default language");
  EXPECT_EQ(host.SaveDialogs()[0].fileName, "Default.txt");
  std::string saved;
  ASSERT_EQ(platform::ReadWholeFile(machine.Files(), "C:\\Default.txt", saved), platform::kOk);
  EXPECT_EQ(saved, app::LanguageTemplate(*p));

  // A file that cannot be written is not reported as saved.
  host.AnswerSave("C:\\No such folder\\Default.txt");
  host.Answer(ui::kIdOk, "Cannot write \"C:\\No such folder\\Default.txt\".");
  p->formL->xpButton3->Click();
  EXPECT_EQ(host.PendingAnswers(), 0u);
}

TEST_F(LanguageTest, OversizedOrUnloadableFileChangesNothingAndSaysSo) {
  const std::string folder = std::string(kFolder) + "Languages\\";
  InstallLanguage("Huge.vlng", Enciphered("begin():\r\nX\r\n" + std::string(1u << 20, 'x')));
  InstallLanguage("Big.vlng", Enciphered("begin():\r\nGross\r\n" + std::string(600000, 'x')));
  auto p = StartProgram();
  const std::string before = app::LanguageTemplate(*p);
  host.Answer(ui::kIdOk, "\"" + folder +
                             "Huge.vlng\" is larger than 1 MB: it is not a language file of this "
                             "program. Nothing was changed.");
  ApplyInWindow(*p, "Huge.vlng");
  {
    FailAllocations fail(500000);
    host.Answer(ui::kIdOk,
                "There is not enough memory to load \"" + folder + "Big.vlng\". Nothing was changed.");
    ApplyInWindow(*p, "Big.vlng");
  }
  EXPECT_EQ(host.PendingAnswers(), 0u);
  EXPECT_EQ(app::LanguageTemplate(*p), before);
}

TEST_F(LanguageTest, SavingOnAFullDiskKeepsTheEarlierFile) {
  WriteFile("C:\\Saved\\Default.txt", "earlier template");
  machine.SimFiles().FailWrites("C:\\Saved", 100);
  auto p = StartProgram();
  OpenLanguageWindow(*p);
  host.AnswerSave("C:\\Saved\\Default.txt");
  host.Answer(ui::kIdOk, "Cannot write \"C:\\Saved\\Default.txt\".");
  p->formL->xpButton3->Click();
  EXPECT_EQ(host.PendingAnswers(), 0u);
  std::string kept;
  ASSERT_EQ(platform::ReadWholeFile(machine.Files(), "C:\\Saved\\Default.txt", kept),
            platform::kOk);
  EXPECT_EQ(kept, "earlier template");
}

TEST_F(LanguageTest, ResizingTheMainWindowRefreshesItsTextsFromTheMessageTable) {
  auto p = StartProgram();
  p->msg.Set(62, "Stand: ");
  p->msg.Set(178, "Willkommen");
  p->form1->Resize(700, 520);
  EXPECT_EQ(p->form1->Label2->Caption(), "Stand: Database date: 2026-12-01 (r0001)");
  EXPECT_EQ(p->form1->GroupBox1->Caption(), "Willkommen");
}

}  // namespace
