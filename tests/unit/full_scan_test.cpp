// The full scan after a quick scan: copies of the findings on every checked
// fixed drive, by size first and MD5 on equal size.
#include <gtest/gtest.h>

#include "engine/helpers.h"
#include "tests/unit/scan_fixture.h"

namespace {

class FullScanTest : public ScanFixture {
 protected:
  void SetUp() override {
    WriteFile("C:\\bad\\worm.exe", "MZ worm body");
    WriteFile("C:\\bad\\empty.dat", "");
    WriteFile("C:\\bad\\nest\\folder.bin", "in an infected folder");
    Database({"[Start]", "[Worm.A]:C:\\bad\\worm.exe", "[Empty]:C:\\bad\\empty.dat",
              "[Nest]:C:\\bad\\nest\\\\"});
    machine.SimFiles().MapDrive('E', root / "WINDOWS" / "removable");  // not a fixed drive
    machine.SimFiles().SetDriveType('E', platform::FileSystem::kDriveRemovable);
    Start();
  }
  // The quick scan, accepting the full scan: the window opens.
  void QuickScanIntoFullScan() {
    AnswerScanQuestion();
    host.Answer(ui::kIdYes);
    ClickScan();
  }
  TForm3& Window() { return *program->form3; }
};

TEST_F(FullScanTest, FindsCopiesBySizeThenHashButNeverThroughALoop) {
  WriteFile("C:\\data\\copy.bin", "MZ worm body");             // a copy
  WriteFile("C:\\data\\twin.bin", "MZ worm BODY");             // same size, other bytes
  WriteFile("C:\\data\\zero.txt", "");                         // like the empty finding
  WriteFile("C:\\data\\in-folder.bin", "in an infected folder");  // files of folders are patterns too
  WriteFile("C:\\.cache\\copy.exe", "MZ worm body");           // dot folders are not entered
  WriteFile("C:\\z\\second.exe", "MZ worm body");              // a second copy
  // A junction back to the drive root: walking it would never end.
  std::filesystem::create_directory_symlink(root, root / "data" / "loop");

  QuickScanIntoFullScan();
  EXPECT_TRUE(Window().Visible());
  EXPECT_FALSE(program->form1->Enabled());
  EXPECT_EQ(Window().Label1->Caption(), "Scan drives C:\\;");
  EXPECT_EQ(Window().cList1->Items(), (std::vector<std::string>{"C:\\"}));
  EXPECT_TRUE(Window().cList1->Checked(0));
  EXPECT_EQ(Window().Memo1->Lines().at(0), program->msg[147]);

  Window().Find("xpButton1")->Click();
  EXPECT_FALSE(Window().Visible());
  EXPECT_TRUE(program->form1->Enabled());
  host.Answer(ui::kIdOk,
              "You have 7 dangerous files in your computer, click \"Fix\" button to fix this tasks!",
              "Alert");
  host.Advance(1000);

  std::vector<std::string> copies;
  for (const auto& r : program->form1->scan.findings.Records())
    if (r.FromFullScan) {
      copies.push_back(r.Path + " " + r.Name);
      EXPECT_EQ(r.Md5, engine::Md5Hex(r.Name == "Nest" ? "in an infected folder" : "MZ worm body"));
      EXPECT_EQ(r.ListIndex, -1);
    }
  EXPECT_EQ(copies, (std::vector<std::string>{"C:\\data\\copy.bin Worm.A",
                                              "C:\\data\\in-folder.bin Nest",
                                              "C:\\z\\second.exe Worm.A"}));
  const auto& log = program->form1->Memo2->Lines();
  const std::vector<std::string> tail(log.end() - 6, log.end());
  EXPECT_EQ(tail, (std::vector<std::string>{
                      "10:00:00: Scanning, please wait...",
                      "10:00:00: Infected file (Worm.A) C:\\data\\copy.bin",
                      "10:00:00: Infected file (Nest) C:\\data\\in-folder.bin",
                      "10:00:00: Infected file (Worm.A) C:\\z\\second.exe",
                      "10:00:00: 7 Dangerous files have been found on your computer.",
                      "Click on \"Fix\" button to fix selected tasks."}));
  EXPECT_EQ(Lines(), (std::vector<std::string>{"Infected with Worm.A", "Infected with Empty",
                                               "Infected with Nest"}));
  EXPECT_EQ(Status(), "Scan process finished.");
  // Every file the walk passed, counted beside the status panel; a link and
  // the dot folder are not entered.
  std::size_t files = 0;
  for (auto it = std::filesystem::recursive_directory_iterator(root);
       it != std::filesystem::recursive_directory_iterator(); ++it) {
    if (it->path().filename().string()[0] == '.') it.disable_recursion_pending();
    else files += it->is_regular_file() && !it->is_symlink();
  }
  EXPECT_EQ(program->form1->LabelProgress->Caption(),
            "Files checked: " + std::to_string(files) + " (0 MB) in C:\\");
  EXPECT_TRUE(Enabled("Button1"));
  EXPECT_TRUE(Enabled("Button2"));
  EXPECT_FALSE(Enabled("Button3"));
}

TEST_F(FullScanTest, DecliningAsksAndNoStartsTheScanAfterAll) {
  WriteFile("C:\\data\\copy.bin", "MZ worm body");
  QuickScanIntoFullScan();
  host.Answer(ui::kIdNo,
              program->msg[142] + "\r\rNote:\r" + program->msg[143], "Klaruvex Pro Scan alert");
  Window().Find("xpButton3")->Click();
  host.Answer(ui::kIdOk);
  host.Advance(1000);
  EXPECT_TRUE(program->form1->scan.findings.Contains("C:\\data\\copy.bin"));
  EXPECT_EQ(Status(), "Scan process finished.");
}

TEST_F(FullScanTest, DecliningForGoodRestoresTheMainWindow) {
  QuickScanIntoFullScan();
  host.Answer(ui::kIdYes);  // abort the full scan
  host.Answer(ui::kIdNo, "Do you want to clean active virus alerts?", "Question");
  Window().Find("xpButton3")->Click();
  host.Advance(1000);
  EXPECT_EQ(Lines().size(), 3u);  // the placeholder line is gone
  EXPECT_TRUE(Enabled("Button1"));
  EXPECT_TRUE(Enabled("Button2"));
  EXPECT_FALSE(Enabled("Button3"));
  EXPECT_EQ(Status(), "Scan process finished.");
  EXPECT_EQ(host.PendingAnswers(), 0u);
}

TEST_F(FullScanTest, UncheckingADriveLeavesItOut) {
  machine.SimFiles().MapDrive('D', root / "second");
  WriteFile("D:\\copy.bin", "MZ worm body");
  QuickScanIntoFullScan();
  EXPECT_EQ(Window().Label1->Caption(), "Scan drives C:\\;D:\\;");
  Window().cList1->SetChecked(0, false);
  EXPECT_EQ(Window().Label1->Caption(), "Scan drives D:\\;");
  Window().Find("xpButton1")->Click();
  host.Answer(ui::kIdOk);
  host.Advance(1000);
  EXPECT_TRUE(program->form1->scan.findings.Contains("D:\\copy.bin"));
}

}  // namespace

namespace {

TEST_F(FullScanTest, ClosingTheWindowWithItsCloseBoxLeavesNoScanHanging) {
  QuickScanIntoFullScan();
  Window().Close();  // the close box: neither Scan nor Abort
  host.Advance(1000);
  EXPECT_EQ(Lines(), (std::vector<std::string>{"Infected with Worm.A", "Infected with Empty",
                                               "Infected with Nest"}));
  EXPECT_TRUE(Enabled("Button1"));
  EXPECT_TRUE(Enabled("Button2"));
  EXPECT_FALSE(Enabled("Button3"));
  EXPECT_TRUE(program->form1->Enabled());
  EXPECT_EQ(Status(), "Scan process finished.");
  EXPECT_EQ(host.PendingAnswers(), 0u);
}

}  // namespace
