#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "tests/unit/program_fixture.h"

namespace {

using ProgramTest = ProgramFixture;

TEST_F(ProgramTest, NormalStartCreatesTheWindowsInOrder) {
  WriteFile(std::string(kFolder) + "kvxup.exe", "MZ left over from an upgrade");
  app::Program p(machine, host);
  ASSERT_TRUE(p.Start());
  EXPECT_EQ(p.GetRole(), app::Program::Role::Normal);
  EXPECT_FALSE(platform::FileExists(machine.Files(), std::string(kFolder) + "kvxup.exe"));
  EXPECT_EQ(p.app.title, "Klaruvex Pro v4 - SE");
  EXPECT_EQ(p.programFolder, kFolder);

  std::vector<std::pair<std::string, std::string>> forms;
  for (const auto& f : p.app.Forms()) forms.push_back({f->ClassName(), f->Caption()});
  const std::vector<std::pair<std::string, std::string>> want = {
      {"TForm1", "Klaruvex Pro v4 - SE"},
      {"TForm2", "Select your action"},
      {"TForm3", "Full scan process!"},
      {"TForm4", "Upgrading..."},
      {"TForm9", "Quarantine Manager"},
      {"TfrmMain", "Runtime & Process Manager"},
      {"TForm12", "Log Optimizer"},
      {"TFormIG", "Ignore list (Built 20.03.2006)"},
      {"TFormL", "Select language"},
      {"TFormR", "Report Manager"},
      {"Toptscan", "Scan with Options"},
  };
  EXPECT_EQ(forms, want);

  // The message loop shows the main window alone; closing it ends the run.
  EXPECT_EQ(p.app.Run(), -1);
  for (const auto& f : p.app.Forms()) EXPECT_EQ(f->Visible(), f.get() == p.app.MainForm());
  p.form2->Show();
  p.app.MainForm()->Close();
  EXPECT_TRUE(p.app.Terminated());
  EXPECT_EQ(p.app.ExitCode(), 0);
  EXPECT_TRUE(host.Boxes().empty());
}

TEST_F(ProgramTest, UpgradeLeftoverIsWaitedForOnlyWhileTheCopyHoldsIt) {
  const std::string copy = std::string(kFolder) + "kvxup.exe";
  enum class Hold { Locked, Running, ReadOnly };
  struct Case {
    const char* what;
    Hold hold;
    bool deleted;
  };
  const Case cases[] = {{"locked by the ending copy", Hold::Locked, true},
                        {"image of the running copy", Hold::Running, true},
                        {"read-only", Hold::ReadOnly, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    WriteFile(copy, "MZ left over from an upgrade");
    std::uint32_t pid = 0;
    if (c.hold == Hold::Locked) machine.SimFiles().Lock(copy);
    if (c.hold == Hold::Running) pid = machine.SimProcs().Start(copy);
    if (c.hold == Hold::ReadOnly)
      machine.Files().SetAttributes(copy, platform::fileattr::kReadOnly);
    // The copy ends a moment after this run started.
    std::thread copyEnds([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(150));
      if (c.hold == Hold::Locked) machine.SimFiles().Unlock(copy);
      if (c.hold == Hold::Running) machine.SimProcs().Terminate(pid, 0);
    });
    app::Program p(machine, host);
    EXPECT_TRUE(p.Start());
    copyEnds.join();
    EXPECT_EQ(platform::FileExists(machine.Files(), copy), !c.deleted);
    machine.Files().SetAttributes(copy, 0);
    machine.Files().DeleteFile(copy);
  }
}

TEST_F(ProgramTest, OnlyTheExactCopyNameTakesTheUpgradeRole) {
  machine.SimSys().SetModulePath(std::string(kFolder) + "kvxup.exe");
  app::Program copy(machine, host);
  EXPECT_FALSE(copy.Start());
  EXPECT_EQ(copy.GetRole(), app::Program::Role::UpgradeCopy);
  EXPECT_TRUE(copy.app.Forms().empty());

  machine.SimSys().SetModulePath(std::string(kFolder) + "KVXUP.EXE");
  app::Program normal(machine, host);
  EXPECT_TRUE(normal.Start());
  EXPECT_EQ(normal.GetRole(), app::Program::Role::Normal);
  EXPECT_EQ(normal.app.Forms().size(), 11u);
}

TEST_F(ProgramTest, RefusesOldWindowsBeforeAnyWindowShows) {
  struct Case {
    const char* what;
    platform::OsVersion v;
    bool refused;
  };
  auto nt = [](std::uint32_t major, std::uint32_t minor, std::uint32_t build) {
    platform::OsVersion v;
    v.platformId = 2;
    v.major = major;
    v.minor = minor;
    v.build = build;
    v.productType = 1;
    return v;
  };
  auto w9x = [](std::uint32_t minor) {
    platform::OsVersion v;
    v.platformId = 1;
    v.major = 4;
    v.minor = minor;
    return v;
  };
  const Case cases[] = {
      {"95", w9x(0), true},
      {"98", w9x(10), true},
      {"Me", w9x(90), true},
      {"2000", nt(5, 0, 2195), true},
      {"XP", nt(5, 1, 2600), false},
      {"7", nt(6, 1, 7601), false},
      {"build 22000", nt(10, 0, 22000), false},
  };
  for (const auto& c : cases) {
    machine.SimSys().SetVersion(c.v);
    ui::HeadlessHost h;
    h.onUnexpected = [&](const std::string& what) { ADD_FAILURE() << c.what << ": " << what; };
    if (c.refused)
      h.Answer(ui::kIdOk,
               "Klaruvex Pro v4 only supports Microsoft Windows XP, Vista and Win7 platform.",
               "Klaruvex Pro");
    app::Program p(machine, h);
    EXPECT_EQ(p.Main(), c.refused ? 1 : -1) << c.what;
    EXPECT_EQ(p.app.Forms().size(), c.refused ? 1u : 11u) << c.what;
    EXPECT_FALSE(c.refused && p.app.MainForm()->Visible()) << c.what;
    if (c.refused) {
      ASSERT_EQ(h.Boxes().size(), 1u);
      EXPECT_EQ(h.Boxes()[0].spec.icon, ui::Icon::Error);
      EXPECT_TRUE(h.Boxes()[0].spec.topmost && h.Boxes()[0].spec.foreground);
    }
  }
}

TEST_F(ProgramTest, MainWindowHintsPagesAndStatusBar) {
  app::Program p(machine, host);
  ASSERT_TRUE(p.Start());
  p.app.Run();
  auto& f = *p.form1;
  EXPECT_EQ(f.sb1->PanelText(1), "Klaruvex Pro - SE");
  EXPECT_EQ(f.sb1->PanelText(2), "Last Update: Database date: 2026-12-01 (r0001)");
  EXPECT_EQ(f.Label2->Caption(), "Last Update: Database date: 2026-12-01 (r0001)");
  EXPECT_EQ(f.GroupBox1->Caption(), "Welcome");
  f.Find("Button7")->MouseMove();
  EXPECT_EQ(f.sb1->PanelText(0), "Update virus database via internet.");
  f.Find("Button18")->Click();
  EXPECT_EQ(f.Note1->ActivePage(), 4);
  f.Find("Button19")->Click();
  EXPECT_EQ(f.Note1->ActivePage(), 0);

  // "Add to Quarantine" follows "Fix".
  auto* fix = f.Find("Button2");
  auto* quarantine = f.Find("xpButton5");
  EXPECT_FALSE(quarantine->Enabled());
  fix->SetEnabled(true);
  EXPECT_TRUE(quarantine->Enabled());
  fix->SetEnabled(false);
  EXPECT_FALSE(quarantine->Enabled());

  f.Find("Button17")->Click();
  EXPECT_TRUE(p.app.Terminated());
}

TEST_F(ProgramTest, MissingOrDamagedDatabaseIsToldAndTheWindowStillOpens) {
  struct Case {
    const char* what;
    std::string bytes;  // empty: no file
    std::string box;
  } cases[] = {
      {"missing", "",
       "The threat database \"C:\\Program Files\\Klaruvex Pro\\files.dat\" is missing or cannot "
       "be read. Scans find nothing until the database is updated."},
      {"damaged", engine::PackDatabase(kDatabase, update::LanguageKey()).substr(0, 30),
       "The threat database \"C:\\Program Files\\Klaruvex Pro\\files.dat\" is damaged. Scans "
       "find nothing until the database is updated."},
  };
  for (const auto& c : cases) {
    machine.Files().DeleteFile(std::string(kFolder) + "files.dat");
    if (!c.bytes.empty()) WriteFile(std::string(kFolder) + "files.dat", c.bytes);
    ui::HeadlessHost h;
    h.onUnexpected = [&](const std::string& what) { ADD_FAILURE() << c.what << ": " << what; };
    h.Answer(ui::kIdOk, c.box, "Klaruvex Pro");
    app::Program p(machine, h);
    ASSERT_TRUE(p.Start()) << c.what;
    EXPECT_EQ(p.app.Run(), -1);
    EXPECT_TRUE(p.form1->Visible());
    EXPECT_EQ(p.form1->sb1->PanelText(2), "Last Update: Error") << c.what;
    EXPECT_EQ(p.form1->Label2->Caption(), "Last Update: Error") << c.what;
    ASSERT_EQ(h.Boxes().size(), 1u);
    EXPECT_EQ(h.Boxes()[0].spec.icon, ui::Icon::Warning);
  }
}

}  // namespace
