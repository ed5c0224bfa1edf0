// Fix and Add to Quarantine as the user runs them, and the unattended
// /fix and /quarantine, on the simulated machine.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "app/fix_ui.h"
#include "app/unattended.h"
#include "engine/helpers.h"
#include "tests/unit/scan_fixture.h"
#include "update/updater.h"

namespace {

using Texts = std::vector<std::string>;

class FixTest : public ScanFixture {
 protected:
  // A finding with its own checked line, as the quick scan leaves it.
  void Finding(const std::string& path, const std::string& name) {
    auto& f = *program->form1;
    AddCheckedFinding(*program, path, name);
    f.scan.summary.Add("!Infected " + platform::LowerCase(platform::ExtractFileName(path) + "=;" +
                                                          platform::ExtractFilePath(path) + ";" +
                                                          name + ";md5;1;"));
  }
  void AnswerFix() { host.Answer(ui::kIdYes, "Do you want to fix selected alerts?", "Question"); }
  void AnswerCleaned(int count) {
    host.Answer(ui::kIdOk,
                std::to_string(count) + " alerts have been cleaned!\r\rNotes:\r" + program->msg[132],
                "Information");
  }
  void AnswerNotBackedUp(const Texts& items) {
    std::string text = "These items were left in place because they could not be backed up:";
    for (const auto& i : items) text += "\r" + i;
    host.Answer(ui::kIdOk, text, "Klaruvex Pro v4 - SE");
  }
  void AnswerCannotClean(const std::string& path) {
    host.Answer(ui::kIdOk,
                "Cannot clean file " + path + " please try to delete this file manually.", "Error");
  }
  bool Exists(const std::string& path) { return platform::FileExists(machine.Files(), path); }
  void ClickFix() { program->form1->Find("Button2")->Click(); }
};

TEST_F(FixTest, ScanThenFixRemovesFilesProgramsFoldersInnerFirst) {
  WriteFile("C:\\bad\\worm.exe", "MZ worm program body");
  WriteFile("C:\\bad\\nest\\inner.dll", "inner library");
  WriteFile("C:\\bad\\nest\\deeper\\x.txt", "x");
  machine.SimProcs().Start("C:\\bad\\worm.exe");
  Database({"[Start]", "[Worm.A]:C:\\bad\\worm.exe", "[Worm.Folder]:C:\\bad\\nest\\\\"});
  Start();
  ScanDecliningFullScan(2);
  const auto worm = machine.SimProcs().Start("C:\\bad\\worm.exe");  // started again after the scan
  // Unchecking the folder's line keeps neither its files nor the folder.
  program->form1->List1->SetChecked(1, false);
  program->form1->Memo2->Clear();

  AnswerFix();
  AnswerCleaned(5);
  ClickFix();

  EXPECT_EQ(Log(), (Texts{"", "10:00:00: Cleaning please wait...",
                          "10:00:00: Cleaning Worm.A",
                          "10:00:00: File cleaned C:\\bad\\worm.exe",
                          "10:00:00: Cleaning Worm.Folder",
                          "10:00:00: File cleaned C:\\bad\\nest\\deeper\\x.txt",
                          "10:00:00: Cleaning Worm.Folder",
                          "10:00:00: File cleaned C:\\bad\\nest\\inner.dll",
                          "10:00:00: Directory removed C:\\bad\\nest\\deeper",
                          "10:00:00: Directory removed C:\\bad\\nest",
                          "10:00:00 Cleaning process finished!",
                          "If you wish Click on \"Quick Scan\" button to start scan again."}));
  ASSERT_EQ(Lines().size(), 2u);
  EXPECT_EQ(Lines()[0].substr(0, 9), "Clean...[");
  EXPECT_EQ(Lines()[1], "Clean...");
  EXPECT_FALSE(Exists("C:\\bad\\worm.exe"));
  EXPECT_FALSE(platform::DirectoryExists(machine.Files(), "C:\\bad\\nest"));
  EXPECT_TRUE(platform::DirectoryExists(machine.Files(), "C:\\bad"));
  EXPECT_FALSE(machine.SimProcs().Get(worm));
  EXPECT_EQ(Status(), "Fix process finished.");
  EXPECT_FALSE(Enabled("Button2"));
  EXPECT_TRUE(Enabled("Button1"));
  EXPECT_FALSE(Enabled("Button3"));
  EXPECT_TRUE(program->form1->Find("Button6")->Visible());
  EXPECT_FALSE(program->form1->Timer1->Enabled());
  EXPECT_EQ(host.PendingAnswers(), 0u);
}

// What the user sees for each way a file can resist or already be gone.
TEST_F(FixTest, HeldVanishedLockedAndDeniedFindings) {
  WriteFile("C:\\evil\\held.exe", "MZ held by another program");
  WriteFile("C:\\evil\\gone.exe", "MZ removed before the fix");
  WriteFile("C:\\WINDOWS\\system32\\svc.exe", "MZ a pattern match");
  WriteFile("C:\\locked\\denied.exe", "MZ in a folder the user may not change");
  WriteFile("C:\\evil\\stuck.exe", "MZ a program nobody can end");
  const auto svc = machine.SimProcs().Start("C:\\WINDOWS\\system32\\svc.exe");
  const auto stuck = machine.SimProcs().Start("C:\\evil\\stuck.exe");
  machine.SimProcs().Get(stuck)->canTerminate = false;
  Database({"[Start]"});
  Start();
  program->updater->logUploadSwitch = true;
  Finding("C:\\evil\\held.exe", "Held");
  Finding("C:\\evil\\gone.exe", "Gone");
  Finding("C:\\WINDOWS\\system32\\svc.exe", "Lock:Sys32.svc");
  Finding("C:\\locked\\denied.exe", "Denied");
  Finding("C:\\evil\\stuck.exe", "Stuck");
  machine.SimFiles().Lock("C:\\evil\\held.exe");
  machine.SimFiles().DenyChanges("C:\\locked");
  std::filesystem::remove(root / "evil" / "gone.exe");

  AnswerFix();
  AnswerCannotClean("C:\\WINDOWS\\system32\\svc.exe");
  AnswerCannotClean("C:\\locked\\denied.exe");
  AnswerCannotClean("C:\\evil\\stuck.exe");
  // The file another program holds cannot even be read: it is not backed up,
  // so it is not deleted, and the reason comes in one box at the end.
  AnswerNotBackedUp({"C:\\evil\\held.exe: it cannot be copied into the backup: it is in use by "
                     "another program"});
  AnswerCleaned(1);
  host.Answer(ui::kIdNo, "Do you wish to send us your log file for further analyze and statistics?",
              "Question");
  ClickFix();

  EXPECT_EQ(Lines(), (Texts{"[Err] C:\\evil\\held.exe", "Clean...[0.00 sec]",
                            "[Err] C:\\WINDOWS\\system32\\svc.exe", "[Err] C:\\locked\\denied.exe",
                            "[Err] C:\\evil\\stuck.exe"}));
  EXPECT_TRUE(Exists("C:\\evil\\held.exe"));
  EXPECT_TRUE(Exists("C:\\WINDOWS\\system32\\svc.exe"));
  EXPECT_TRUE(Exists("C:\\locked\\denied.exe"));
  EXPECT_TRUE(Exists("C:\\evil\\stuck.exe"));
  EXPECT_FALSE(machine.SimProcs().Get(svc));  // a locked finding's program still ends
  // The clean timer ran out after four seconds for the held file.
  EXPECT_GT(program->form1->cleanTimer, 4.0L);
  EXPECT_LT(program->form1->cleanTimer, 4.1L);
  const auto& summary = program->form1->scan.summary.Lines();
  auto mark = [&](const std::string& file) {
    for (const auto& l : summary)
      if (l.rfind("!Infected " + file + "=", 0) == 0) return l.substr(l.rfind(";1;") + 3);
    return std::string("?");
  };
  EXPECT_EQ(mark("held.exe"), "Err;");
  EXPECT_EQ(mark("gone.exe"), "Ok;");
  EXPECT_EQ(mark("svc.exe"), "Locked_Err;");
  EXPECT_EQ(mark("denied.exe"), "Err;");
  // The log upload sends the inventory with the marked summary.
  const auto lines = program->updater->logLines();
  EXPECT_EQ(lines.summary, summary);
  const Texts log = Log();
  EXPECT_EQ(std::count(log.begin(), log.end(), "10:00:00: Cannot clean file."), 3);
  EXPECT_EQ(std::count(log.begin(), log.end(),
                       "10:00:00: Cannot back up C:\\evil\\held.exe (it cannot be copied into the "
                       "backup: it is in use by another program), it was left in place."),
            1);
  EXPECT_EQ(host.PendingAnswers(), 0u);
}

TEST_F(FixTest, FolderThatStillHoldsAFileIsReportedAndKept) {
  WriteFile("C:\\bad\\keep.exe", "MZ held file inside the folder");
  Database({"[Start]", "[Worm.Folder]:C:\\bad\\\\"});
  Start();
  ScanDecliningFullScan(1);
  machine.SimFiles().Lock("C:\\bad\\keep.exe");
  program->form1->Memo2->Clear();
  AnswerFix();
  AnswerNotBackedUp({"C:\\bad\\keep.exe: it cannot be copied into the backup: it is in use by "
                     "another program"});
  AnswerCleaned(0);
  ClickFix();
  EXPECT_EQ(Lines(), (Texts{"Err..."}));
  const Texts log = Log();
  EXPECT_NE(std::find(log.begin(), log.end(), "10:00:00: Cannot remove directory C:\\bad"),
            log.end());
  EXPECT_TRUE(Exists("C:\\bad\\keep.exe"));
}

TEST_F(FixTest, AbortLeavesTheRestAndSaysSo) {
  WriteFile("C:\\evil\\held.exe", "MZ held by another program");
  WriteFile("C:\\evil\\next.exe", "MZ never reached");
  Database({"[Start]"});
  Start();
  Finding("C:\\evil\\held.exe", "Held");
  Finding("C:\\evil\\next.exe", "Next");
  machine.SimFiles().Lock("C:\\evil\\held.exe");
  auto& f = *program->form1;
  int ticks = 0;
  auto tick = f.Timer1->OnTimer;
  f.Timer1->OnTimer = [&, tick] {
    tick();
    if (++ticks == 50) f.Find("Button3")->Click();
  };
  AnswerFix();
  ClickFix();
  EXPECT_EQ(Log(), (Texts{"", "10:00:00: Cleaning please wait...", "10:00:00: Cleaning Held",
                          "10:00:00: Cleaning process aborted!",
                          "If you wish Click on \"Quick Scan\" button to start scan again."}));
  EXPECT_EQ(Lines(), (Texts{"Cleaning...", "Infected with Next"}));
  EXPECT_TRUE(Exists("C:\\evil\\next.exe"));
  EXPECT_EQ(Status(), "Fix process aborted.");
  EXPECT_TRUE(Enabled("Button1"));
  EXPECT_FALSE(Enabled("Button3"));
  EXPECT_FALSE(f.Timer1->Enabled());
}

TEST_F(FixTest, AddToQuarantineStoresCountsAndHandsOverToFix) {
  WriteFile("C:\\evil\\one.exe", "MZ first sample");
  WriteFile("C:\\evil\\two.exe", "MZ second sample");
  WriteFile("C:\\WINDOWS\\system32\\svc.exe", "MZ a pattern match");
  Database({"[Start]"});
  Start();
  Finding("C:\\evil\\one.exe", "One");
  Finding("C:\\evil\\two.exe", "Two");
  Finding("C:\\WINDOWS\\system32\\svc.exe", "Lock:Sys32.svc");
  auto& store = program->form9->store;
  ASSERT_TRUE(store.Add("C:\\evil\\two.exe", "Two", "md5"));  // already there

  host.Answer(ui::kIdYes, "Do you want to add selected alerts in Quarantine?", "Question");
  host.Answer(ui::kIdOk,
              "1 alerts have been added to quarantine!\r\rNote:\rTo Clean reported tasks please "
              "click on Fix Button",
              "Information");
  host.Answer(ui::kIdNo, "Do you want to fix selected alerts?", "Question");
  program->form1->xpButton5Click();

  EXPECT_EQ(Log(), (Texts{"", "10:00:00: Adding alerts to Quarantine, please wait...",
                          "10:00:00: Add in Quarantine One",
                          "10:00:00: File added C:\\evil\\one.exe",
                          "10:00:00: Add in Quarantine Two",
                          "10:00:00: Cannot add file, it might be already in quarantine "
                          "C:\\evil\\two.exe",
                          "10:00:00: Add in Quarantine Lock:Sys32.svc",
                          "10:00:00 Current process finished!",
                          "10:00:00 To Fix tasks click on Fix button!"}));
  EXPECT_TRUE(store.Contains("C:\\evil\\one.exe"));
  EXPECT_FALSE(store.Contains("C:\\WINDOWS\\system32\\svc.exe"));
  EXPECT_TRUE(Exists("C:\\evil\\one.exe"));
  EXPECT_EQ(Status(), "Process finished.");
  EXPECT_TRUE(Enabled("Button2"));
  EXPECT_EQ(host.PendingAnswers(), 0u);
}

TEST_F(FixTest, CleanScanOffersTheLogWithInventoryAndSummary) {
  Database({"[Start]", "[Nothing.Here]:C:\\nowhere\\x.exe"});
  Start();
  program->updater->logUploadSwitch = true;
  AnswerScanQuestion();
  host.Answer(ui::kIdOk, "Your computer is clean from this kind of viruses!", "Information");
  host.Answer(ui::kIdNo, "Do you wish to send us your log file for analyze and statistics?",
              "Question");
  ClickScan();
  EXPECT_EQ(host.PendingAnswers(), 0u);
  const auto lines = program->updater->logLines();
  EXPECT_EQ(lines.inventory, program->form1->scan.inventory.Entries());
  EXPECT_TRUE(lines.summary.empty());
}

class UnattendedFixTest : public FixTest {
 protected:
  nlohmann::json Run(std::vector<std::string> args, int expectedCode) {
    host.onUnexpected = nullptr;
    const std::string report = "C:\\report.json";
    args.push_back("/report");
    args.push_back(report);
    EXPECT_EQ(app::RunProgram(machine, args, [] { return nullptr; }), expectedCode);
    std::string text;
    EXPECT_EQ(platform::ReadWholeFile(machine.Files(), report, text), platform::kOk);
    return nlohmann::json::parse(text);
  }
};

TEST_F(UnattendedFixTest, FixRemovesEveryFindingAndReportsTheLockedOne) {
  WriteFile("C:\\bad\\worm.exe", "MZ worm program body");
  WriteFile("C:\\WINDOWS\\system32\\held.exe", "MZ held file");
  Database({"[Start]", "[Worm.A]:C:\\bad\\worm.exe", "[Held.B]:C:\\WINDOWS\\system32\\held.exe"});
  machine.SimFiles().Lock("C:\\WINDOWS\\system32\\held.exe");
  // The held file cannot be read into the backup, so it is not removed: a
  // step that was asked could not be done.
  const auto json = Run({"/fix"}, app::kExitFailed);
  ASSERT_EQ(json["findings"].size(), 2u);
  EXPECT_EQ(json["findings"][0]["action"], "removed");
  EXPECT_TRUE(json["findings"][0]["error"].is_null());
  EXPECT_EQ(json["findings"][1]["action"], "none");
  EXPECT_EQ(json["findings"][1]["error"],
            "left in place: it could not be backed up: it cannot be copied into the backup: it is "
            "in use by another program");
  EXPECT_EQ(json["error"],
            "1 finding was left in place because it could not be backed up (see each finding's "
            "\"error\").");
  EXPECT_EQ(json["fixed"], false);
  EXPECT_FALSE(Exists("C:\\bad\\worm.exe"));
  EXPECT_TRUE(Exists("C:\\WINDOWS\\system32\\held.exe"));
}

TEST_F(UnattendedFixTest, QuarantineStoresThenRemovesEveryFinding) {
  WriteFile("C:\\bad\\one.exe", "MZ first sample");
  WriteFile("C:\\bad\\two.exe", "MZ second sample");
  Database({"[Start]", "[One]:C:\\bad\\one.exe", "[Two]:C:\\bad\\two.exe"});
  const auto json = Run({"/quarantine"}, app::kExitFound);
  ASSERT_EQ(json["findings"].size(), 2u);
  EXPECT_EQ(json["findings"][0]["action"], "quarantined and removed");
  EXPECT_EQ(json["findings"][1]["action"], "quarantined and removed");
  EXPECT_EQ(json["fixed"], true);
  EXPECT_FALSE(Exists("C:\\bad\\one.exe"));
  EXPECT_FALSE(Exists("C:\\bad\\two.exe"));
  EXPECT_TRUE(platform::FileExists(machine.Files(), std::string(kFolder) + "Quarantine\\two.exe"));
}

TEST_F(UnattendedFixTest, QuarantineOnAFullDiskDeletesNothing) {
  WriteFile("C:\\bad\\one.exe", "MZ first sample");
  Database({"[Start]", "[One]:C:\\bad\\one.exe"});
  machine.SimFiles().FailWrites(std::string(kFolder) + "Quarantine", 4);
  const auto json = Run({"/quarantine"}, app::kExitFound);
  ASSERT_EQ(json["findings"].size(), 1u);
  EXPECT_EQ(json["findings"][0]["action"], "none");
  EXPECT_EQ(json["findings"][0]["error"].get<std::string>().rfind("not stored in quarantine: ", 0),
            0u);
  EXPECT_EQ(json["fixed"], false);
  EXPECT_TRUE(Exists("C:\\bad\\one.exe"));
  EXPECT_FALSE(platform::FileExists(machine.Files(), std::string(kFolder) + "Quarantine\\one.exe"));
}

TEST(FixCommandLine, FixAndQuarantineImplyTheScan) {
  const auto fix = app::ParseCommandLine({"/FIX"});
  ASSERT_TRUE(fix);
  EXPECT_TRUE(fix->scan && fix->fix);
  const auto q = app::ParseCommandLine({"/quarantine", "/db", "x.dat"});
  ASSERT_TRUE(q);
  EXPECT_TRUE(q->scan && q->quarantine);
}

}  // namespace
