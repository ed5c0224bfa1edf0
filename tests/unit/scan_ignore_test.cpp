// The scans leave the folders of the file ignore list alone, and say so in
// the scan log and in the unattended report.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "app/unattended.h"
#include "ignore/ignore_lists.h"
#include "tests/unit/scan_fixture.h"

namespace {

class ScanIgnoreTest : public ScanFixture {
 protected:
  void SetUp() override {
    WriteFile("C:\\bad\\worm.exe", "MZ worm body");
    WriteFile("C:\\Keep\\tool.exe", "MZ a tool the user trusts");
    WriteFile("C:\\Keep\\nest\\a.txt", "a");
    Database({"[Start]", "[Worm.A]:C:\\bad\\worm.exe", "[Tool]:C:\\keep\\tool.exe",
              "[Nest]:C:\\keep\\nest\\\\"});
    ignore::TFileIgnoreList keep;
    keep.Kind = "Folder";
    keep.IgnoredPath = "C:\\keep;";
    keep.Flag2 = true;
    WriteFile(std::string(kFolder) + ignore::kFileListName, ignore::FormatFileIgnoreList({keep}));
  }
};

TEST_F(ScanIgnoreTest, QuickScanSkipsIgnoredFolderAndSaysSo) {
  const auto pid = machine.SimProcs().Start("C:\\Keep\\tool.exe");
  Start();
  ScanDecliningFullScan(1);
  EXPECT_EQ(Lines(), (std::vector<std::string>{"Infected with Worm.A"}));
  EXPECT_EQ(Paths(), (std::vector<std::string>{"C:\\bad\\worm.exe"}));
  EXPECT_TRUE(machine.SimProcs().Get(pid));  // an ignored program is not ended either
  const auto log = Log();
  EXPECT_NE(std::find(log.begin(), log.end(), "10:00:00: Ignored (Tool) C:\\keep\\tool.exe"),
            log.end());
  EXPECT_NE(std::find(log.begin(), log.end(), "10:00:00: Ignored (Nest) C:\\keep\\nest"),
            log.end());
}

TEST_F(ScanIgnoreTest, UnattendedReportListsWhatWasIgnored) {
  std::filesystem::create_directories(root / "out");
  EXPECT_EQ(app::RunProgram(machine, {"/scan", "/report", "C:\\out\\r.json"},
                            [] { return std::unique_ptr<ui::Host>(); }),
            app::kExitFound);
  std::string bytes;
  ASSERT_EQ(platform::ReadWholeFile(machine.Files(), "C:\\out\\r.json", bytes), platform::kOk);
  const auto r = nlohmann::json::parse(bytes);
  EXPECT_EQ(r["findings"].size(), 1u);
  EXPECT_EQ(r["ignored"], nlohmann::json::parse(R"([
      {"path": "C:\\keep\\tool.exe", "threat": "Tool"},
      {"path": "C:\\keep\\nest", "threat": "Nest"}])"));
}

TEST_F(ScanIgnoreTest, FullScanDoesNotWalkIgnoredFolder) {
  WriteFile("C:\\Keep\\copy.bin", "MZ worm body");
  WriteFile("C:\\data\\copy.bin", "MZ worm body");
  Start();
  ScanWithFullScan(2);
  EXPECT_EQ(Paths(), (std::vector<std::string>{"C:\\bad\\worm.exe", "C:\\data\\copy.bin"}));
  const auto log = Log();
  EXPECT_NE(std::find(log.begin(), log.end(), "10:00:00: Ignored (ignore list) C:\\Keep"),
            log.end());
}

TEST_F(ScanIgnoreTest, FindingOffersToIgnoreItsFolder) {
  WriteFile(std::string(kFolder) + ignore::kFileListName, "0\r\n");
  Start();
  ScanDecliningFullScan(3);
  auto& f = *program->form1;
  ASSERT_EQ(Lines(), (std::vector<std::string>{"Infected with Worm.A", "Infected with Tool",
                                               "Infected with Nest"}));
  ASSERT_EQ(f.List1->popupMenu, f.Find("pmFindings"));
  auto* ignoreFolder = f.Find("IgnoreFolder1");
  f.List1->popupMenu->Popup();  // nothing selected: nothing to ignore
  EXPECT_FALSE(ignoreFolder->Enabled());

  // A file's folder, then a folder finding's own folder; the second file of
  // a folder already ignored adds nothing.
  for (int row : {0, 2}) {
    f.List1->SetItemIndex(row);
    f.List1->popupMenu->Popup();
    EXPECT_TRUE(ignoreFolder->Enabled());
    ignoreFolder->Click();
    EXPECT_FALSE(f.List1->Checked(static_cast<std::size_t>(row)));  // Fix leaves it alone
  }
  EXPECT_TRUE(f.List1->Checked(1));
  std::vector<ignore::TFileIgnoreList> saved;
  ASSERT_TRUE(ignore::LoadFileIgnoreList(machine.Files(),
                                         std::string(kFolder) + ignore::kFileListName, saved));
  ASSERT_EQ(saved.size(), 2u);
  EXPECT_EQ(saved[0].IgnoredPath, "C:\\bad;");
  EXPECT_EQ(saved[1].IgnoredPath, "C:\\keep\\nest;");
  EXPECT_EQ(saved[0].Kind, "Folder");
}

TEST_F(ScanIgnoreTest, FindingsAndAboutPagesOpenTheIgnoreList) {
  Start();
  for (int page : {1, 4}) {
    const std::string button = "xpButtonIgnore" + std::to_string(page);
    program->formIG->Hide();
    program->form1->ShowPage(page);
    program->form1->Find(button)->Click();
    EXPECT_TRUE(program->formIG->Visible()) << button;
  }
  EXPECT_EQ(program->form1->Find("xpButtonIgnore1")->Parent(), program->form1->Find("Page1"));
  EXPECT_EQ(program->form1->Find("xpButtonIgnore4")->Parent(), program->form1->Find("Page4"));
  EXPECT_EQ(program->formIG->List1->Items(), (std::vector<std::string>{"C:\\keep;"}));
}

}  // namespace
