#include <gtest/gtest.h>

#include "app/language.h"
#include "app/language_window.h"
#include "app/options.h"
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
  auto p = StartProgram();
  auto lines = Lines(app::LanguageTemplate(*p));
  ASSERT_EQ(lines.size(), 1u + 86 + 179);
  EXPECT_EQ(lines[0], "begin():");
  const std::vector<std::string> someCaptions = {
      "Close", "About", "Scan for viruses", "Update", "Process Manager", "Startup files",
      "Full report log", "Report bug", "Report virus", "Quarantine", "Services Manager",
      "Worms && Viruses list:", "Quick scan", "Fix", "Abort", "Back", "Add to Quarantine"};
  for (std::size_t i = 0; i < someCaptions.size(); ++i) EXPECT_EQ(lines[1 + i], someCaptions[i]);
  EXPECT_EQ(lines[38], "Welcome, Klaruvex Pro");
  EXPECT_EQ(lines[43], "Scan drives c:\\;");
  EXPECT_EQ(lines[73], "-");
  EXPECT_EQ(lines[78], "Apply");
  EXPECT_EQ(lines[86], "Cancel");
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

}  // namespace
