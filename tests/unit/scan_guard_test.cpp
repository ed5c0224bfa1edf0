// The scans against faults a careful reviewer found: the ignore list inside
// an infected folder, a second job started inside a running one, files that
// cannot be read whole, findings that change while messages run.
#include <gtest/gtest.h>

#include "engine/full_scan.h"
#include "engine/helpers.h"
#include "ignore/ignore_lists.h"
#include "quarantine/quarantine_window.h"
#include "undo/undo_journal.h"
#include "tests/unit/scan_fixture.h"

namespace {

using Texts = std::vector<std::string>;

class ScanGuardTest : public ScanFixture {
 protected:
  bool Exists(const std::string& path) { return platform::FileExists(machine.Files(), path); }
  std::string Read(const std::string& path) {
    std::string bytes;
    platform::ReadWholeFile(machine.Files(), path, bytes);
    return bytes;
  }
  bool Logged(const std::string& line) {
    const Texts log = Log();
    return std::find(log.begin(), log.end(), line) != log.end();
  }
};

// With "C:\Tools\Keep" ignored and a rule naming "C:\Tools\" as a folder,
// nothing in Keep becomes a finding, so Fix leaves it all.
TEST_F(ScanGuardTest, IgnoreListHoldsInsideAnInfectedFolder) {
  WriteFile("C:\\Tools\\a.exe", "MZ a");
  WriteFile("C:\\Tools\\Keep\\k.exe", "MZ kept");
  WriteFile("C:\\Tools\\Keep\\sub\\s.txt", "s");
  WriteFile("C:\\Tools\\one.txt", "listed by name");
  ignore::TFileIgnoreList keep{"Folder", "C:\\Tools\\Keep;", "", "", 0, 0, false, true};
  ignore::TFileIgnoreList file{"File", "C:\\tools\\ONE.TXT;", "", "", 0, 0, false, false};
  WriteFile(std::string(kFolder) + ignore::kFileListName, ignore::FormatFileIgnoreList({keep, file}));
  Database({"[Start]", "[Tools.Worm]:C:\\Tools\\\\"});
  Start();
  ScanDecliningFullScan(1);
  EXPECT_EQ(Paths(), (Texts{"C:\\Tools", "C:\\Tools\\a.exe"}));
  EXPECT_TRUE(Logged("10:00:00: Ignored (Tools.Worm) C:\\Tools\\Keep"));
  EXPECT_TRUE(Logged("10:00:00: Ignored (Tools.Worm) C:\\Tools\\one.txt"));

  host.Answer(ui::kIdYes, "Do you want to fix selected alerts?", "Question");
  host.Answer(ui::kIdOk, "1 alerts have been cleaned!\r\rNotes:\r" + program->msg[132],
              "Information");
  program->form1->Find("Button2")->Click();
  EXPECT_FALSE(Exists("C:\\Tools\\a.exe"));
  for (const char* kept : {"C:\\Tools\\Keep\\k.exe", "C:\\Tools\\Keep\\sub\\s.txt", "C:\\Tools\\one.txt"})
    EXPECT_TRUE(Exists(kept)) << kept;
  EXPECT_TRUE(Logged("10:00:00: Cannot remove directory C:\\Tools"));
}

// While a quick scan runs, the Log Optimizer's "Build log" (reached from
// the Report Manager), Fix, Add to Quarantine, Update, another scan and Scan
// with Options are refused: the findings and their lines stay as the scan
// leaves them. Afterwards they work again.
TEST_F(ScanGuardTest, OneJobAtATimeAcrossAllWindows) {
  WriteFile("C:\\bad\\a.exe", "MZ a");
  WriteFile("C:\\bad\\b.exe", "MZ b");
  Database({"[Start]", "[A]:C:\\bad\\a.exe", "[B]:C:\\bad\\b.exe"});
  Start();
  auto& p = *program;
  int passes = 0;
  p.form1->scan.timeText = [&] {
    // Between the two rules: A is found, B is not yet.
    if (++passes == 3) {
      const std::string wait = "Please wait until the scan has finished.";
      for (int i = 0; i < 6; ++i) host.Answer(ui::kIdOk, wait, "Information");
      p.formR->Show();
      p.formR->xpButton3Click();  // "Save full report log": the Log Optimizer
      p.form12->xpButton1Click();  // "Build log"
      p.form1->Button2Click();
      p.form1->xpButton5Click();
      p.form1->Button7Click();
      p.form1->Button1Click();
      p.optscan->Show();
      p.optscan->Find("xpButton3")->Click();
      AnswerDecliningFullScan(2);  // the end of the scan
    }
    return std::string("10:00:00");
  };
  AnswerScanQuestion();
  ClickScan();
  EXPECT_EQ(Lines(), (Texts{"Infected with A", "Infected with B"}));
  EXPECT_EQ(Paths(), (Texts{"C:\\bad\\a.exe", "C:\\bad\\b.exe"}));
  EXPECT_FALSE(p.form12->Building());
  EXPECT_EQ(host.PendingAnswers(), 0u);
  EXPECT_EQ(p.RunningJob(), app::Job::None);

  p.form1->scan.timeText = [] { return std::string("10:00:00"); };
  host.Answer(ui::kIdNo, "Do you want to build full report?", "Question");
  p.form12->xpButton1Click();
  EXPECT_EQ(host.PendingAnswers(), 0u);
}

// The Quarantine Manager's "Undo" and "Delete backup" take their turn like
// the other jobs: both are refused while a scan runs, and while an undo puts
// files back, Fix, a scan and the backup's deletion are refused.
TEST_F(ScanGuardTest, UndoAndDeleteBackupTakeTheirTurn) {
  WriteFile("C:\\bad\\a.exe", "MZ a");
  Database({"[Start]", "[A]:C:\\bad\\a.exe", "[B]:C:\\bad\\b.exe"});
  Start();
  auto& p = *program;
  ScanDecliningFullScan(1);
  host.Answer(ui::kIdYes, "Do you want to fix selected alerts?", "Question");
  host.Answer(ui::kIdOk, "1 alerts have been cleaned!\r\rNotes:\r" + p.msg[132], "Information");
  p.form1->Find("Button2")->Click();
  ASSERT_FALSE(Exists("C:\\bad\\a.exe"));
  auto& q = *p.form9;
  q.Show();
  ASSERT_EQ(q.BackupIds().size(), 1u);

  WriteFile("C:\\bad\\b.exe", "MZ b");
  bool tried = false;
  p.form1->scan.timeText = [&] {
    if (!tried && p.RunningJob() == app::Job::Scan) {
      tried = true;
      for (int i = 0; i < 2; ++i)
        host.Answer(ui::kIdOk, "Please wait until the scan has finished.", "Information");
      q.xpButtonUndo->Click();
      q.xpButtonDeleteBackup->Click();
      AnswerDecliningFullScan(1);
    }
    return std::string("10:00:00");
  };
  AnswerScanQuestion();
  p.form1->Find("Button1")->Click();  // "Quick scan" on the findings page
  EXPECT_TRUE(tried);
  EXPECT_EQ(host.PendingAnswers(), 0u);
  EXPECT_FALSE(Exists("C:\\bad\\a.exe"));
  EXPECT_EQ(q.BackupIds().size(), 1u);
  EXPECT_EQ(Paths(), Texts{"C:\\bad\\b.exe"});

  bool pumped = false;
  p.journal->pump = [&] {
    if (pumped) return;
    pumped = true;
    EXPECT_EQ(p.RunningJob(), app::Job::Undo);
    for (int i = 0; i < 3; ++i)
      host.Answer(ui::kIdOk, "Please wait until the undo has finished.", "Information");
    p.form1->Button2Click();
    p.form1->Button1Click();
    q.xpButtonDeleteBackup->Click();
    host.Answer(ui::kIdOk, "Everything the backup held is back (1 items).", "Information");
  };
  host.Answer(ui::kIdYes, "Do you want to put back everything the selected backup holds?", "Question");
  q.xpButtonUndo->Click();
  EXPECT_TRUE(pumped);
  EXPECT_EQ(host.PendingAnswers(), 0u);
  EXPECT_EQ(p.RunningJob(), app::Job::None);
  EXPECT_EQ(Read("C:\\bad\\a.exe"), "MZ a");
  EXPECT_TRUE(Exists("C:\\bad\\b.exe"));  // Fix was refused
  EXPECT_EQ(Paths(), Texts{"C:\\bad\\b.exe"});
  EXPECT_TRUE(q.BackupIds().empty());
}

// A finding that could not be read whole gets no digest: the full scan
// never takes it for a pattern, and a same-sized file whose read fails
// midway matches nothing. Both failures are in the log.
TEST_F(ScanGuardTest, FileNotReadWholeIsNeverAPatternNorAMatch) {
  WriteFile("C:\\bad\\worm.exe", "MZ unreadable worm!!");  // 20 bytes
  WriteFile("C:\\bad\\known.exe", "MZ known worm body!!");  // 20 bytes, readable
  WriteFile("C:\\data\\other.bin", "an unrelated file...");  // 20 bytes, read fails
  machine.SimFiles().FailReads("C:\\bad\\worm.exe", 4);
  machine.SimFiles().FailReads("C:\\data\\other.bin", 4);
  Database({"[Start]", "[Worm.A]:C:\\bad\\worm.exe", "[Worm.B]:C:\\bad\\known.exe"});
  Start();
  ScanWithFullScan(2);
  EXPECT_EQ(Paths(), (Texts{"C:\\bad\\worm.exe", "C:\\bad\\known.exe"}));
  EXPECT_EQ(program->form1->scan.findings.Records()[0].Md5, "");
  EXPECT_TRUE(Logged("10:00:00: Cannot open file (C:\\bad\\worm.exe) C:\\bad\\worm.exe"));
  EXPECT_TRUE(Logged("10:00:00: Cannot open file (C:\\data\\other.bin) C:\\data\\other.bin"));
}

// The full scan compares with what the findings were when it started, even
// when the register grows (and moves in memory) while messages run.
TEST_F(ScanGuardTest, FullScanHoldsNoReferenceIntoTheFindings) {
  WriteFile("C:\\bad\\worm.exe", "MZ worm body");
  WriteFile("C:\\data\\copy.bin", "MZ worm body");
  engine::ScanState state;
  engine::TFileList worm;
  worm.Path = "C:\\bad\\worm.exe";
  worm.Name = "Worm.A";
  worm.Md5 = engine::Md5Hex("MZ worm body");
  state.findings.Add(worm);
  class GrowingHost : public engine::ScanHost {
   public:
    explicit GrowingHost(engine::ScanState& s) : s_(s) {}
    std::string Text(int) override { return {}; }
    void ProcessMessages() override {
      for (int i = 0; i < 64; ++i) {
        engine::TFileList r;
        r.Path = "C:\\other\\" + std::to_string(n_++);
        r.Name = "Other";
        s_.findings.Add(std::move(r));
      }
    }
    bool AbortRequested() override { return false; }
    void ClearAbortRequest() override {}
    void SetStatus(const std::string&) override {}
    void ClearFindingLines() override {}
    int FindingLineCount() override { return 0; }
    void AddFindingLine(const std::string&) override {}
    void ClearLog() override {}
    void AddLogLine(const std::string&) override {}

   private:
    engine::ScanState& s_;
    int n_ = 0;
  } host(state);
  engine::FullScanWalk(machine, state, host).Walk("C:\\data");
  const auto& r = state.findings.Records();
  auto copy = std::find_if(r.begin(), r.end(), [](const auto& x) { return x.FromFullScan; });
  ASSERT_NE(copy, r.end());
  EXPECT_EQ(copy->Path, "C:\\data\\copy.bin");
  EXPECT_EQ(copy->Name, "Worm.A");
  EXPECT_EQ(copy->Md5, worm.Md5);
}

}  // namespace
