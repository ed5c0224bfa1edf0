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
  AnswerScanQuestion();
  host.Answer(ui::kIdYes);
  ClickScan();
  program->form3->Find("xpButton1")->Click();
  host.Answer(ui::kIdOk,
              "You have 2 dangerous files in your computer, click \"Fix\" button to fix this tasks!",
              "Alert");
  host.Advance(1000);
  EXPECT_EQ(Paths(), (std::vector<std::string>{"C:\\bad\\worm.exe", "C:\\data\\copy.bin"}));
  const auto log = Log();
  EXPECT_NE(std::find(log.begin(), log.end(), "10:00:00: Ignored (ignore list) C:\\Keep"),
            log.end());
}

}  // namespace
