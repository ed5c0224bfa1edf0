// The quick scan reaches the rest of the program: the start-up values of the
// registry base, the folder macros and the start-up manager's lists.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/all_windows.h"
#include "engine/helpers.h"
#include "tests/unit/scan_fixture.h"

namespace {

class ScanConnectionsTest : public ScanFixture {
 protected:
  void SetUp() override {
    WriteFile(std::string(kFolder) + "RegBase.rgk", DemoFile("RegBase.rgk"));
  }
  bool InInventory(const std::string& entry) {
    const auto& e = program->form1->scan.inventory.Entries();
    return std::find(e.begin(), e.end(), entry) != e.end();
  }
};

TEST_F(ScanConnectionsTest, RunValuesAndMacrosTakePartInTheScan) {
  const std::string runner = "MZ a program started with Windows";
  WriteFile("C:\\Apps\\Runner.exe", runner);
  WriteFile("C:\\TEMP\\dropper.exe", "MZ dropped into the temporary folder");
  machine.Reg()
      .Create(platform::Hive::CurrentUser, "Software\\Microsoft\\Windows\\CurrentVersion\\Run",
              platform::keyaccess::kAllAccess)
      ->Set("Runner", platform::ValueType::String, std::string("C:\\Apps\\Runner.exe /quiet\0", 27));
  Database({"[Start]", "[Dropper]:%%WinTemp%%\\dropper.exe"});
  Start();
  ScanDecliningFullScan(1);
  EXPECT_EQ(Paths(), std::vector<std::string>{"C:\\TEMP\\dropper.exe"});
  // The start-up list was refreshed before the inventory was built.
  EXPECT_EQ(program->form1->startupValues.size(), 1u);
  EXPECT_TRUE(InInventory("RegRun c:\\apps\\runner.exe[" + engine::Md5Hex(runner) + "][" +
                          std::to_string(runner.size()) + "]"));
}

TEST_F(ScanConnectionsTest, EnteringThePageBookRefreshesProcessesAndStartupValues) {
  WriteFile("C:\\Apps\\Runner.exe", "MZ a program started with Windows");
  machine.SimProcs().Start("C:\\Apps\\Runner.exe");
  machine.Reg()
      .Create(platform::Hive::CurrentUser, "Software\\Microsoft\\Windows\\CurrentVersion\\Run",
              platform::keyaccess::kAllAccess)
      ->Set("Runner", platform::ValueType::String, std::string("C:\\Apps\\Runner.exe\0", 19));
  Start();
  auto& f = *program->form1;
  f.List2->Clear();
  f.List3->Clear();
  ASSERT_TRUE(f.Note1->OnEnter);
  f.Note1->OnEnter();
  ASSERT_EQ(f.List2->Items().size(), 1u);
  EXPECT_EQ(f.List2->Items()[0].caption, "C:\\Apps\\Runner.exe");
  EXPECT_EQ(f.List3->Items().size(), 1u);
}

}  // namespace
