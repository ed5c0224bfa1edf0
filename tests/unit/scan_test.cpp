// The quick scan as the user runs it on the simulated machine.
#include <gtest/gtest.h>

#include "app/language.h"
#include "engine/helpers.h"
#include "tests/unit/scan_fixture.h"

namespace {

using QuickScanTest = ScanFixture;
using Texts = std::vector<std::string>;

TEST_F(QuickScanTest, CleanMachineSaysSoAndRestoresTheButtons) {
  Database({"[Start]", "[Nothing.Here]:C:\\nowhere\\x.exe"});
  Start();
  AnswerScanQuestion();
  host.Answer(ui::kIdOk, "Your computer is clean from this kind of viruses!", "Information");
  ClickScan();
  EXPECT_EQ(program->form1->Note1->ActivePage(), 1);
  EXPECT_EQ(Lines(), (Texts{"Your computer is clean..."}));
  EXPECT_FALSE(program->form1->List1->ItemEnabled(0));  // greyed, cannot be ticked
  EXPECT_EQ(Log(), (Texts{"10:00:00: Scanning, please wait...", "10:00:00: Your computer is clean!"}));
  EXPECT_EQ(Status(), "Scan process finished.");
  EXPECT_TRUE(Enabled("Button1"));
  EXPECT_FALSE(Enabled("Button2"));
  EXPECT_FALSE(Enabled("Button3"));
  EXPECT_TRUE(program->form1->Find("Button6")->Visible());
  EXPECT_EQ(host.PendingAnswers(), 0u);
}

TEST_F(QuickScanTest, FilesFoldersAndRunningProgramsBecomeFindings) {
  WriteFile("C:\\bad\\worm.exe", "MZ worm program body");
  WriteFile("C:\\bad\\empty.dat", "");
  WriteFile("C:\\bad\\nest\\inner.dll", "inner library");
  WriteFile("C:\\bad\\nest\\deeper\\x.txt", "x");
  WriteFile("C:\\bad\\nest\\.hidden\\skip.txt", "never listed");
  // A junction inside the infected folder back to its parent is not entered.
  std::filesystem::create_directory_symlink(root / "bad", root / "bad" / "nest" / "loop");
  WriteFile("C:\\other\\runner.exe", "MZ runner program");
  WriteFile("C:\\other\\runner2.exe", "MZ second runner");
  const auto worm = machine.SimProcs().Start("C:\\bad\\worm.exe");
  machine.SimProcs().Start("C:\\other\\runner.exe");
  machine.SimProcs().Start("C:\\other\\runner2.exe");
  Database({"[Start]", "[Worm.A]:C:\\bad\\worm.exe", "[Worm.Twice]:C:\\bad\\WORM.exe",
            "[Empty.File]:C:\\bad\\empty.dat", "[Worm.Folder]:C:\\bad\\nest\\\\",
            "[Missing.Folder]:C:\\nothere\\\\", "[Win32Root]", "[Proc.Lookup]:runner.exe",
            "[No.Lookup]:runner2/0/.exe", "[Inert]::"});
  Start();
  ScanDecliningFullScan(4);

  EXPECT_EQ(Lines(), (Texts{"Infected with Worm.A", "Infected with Empty.File",
                            "Infected with Worm.Folder", "Infected with Proc.Lookup"}));
  for (std::size_t i = 0; i < Lines().size(); ++i) {
    EXPECT_TRUE(program->form1->List1->Checked(i));
    EXPECT_TRUE(program->form1->List1->ItemEnabled(i));
  }
  EXPECT_EQ(Log(), (Texts{"10:00:00: Scanning, please wait...",
                          "10:00:00: Infected file (Worm.A) C:\\bad\\worm.exe",
                          "10:00:00: Infected file (Empty.File) C:\\bad\\empty.dat",
                          "10:00:00: Infected directory C:\\bad\\nest",
                          "10:00:00: Infected file (Worm.Folder) C:\\bad\\nest\\deeper\\x.txt",
                          "10:00:00: Infected file (Worm.Folder) C:\\bad\\nest\\inner.dll",
                          "10:00:00: Infected file (Proc.Lookup) C:\\other\\runner.exe",
                          "10:00:00: 4 Dangerous files have been found on your computer.",
                          "Click on \"Fix\" button to fix selected tasks."}));
  EXPECT_EQ(Paths(), (Texts{"C:\\bad\\worm.exe", "C:\\bad\\empty.dat", "C:\\bad\\nest",
                            "C:\\bad\\nest\\deeper", "C:\\bad\\nest\\deeper\\x.txt",
                            "C:\\bad\\nest\\inner.dll", "C:\\other\\runner.exe"}));
  const auto& r = program->form1->scan.findings.Records();
  EXPECT_EQ(r[0].ListIndex, 0);
  EXPECT_EQ(r[0].Md5, engine::Md5Hex("MZ worm program body"));
  EXPECT_EQ(r[2].ListIndex, 2);
  EXPECT_TRUE(r[2].IsFolder);
  EXPECT_TRUE(r[3].IsSubfolder);
  EXPECT_TRUE(r[4].InFolder);
  EXPECT_EQ(r[4].ListIndex, -1);
  // Files inside the folder count, folders do not; the count shown is the lines.
  EXPECT_EQ(program->form1->scan.findingCount, 6);

  // Both running programs whose files were found end; the one behind the
  // no-lookup rule keeps running.
  Texts ended;
  for (const auto& t : machine.SimProcs().TerminatedLog()) ended.push_back(t.imagePath);
  EXPECT_EQ(ended, (Texts{"C:\\bad\\worm.exe", "C:\\other\\runner.exe"}));
  EXPECT_FALSE(machine.SimProcs().Get(worm));

  const Texts summary = program->form1->scan.summary.Lines();
  // One line per rule that named a file: the second rule's name makes its own line.
  ASSERT_EQ(summary.size(), 4u);
  // The prefix as written, the rest in lower case.
  EXPECT_EQ(summary[3].substr(0, 39), "!Infected worm.exe=;c:\\bad\\;worm.twice;");
  EXPECT_EQ(summary[1], "!Infected runner.exe=;c:\\other\\;proc.lookup;" +
                            engine::Md5Hex("MZ runner program") + ";17;");
  EXPECT_EQ(Status(), "Scan process finished.");
  EXPECT_TRUE(Enabled("Button2"));
  EXPECT_TRUE(Enabled("xpButton5"));
}

TEST_F(QuickScanTest, ARulePathEndsAtItsFirstNul) {
  // Windows reads C:\bad\nest from this folder rule; each subfolder
  // found there is walked once, not again and again below itself.
  WriteFile("C:\\bad\\nest\\nest\\x.txt", "x");
  Database({"[Start]", std::string("[Worm.Folder]:C:\\bad\\nest\0\0\\\\", 29)});
  Start();
  ScanDecliningFullScan(1);
  EXPECT_EQ(Lines(), (Texts{"Infected with Worm.Folder"}));
  EXPECT_EQ(Paths(), (Texts{"C:\\bad\\nest", "C:\\bad\\nest\\nest", "C:\\bad\\nest\\nest\\x.txt"}));
}

TEST_F(QuickScanTest, HashRulesAndStartupEntriesReachTheInventory) {
  WriteFile("C:\\Apps\\tool.exe", "MZ started with windows");
  WriteFile("C:\\Apps\\svc.exe", "MZ a service");
  Database({"[Start]", "/" + engine::Md5Hex("MZ started with windows") + "/[Hash.Rule]::",
            "[Svc.Pieces]:C:\\Apps\\s?c?"});
  Start();
  program->form1->scan.startupValueData = [] { return Texts{"\"C:\\Apps\\tool.exe\" /min"}; };
  program->form1->ListView2->AddItem("Svc", {"c:\\apps\\svc.exe -k", "Running", "Auto"});
  ScanDecliningFullScan(2);
  EXPECT_EQ(Lines(), (Texts{"Infected with Hash.Rule", "Infected with Sys32.svc"}));
  EXPECT_EQ(Paths(), (Texts{"c:\\apps\\tool.exe", "c:\\apps\\svc.exe"}));
  EXPECT_EQ(program->form1->scan.findings.Records()[1].Name, "Lock:Sys32.svc");
  const Texts want = {
      "RegRun c:\\apps\\tool.exe[" + engine::Md5Hex("MZ started with windows") + "][23]",
      "Service c:\\apps\\svc.exe[" + engine::Md5Hex("MZ a service") + "][12]"};
  EXPECT_EQ(program->form1->scan.inventory.Entries(), want);
}

// How far the scan has come goes to a label of the findings page, about ten
// times a second and once at the end; status panel 0 keeps its texts.
TEST_F(QuickScanTest, ProgressCountsTheRulesBesideTheStatusPanel) {
  Database({"[Start]", "[One]:C:\\nowhere\\one.exe", "[Two]:C:\\nowhere\\two.exe",
            "[System32Root]", "[Three]:three.exe"});
  Start();
  auto& f = *program->form1;
  f.LabelProgress->SetCaption("left from before");
  const std::string language = app::LanguageTemplate(*program);
  // The folder macros are expanded twice a pass: look at the window as each
  // pass begins.
  Texts seen;
  int calls = 0;
  f.scan.expandFolderMacros = [&](const std::string& s) {
    if (++calls % 2 == 1) seen.push_back(f.LabelProgress->Caption() + " | " + Status());
    return s;
  };
  AnswerScanQuestion();
  host.Answer(ui::kIdOk, "Your computer is clean from this kind of viruses!", "Information");
  ClickScan();
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0].substr(0, 3), " | ");  // cleared when the scan began
  // The first news comes as soon as the first rule is checked.
  EXPECT_EQ(seen[1], "Rules checked: 1 of 3 | Checking One");
  EXPECT_EQ(f.LabelProgress->Caption(), "Rules checked: 3 of 3");
  EXPECT_EQ(Status(), "Scan process finished.");
  EXPECT_EQ(f.LabelProgress->Parent(), f.Find("Page1"));
  // Its caption is the program's own: language files take no line for it.
  EXPECT_EQ(app::LanguageTemplate(*program), language);
}

