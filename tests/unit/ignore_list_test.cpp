// The ignore lists: their files, their window and the registry row hints.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "ignore/ignore_window.h"
#include "tests/unit/program_fixture.h"

namespace {

using ignore::TFileIgnoreList;
using ignore::TRegIgnoreList;

class IgnoreListTest : public ProgramFixture {
 protected:
  std::string ReadBack(const char* name) {
    std::string bytes;
    EXPECT_EQ(platform::ReadWholeFile(machine.Files(), std::string(kFolder) + name, bytes),
              platform::kOk);
    return bytes;
  }
  static std::vector<std::string> Rows(const ui::ListBox& l) { return l.Items(); }
};

TEST_F(IgnoreListTest, NoFilesGiveEmptyListsAndClosingWritesTwoZeroFiles) {
  auto p = StartProgram();
  auto& w = *p->formIG;
  w.Show();
  EXPECT_TRUE(w.List1->Items().empty());
  EXPECT_TRUE(w.List2->Items().empty());
  EXPECT_FALSE(w.List2->Enabled());
  w.Close();
  EXPECT_EQ(ReadBack("FileIgnoreL.fil"), "0\r\n");
  EXPECT_EQ(ReadBack("RegIgnoreL.fil"), "0\r\n");
}

TEST_F(IgnoreListTest, FilesRoundTripByteForByte) {
  const std::string files =
      "2\r\nFolder\r\nC:\\Temp;\r\n\r\n\r\n0\r\n0\r\n0\r\n1\r\n"
      "File\r\nC:\\x.exe\r\nA\r\nB\r\n-7\r\n2147483647\r\n1\r\n0\r\n";
  const std::string regs =
      "1\r\n2\r\nSoftware\\X\r\nRun\r\nstarts x\r\nc:\\x.exe\r\n1\r\n";
  WriteFile(std::string(kFolder) + "FileIgnoreL.fil", files);
  WriteFile(std::string(kFolder) + "RegIgnoreL.fil", regs);
  auto p = StartProgram();
  auto& w = *p->formIG;
  w.Show();
  EXPECT_EQ(Rows(*w.List1), (std::vector<std::string>{"C:\\Temp;", "C:\\x.exe"}));
  EXPECT_EQ(Rows(*w.List2), std::vector<std::string>{"HKEY_LOCAL_MACHINE\\Software\\X\\Run"});
  EXPECT_EQ(w.fileList[1], (TFileIgnoreList{"File", "C:\\x.exe", "A", "B", -7, 2147483647, true, false}));
  w.Close();
  EXPECT_EQ(ReadBack("FileIgnoreL.fil"), files);
  EXPECT_EQ(ReadBack("RegIgnoreL.fil"), regs);
}

TEST_F(IgnoreListTest, DamagedFilesKeepWhatWasReadBeforeTheError) {
  using namespace std::string_literals;
  struct Case {
    std::string bytes;
    std::vector<std::string> paths;
  } cases[] = {
      {"", {}},
      {"x\r\n", {}},
      {"999999999\r\nFolder\r\nC:\\A;\r\n\r\n\r\n0\r\n0\r\n0\r\n1\r\nFolder\r\nC:\\B;\r\n", {"C:\\A;"}},
      {"2\r\nK\r\nC:\\A;\r\n\r\n\r\nnot a number\r\n0\r\n0\r\n1\r\n", {}},
      {"1\nK\nC:\\A;\n\n\n0\n0\n0\n1", {"C:\\A;"}},  // LF only, no last line end
      {"1\r\nK\r\nC:\\\xFF\x00\x01;\r\n\r\n\r\n0\r\n0\r\n0\r\n1\r\n"s, {"C:\\\xFF\x00\x01;"s}},
  };
  for (const auto& c : cases) {
    std::vector<TFileIgnoreList> list(3);
    ignore::ParseFileIgnoreList(c.bytes, list);
    std::vector<std::string> paths;
    for (auto& e : list) paths.push_back(e.IgnoredPath);
    EXPECT_EQ(paths, c.paths) << c.bytes;
  }
  // A flag that is neither "1" nor "0" keeps the previous entry's value.
  std::vector<TFileIgnoreList> list;
  ignore::ParseFileIgnoreList(
      "3\r\nK\r\na\r\n\r\n\r\n0\r\n0\r\nyes\r\n1\r\nK\r\nb\r\n\r\n\r\n0\r\n0\r\n1\r\n?\r\n"
      "K\r\nc\r\n\r\n\r\n0\r\n0\r\n?\r\n0\r\n",
      list);
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ((std::vector<bool>{list[0].Flag1, list[0].Flag2, list[1].Flag1, list[1].Flag2,
                               list[2].Flag1, list[2].Flag2}),
            (std::vector<bool>{false, true, true, true, true, false}));
}

TEST_F(IgnoreListTest, MenusDeleteClearCheckAndAddFolders) {
  auto p = StartProgram();
  auto& w = *p->formIG;
  w.Show();
  host.AnswerFolder("C:\\");
  w.Find("AddFolder1")->OnClick();
  host.AnswerFolder("C:\\Temp");
  w.Find("AddFolder1")->OnClick();
  host.AnswerFolder(std::nullopt);
  w.Find("AddFolder1")->OnClick();
  EXPECT_EQ(host.FolderDialogs().back().start, "C:\\");
  EXPECT_EQ(Rows(*w.List1), (std::vector<std::string>{"C:\\;", "C:\\Temp;"}));

  // Nothing checked: still the success message.
  host.Answer(ui::kIdYes, "Do you wan't to delete checked files from ignore list?", "Question");
  host.Answer(ui::kIdOk, "Checked files sucessfully deleted from ignore list!", "Information");
  w.Find("DeleteFiles2")->OnClick();
  EXPECT_EQ(w.fileList.size(), 2u);

  w.Find("CheckAllFiles1")->OnClick();
  w.Find("UnCheckAllFiles2")->OnClick();
  w.List1->SetChecked(0, true);
  host.Answer(ui::kIdNo, "Do you wan't to delete checked files from ignore list?", "Question");
  w.Find("DeleteFiles1")->OnClick();
  EXPECT_EQ(w.fileList.size(), 2u);
  host.Answer(ui::kIdYes);
  host.Answer(ui::kIdOk);
  w.Find("DeleteFiles1")->OnClick();
  EXPECT_EQ(Rows(*w.List1), std::vector<std::string>{"C:\\Temp;"});
  ASSERT_EQ(w.fileList.size(), 1u);
  EXPECT_EQ(w.fileList[0], (TFileIgnoreList{"Folder", "C:\\Temp;", "", "", 0, 0, false, true}));

  w.Find("Close1")->OnClick();
  EXPECT_EQ(ReadBack("FileIgnoreL.fil"),
            "1\r\nFolder\r\nC:\\Temp;\r\n\r\n\r\n0\r\n0\r\n0\r\n1\r\n");
  w.Show();
  w.Find("ClearFiles1")->OnClick();
  EXPECT_TRUE(w.List1->Items().empty());
  EXPECT_TRUE(w.fileList.empty());
}

TEST_F(IgnoreListTest, RegistryRowHintFromTheLiveRegistry) {
  machine.Reg()
      .Create(platform::Hive::LocalMachine, "Software\\X", platform::keyaccess::kAllAccess)
      ->Set("Run", platform::ValueType::String, std::string("c:\\x.exe\0", 9));
  TRegIgnoreList present{2, "Software\\X", "Run", "starts x", "c:\\x.exe", true};
  EXPECT_EQ(ignore::RegRowHint(machine.Reg(), present),
            "New value was found:\rRoot key:HKEY_LOCAL_MACHINE\rPath: Software\\X\rValue name: "
            "Run\rc:\\x.exe\rInformation:starts x");
  present.IsNew = false;
  EXPECT_EQ(ignore::RegRowHint(machine.Reg(), present), "");
  TRegIgnoreList gone{1, "Software\\Y", "Old", "was here", "", false};
  EXPECT_EQ(ignore::RegRowHint(machine.Reg(), gone),
            "Value does not exists in registry:\rRoot key:HKEY_CURRENT_USER\rPath: "
            "Software\\Y\rValue name: Old\rInformation:was here");
  TRegIgnoreList odd{9, "Software\\X", "Run", "", "", true};
  EXPECT_EQ(ignore::RegRowText(odd), "\\Software\\X\\Run");
  EXPECT_EQ(ignore::RegRowHint(machine.Reg(), odd).rfind("Value does not exists", 0), 0u);

  auto p = StartProgram();
  auto& w = *p->formIG;
  w.regList = {gone};
  w.RebuildRows();
  w.List2->SetItemIndex(0);
  EXPECT_EQ(w.List2->Hint(), ignore::RegRowHint(machine.Reg(), gone));
}

TEST_F(IgnoreListTest, UnwritableFolderKeepsThePreviousFile) {
  WriteFile(std::string(kFolder) + "FileIgnoreL.fil", "0\r\n");
  auto p = StartProgram();
  auto& w = *p->formIG;
  w.Show();
  w.AddFolder("C:\\Keep");
  machine.SimFiles().FailWrites(kFolder, 4);
  w.Close();
  EXPECT_EQ(ReadBack("FileIgnoreL.fil"), "0\r\n");
  EXPECT_FALSE(platform::FileExists(
      machine.Files(), platform::ReplacementTempPath(std::string(kFolder) + "FileIgnoreL.fil")));
}

// A list file that cannot be read whole, is over the size limit or is damaged
// before its last entry is never written over: not on closing the window,
// not when a folder is added and saved at once.
TEST_F(IgnoreListTest, ListsNotReadWholeAreNeverSavedOver) {
  const std::string entry = "Folder\r\nC:\\A;\r\n\r\n\r\n0\r\n0\r\n0\r\n1\r\n";
  struct Case {
    const char* what;
    std::string bytes;
    std::uint64_t failReadAfter;  // 0: reads work
  } cases[] = {
      {"over the limit", "1\r\n" + entry + std::string(ignore::kMaxListFileBytes, ' '), 0},
      {"bad entry before a good one", "2\r\nK\r\nC:\\B;\r\n\r\n\r\nx\r\n0\r\n0\r\n1\r\n" + entry,
       0},
      {"more entries than counted", "1\r\n" + entry + entry, 0},
      {"read fails midway", "2\r\n" + entry + entry, 10},  // last: failures stay set
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    for (const char* name : {"FileIgnoreL.fil", "RegIgnoreL.fil"}) {
      WriteFile(std::string(kFolder) + name, c.bytes);
      if (c.failReadAfter) machine.SimFiles().FailReads(std::string(kFolder) + name, c.failReadAfter);
    }
    {
      auto p = StartProgram();
      auto& w = *p->formIG;
      // The user is told, for each list on opening and for the file list
      // when a folder is added, and declines the repair each time.
      for (int box = 0; box < 3; ++box) host.Answer(ui::kIdNo, std::nullopt, "Question");
      w.Show();
      w.AddFolder("C:\\New");
      w.SaveLists();  // what "Ignore this folder" does
      w.Close();
      EXPECT_EQ(host.PendingAnswers(), 0u);
    }
    for (const char* name : {"FileIgnoreL.fil", "RegIgnoreL.fil"}) {
      std::ifstream in(machine.SimFiles().HostPath(std::string(kFolder) + name), std::ios::binary);
      EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), c.bytes) << name;
    }
  }
  // Trailing blank lines lose nothing: the list is read and saved as usual.
  std::vector<TFileIgnoreList> list;
  EXPECT_TRUE(ignore::ParseFileIgnoreList("1\r\n" + entry + "\r\n\r\n", list));
  EXPECT_TRUE(ignore::ParseFileIgnoreList("", list));
}

TEST(IgnoredPath, FoldersAndTheirContents) {
  std::vector<TFileIgnoreList> list = {{"Folder", "C:\\Temp;", "", "", 0, 0, false, true},
                                       {"Folder", "D:\\;", "", "", 0, 0, false, true}};
  EXPECT_TRUE(ignore::IsIgnoredPath(list, "c:\\temp\\x.exe"));
  EXPECT_TRUE(ignore::IsIgnoredPath(list, "C:\\TEMP"));
  EXPECT_TRUE(ignore::IsIgnoredPath(list, "d:\\any\\where.dll"));
  EXPECT_FALSE(ignore::IsIgnoredPath(list, "c:\\temporary\\x.exe"));
  EXPECT_FALSE(ignore::IsIgnoredPath(list, "c:\\x.exe"));
}

}  // namespace
