// "Scan with Options" under Wine: the real window scans a folder chosen in
// it, finds a planted sample by its hash, and leaves an ignored folder alone;
// the ignore list window's menu bar is a real one whose items click.
#include <gtest/gtest.h>

#include "app/all_windows.h"
#include "engine/helpers.h"
#include "platform/text.h"
#include "platform/win32/machine.h"
#include "update/ezcrypt.h"

namespace {

class Win32OptionsScan : public ::testing::Test {
 protected:
  void SetUp() override {
    auto& fs = machine->Files();
    dir_ = "C:\\kvxopt" + std::to_string(machine->Procs().CurrentPid());
    for (const char* d : {"", "\\deep", "\\kept"}) fs.CreateDirectory(dir_ + d);
    platform::WriteWholeFile(fs, dir_ + "\\deep\\sample.bin", kSample);
    platform::WriteWholeFile(fs, dir_ + "\\kept\\sample.bin", kSample);
    platform::WriteWholeFile(fs, dir_ + "\\clean.txt", "an ordinary file");
    const std::string text = "Test database\r\n[Start]\r\n/" + engine::Md5Hex(kSample) +
                             "/[Planted.Sample]::\r\n_end\r\n";
    platform::WriteWholeFile(fs, dir_ + "\\test.dat",
                             engine::PackDatabase(text, update::LanguageKey()));
  }
  void TearDown() override {
    auto& fs = machine->Files();
    for (const char* f : {"\\deep\\sample.bin", "\\kept\\sample.bin", "\\clean.txt", "\\test.dat"})
      fs.DeleteFile(dir_ + f);
    for (const char* d : {"\\deep", "\\kept", ""}) fs.RemoveDirectory(dir_ + d);
  }

  static constexpr const char* kSample = "harmless planted sample for the hash scan";
  std::unique_ptr<platform::Machine> machine = platform::win32::CreateMachine();
  std::string dir_;
};

TEST_F(Win32OptionsScan, RealWindowFindsPlantedSampleByHashAndHonoursIgnoredFolder) {
  auto host = platform::win32::CreateHost();
  app::Program p(*machine, *host);
  ASSERT_TRUE(p.Start());
  auto& f = *p.form1;
  ASSERT_EQ(f.database.Load(machine->Files(), dir_ + "\\test.dat", update::LanguageKey()),
            engine::LoadResult::Ok);
  const auto keptBefore = p.formIG->fileList;
  p.formIG->fileList.clear();
  p.formIG->AddFolder(dir_ + "\\kept");

  auto& w = *p.optscan;
  w.Show();
  for (std::size_t i = 0; i < w.cList1->Items().size(); ++i) w.cList1->SetChecked(i, false);
  w.AddFolder(dir_);
  w.cbxIgnore->SetChecked(true);
  w.Find("xpButton3")->Click();
  w.WaitForScan();
  host->ProcessMessages();

  std::vector<std::string> paths;
  for (const auto& r : f.scan.findings.Records()) paths.push_back(r.Path + " " + r.Name);
  EXPECT_EQ(paths, (std::vector<std::string>{dir_ + "\\deep\\sample.bin Planted.Sample"}));
  EXPECT_EQ(host->WindowRows(*f.List1), (std::vector<std::string>{"Infected with Planted.Sample"}));
  EXPECT_EQ(w.Label4->Caption(), "Unreadable files: 0");
  EXPECT_EQ(w.Label3->Caption(), "Scan finished: 1 dangerous files found.");
  w.Close();

  // The menu bar of the ignore list window: "Files" > "Clear file ignore list".
  p.formIG->Show();
  host->ProcessMessages();
  EXPECT_TRUE(host->ClickMenuItem(*p.formIG, *p.formIG->Find("ClearFiles1")));
  EXPECT_TRUE(p.formIG->fileList.empty());
  p.formIG->fileList = keptBefore;
  p.formIG->Close();
  f.Close();
  host->ProcessMessages();
}

}  // namespace
