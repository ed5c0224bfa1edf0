// "Scan with Options": chosen folders checked file by file against the hash
// rules; matches become findings of the main window; the ignore list, links
// and unreadable files; the choices kept in the options key; "/scan /path".
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <tuple>

#include "app/options.h"
#include "app/unattended.h"
#include "engine/folder_scan.h"
#include "engine/helpers.h"
#include "ignore/ignore_lists.h"
#include "tests/unit/scan_fixture.h"

namespace {

class OptionsScanTest : public ScanFixture {
 protected:
  void SetUp() override {
    WriteFile("C:\\data\\deep\\er\\sample.exe", "MZ planted sample");
    WriteFile("C:\\data\\Sample-copy.bin", "MZ planted sample");
    WriteFile("C:\\data\\other.exe", "MZ another sample");
    WriteFile("C:\\data\\clean.txt", "nothing to see");
    WriteFile("C:\\data\\twin.exe", "MZ planted samplE");  // same size, other bytes
    WriteFile("C:\\data\\keep\\sample.exe", "MZ planted sample");  // on the ignore list
    WriteFile("C:\\data\\locked.dat", "cannot be read");
    WriteFile("C:\\elsewhere\\sample.exe", "MZ planted sample");  // not chosen
    machine.SimFiles().FailReads("C:\\data\\locked.dat");
    // A junction back to the drive root: following it would never end.
    std::filesystem::create_directory_symlink(root, root / "data" / "loop");
    Database({"[Start]", "/" + engine::Md5Hex("MZ planted sample") + "/[Planted.A]::",
              "/" + engine::Md5Hex("MZ another sample") + "/[Other.B]::",
              "[NotAHashRule]:C:\\nowhere\\x.exe"});
    ignore::TFileIgnoreList keep;
    keep.Kind = "Folder";
    keep.IgnoredPath = "C:\\data\\keep;";
    keep.Flag2 = true;
    WriteFile(std::string(kFolder) + ignore::kFileListName, ignore::FormatFileIgnoreList({keep}));
  }
  Toptscan& Window() { return *program->optscan; }
  void ScanFolder(const std::string& folder, bool followIgnoreList) {
    Window().Show();
    host.AnswerFolder(folder);
    Window().Find("xpButton1")->Click();
    Window().cbxIgnore->SetChecked(followIgnoreList);
    Window().Find("xpButton3")->Click();
    Window().WaitForScan();
  }
  std::vector<std::string> FoundPaths() const {
    std::vector<std::string> out;
    for (const auto& r : program->form1->scan.findings.Records())
      out.push_back(r.Path + " " + r.Name + " " + std::to_string(r.ListIndex));
    std::sort(out.begin(), out.end());
    return out;
  }
};

TEST_F(OptionsScanTest, FindsPlantedSamplesByHashAndNothingElse) {
  Start();
  ScanFolder("C:\\data", true);
  auto found = FoundPaths();
  // Rows come in the order the workers finish; each record names its own row.
  for (const auto& r : program->form1->scan.findings.Records()) {
    EXPECT_EQ(Lines().at(static_cast<std::size_t>(r.ListIndex)), "Infected with " + r.Name);
    EXPECT_TRUE(program->form1->List1->Checked(static_cast<std::size_t>(r.ListIndex)));
    EXPECT_EQ(r.Md5, engine::Md5Hex(r.Name == "Planted.A" ? "MZ planted sample" : "MZ another sample"));
  }
  for (auto& f : found) f.resize(f.rfind(' '));
  EXPECT_EQ(found, (std::vector<std::string>{"C:\\data\\Sample-copy.bin Planted.A",
                                             "C:\\data\\deep\\er\\sample.exe Planted.A",
                                             "C:\\data\\other.exe Other.B"}));
  EXPECT_EQ(Lines().size(), 3u);
  EXPECT_TRUE(Enabled("Button2"));  // Fix acts on them
  EXPECT_EQ(Window().Label2->Caption(), "Files checked: 6 (0 MB)");
  EXPECT_EQ(Window().Label4->Caption(), "Unreadable files: 1");
  EXPECT_EQ(Window().Memo1->Lines(), (std::vector<std::string>{"C:\\data\\locked.dat"}));
  EXPECT_EQ(Window().Label3->Caption(), "Scan finished: 3 dangerous files found.");
  const auto log = Log();
  EXPECT_NE(std::find(log.begin(), log.end(), "10:00:00: Ignored (ignore list) C:\\data\\keep"),
            log.end());
  EXPECT_EQ(log.back(), "10:00:00: 3 Dangerous files have been found on your computer.");
  EXPECT_TRUE(Window().Find("xpButton3")->Enabled());
  EXPECT_FALSE(Window().Find("xpButton4")->Enabled());
}

TEST_F(OptionsScanTest, IgnoreListNotFollowedWhenUnchecked) {
  Start();
  ScanFolder("C:\\data", false);
  EXPECT_EQ(Lines().size(), 4u);
  const auto found = FoundPaths();
  EXPECT_NE(std::find_if(found.begin(), found.end(),
                         [](auto& f) { return f.rfind("C:\\data\\keep\\sample.exe ", 0) == 0; }),
            found.end());
}

// The list as it was at the start holds for the whole scan, whatever the
// ignore list window does meanwhile.
TEST_F(OptionsScanTest, IgnoreListChangedDuringTheScanDoesNotReachIt) {
  Start();
  Window().Show();
  host.AnswerFolder("C:\\data");
  Window().Find("xpButton1")->Click();
  Window().cbxIgnore->SetChecked(true);
  Window().Find("xpButton3")->Click();
  program->formIG->ClearFiles1Click();
  Window().WaitForScan();
  EXPECT_EQ(Lines().size(), 3u);
  for (const auto& f : FoundPaths()) EXPECT_EQ(f.find("C:\\data\\keep\\"), std::string::npos) << f;
}

TEST_F(OptionsScanTest, ChoicesAreRememberedInTheOptionsKey) {
  Start();
  ScanFolder("C:\\data", false);
  Window().Close();
  auto key = machine.Reg().Open(platform::Hive::CurrentUser, app::kOptionsKey,
                                platform::keyaccess::kRead);
  ASSERT_TRUE(key);
  EXPECT_EQ(key->ReadString("ScanFolders"), "C:\\data;");
  EXPECT_EQ(key->ReadDword("FollowIgnoreList"), 0u);
  Window().Show();
  EXPECT_EQ(Window().cList1->Items(), (std::vector<std::string>{"C:\\", "C:\\data"}));
  EXPECT_FALSE(Window().cList1->Checked(0));
  EXPECT_TRUE(Window().cList1->Checked(1));
  EXPECT_FALSE(Window().cbxIgnore->Checked());
}

// The way in from the main window: a button beside "Scan for viruses",
// whose caption language files leave alone.
TEST_F(OptionsScanTest, MainWindowButtonOpensTheWindow) {
  Start();
  auto& f = *program->form1;
  auto* button = f.Find("xpButtonOptions");
  ASSERT_TRUE(button);
  EXPECT_EQ(button->Caption(), "Scan with Options");
  EXPECT_EQ(button->Parent(), f.Find("Button4")->Parent());
  EXPECT_FALSE(Window().Visible());
  button->Click();
  EXPECT_TRUE(Window().Visible());
  EXPECT_EQ(Window().cList1->Items(), (std::vector<std::string>{"C:\\"}));
}

TEST_F(OptionsScanTest, NothingCheckedAsksForAFolder) {
  Start();
  Window().Show();
  host.Answer(ui::kIdOk, "Please check at least one drive or folder to scan.", "Information");
  Window().Find("xpButton3")->Click();
  EXPECT_TRUE(program->form1->scan.findings.Records().empty());
}

TEST_F(OptionsScanTest, UnattendedPathScanReportsFindingsIgnoredAndUnreadable) {
  std::filesystem::create_directories(root / "out");
  auto run = [&](std::vector<std::string> args) {
    return app::RunProgram(machine, args, [] { return std::unique_ptr<ui::Host>(); });
  };
  EXPECT_EQ(run({"/scan", "/path", "C:\\data\\deep", "/PATH", "C:\\data\\keep", "/report",
                 "C:\\out\\r.json"}),
            app::kExitFound);
  std::string bytes;
  ASSERT_EQ(platform::ReadWholeFile(machine.Files(), "C:\\out\\r.json", bytes), platform::kOk);
  auto r = nlohmann::json::parse(bytes);
  ASSERT_EQ(r["findings"].size(), 1u);
  EXPECT_EQ(r["findings"][0]["path"], "C:\\data\\deep\\er\\sample.exe");
  EXPECT_EQ(r["findings"][0]["threat"], "Planted.A");
  EXPECT_EQ(r["ignored"], nlohmann::json::parse(R"([{"path": "C:\\data\\keep", "threat": ""}])"));
  EXPECT_EQ(r["filesChecked"], 1);
  EXPECT_EQ(r["unreadable"], nlohmann::json::array());

  EXPECT_EQ(run({"/scan", "/path", "C:\\nowhere", "/report", "C:\\out\\r.json"}),
            app::kExitFailed);
  EXPECT_EQ(run({"/path", "C:\\data"}), app::kExitFailed);  // /path belongs to /scan
}

// The workers open and read files at the same time: with one worker or
// several, the same files are checked, found and reported unreadable.
TEST_F(OptionsScanTest, OneWorkerOrManyCheckTheSameFiles) {
  for (int i = 0; i < 60; ++i)
    WriteFile("C:\\data\\many\\f" + std::to_string(i) + ".bin",
              i % 10 == 0 ? "MZ planted sample" : "bytes " + std::to_string(i));
  Start();
  const auto rules = engine::ReadHashRules(machine, program->form1->database);
  auto scan = [&](unsigned workers) {
    engine::FolderScan folderScan(machine.Files(), rules);
    folderScan.Start({"C:\\data"}, workers);
    folderScan.Wait();
    const auto news = folderScan.Take();
    std::vector<std::string> found;
    for (const auto& m : news.found) found.push_back(m.path + " " + m.name);
    std::sort(found.begin(), found.end());
    return std::make_tuple(news.files, news.bytes, news.unreadable, found, news.finished);
  };
  const auto one = scan(1);
  EXPECT_EQ(std::get<0>(one), 67u);  // seven files planted for every test, sixty here
  EXPECT_EQ(std::get<2>(one), std::vector<std::string>{"C:\\data\\locked.dat"});
  EXPECT_EQ(std::get<3>(one).size(), 10u);
  EXPECT_EQ(std::get<3>(one).front(), "C:\\data\\Sample-copy.bin Planted.A");
  EXPECT_TRUE(std::get<4>(one));
  EXPECT_EQ(scan(4), one);
}

}  // namespace