TEST_F(QuickScanTest, AbortKeepsTheFindingsSoFar) {
  WriteFile("C:\\bad\\one.exe", "one");
  WriteFile("C:\\bad\\two.exe", "two");
  WriteFile("C:\\bad\\three.exe", "three");
  Database({"[Start]", "[One]:C:\\bad\\one.exe", "[Two]:C:\\bad\\two.exe",
            "[Three]:C:\\bad\\three.exe"});
  Start();
  // The user presses Abort during the second rule: it is finished, the third is not read.
  auto& f = *program->form1;
  f.scan.expandFolderMacros = [&f](const std::string& s) {
    if (f.List1->Items().size() == 2) {
      // The greyed placeholder heads the list while the scan runs.
      EXPECT_EQ(f.List1->Items()[0], "Scanning...");
      EXPECT_FALSE(f.List1->ItemEnabled(0));
      f.Find("Button3")->Click();
    }
    return s;
  };
  AnswerScanQuestion();
  host.Answer(ui::kIdNo);
  host.Answer(ui::kIdOk);
  ClickScan();
  EXPECT_EQ(Lines(), (Texts{"Infected with One", "Infected with Two"}));
  EXPECT_EQ(Status(), "Scan process aborted.");
  EXPECT_TRUE(Enabled("Button1"));
  EXPECT_FALSE(Enabled("Button3"));
}

TEST_F(QuickScanTest, RangesPatternsAndTwins) {
  for (const char* f : {"C:\\r\\dialb1.exe", "C:\\r\\dialc2.exe", "C:\\r\\dialc3.exe",
                        "C:\\r\\dial4.exe", "C:\\r\\abc123.exe", "C:\\r\\abcx1.exe",
                        "C:\\r\\spyware.exe", "C:\\r\\spy", "C:\\r\\abca.exe", "C:\\r\\abc.exe",
                        "C:\\r\\aba.exe", "C:\\r\\ab.exe"})
    WriteFile(f, "MZ sample");
  std::filesystem::create_directories(root / "r" / "spyfolder.exe");
  for (const char* f : {"C:\\r\\abca.exe", "C:\\r\\aba.exe"}) machine.SimProcs().Start(f);
  Database({"[Start]", "[Range]:C:\\r\\dial??b1?d3?.exe", "[Digits]:C:\\r\\dial??1?5?.exe",
            "[Chars]:C:\\r\\abc&0123456789!.exe!", "[Wild]:C:\\r\\spy<>.exe",
            "[Twin]:C:\\r\\randomA"});
  Start();
  ScanDecliningFullScan(7);
  EXPECT_EQ(Lines(), (Texts{"Infected with Sys32.dialb1", "Infected with Sys32.dialc2",
                            "Infected with Sys32.dial4", "Infected with Sys32.abc",
                            "Infected with Sys32.abc123", "Infected with Sys32.spyware",
                            "Infected with Sys32.abca"}));
}

}  // namespace
