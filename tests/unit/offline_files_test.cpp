// The volume of an installation that is not running, under its drive letter
// with Windows' name rules; links never followed; names outside the code
// page carried exactly.
#include <gtest/gtest.h>

#include <algorithm>

#include "engine/helpers.h"
#include "platform/offline/offline_files.h"
#include "tests/unit/offline_fixture.h"

using namespace platform;
namespace fs = std::filesystem;

namespace {

class OfflineFilesTest : public OfflineFixture {
 protected:
  void SetUp() override {
    Install();
    installation->File("Tools\\Tool.EXE", "MZ tool");
    installation->File("Tools\\Sub\\deep.txt", "deep");
  }
  std::vector<std::string> List(FileSystem& fs, const std::string& pattern) {
    std::vector<std::string> names;
    FindData d;
    if (auto h = fs.FindFirst(pattern, d)) {
      do
        names.push_back(d.name);
      while (h->Next(d));
    }
    return names;
  }
};

TEST_F(OfflineFilesTest, WindowsNamesOnTheVolume) {
  auto m = Open();
  ASSERT_TRUE(m) << error;
  auto& f = m->Files();
  std::string bytes;
  for (const char* path : {"C:\\Tools\\Tool.EXE", "c:\\tools\\tool.exe", "C:/TOOLS/TOOL.exe",
                           "C:\\Tools\\tool.exe. .", "C:\\Tools\\Sub\\..\\tool.exe"}) {
    EXPECT_EQ(ReadWholeFile(f, path, bytes), kOk) << path;
    EXPECT_EQ(bytes, "MZ tool") << path;
  }
  EXPECT_EQ(List(f, "C:\\tools\\*"), (std::vector<std::string>{".", "..", "Sub", "Tool.EXE"}));
  EXPECT_EQ(List(f, "C:\\tools\\*.exe"), (std::vector<std::string>{"Tool.EXE"}));
  EXPECT_EQ(List(f, "c:\\TOOLS\\SUB"), (std::vector<std::string>{"Sub"}));
  EXPECT_TRUE(DirectoryExists(f, "C:\\TOOLS\\sub"));
  EXPECT_TRUE(engine::IsValidFile(f, "C:\\tools\\tool.exe"));
  EXPECT_EQ(engine::FileMd5(f, "C:\\TOOLS\\TOOL.EXE"), engine::Md5Hex("MZ tool"));

  Status err = kOk;
  FindData d;
  EXPECT_FALSE(f.FindFirst("C:\\Tools\\missing.exe", d, &err));
  EXPECT_EQ(err, kFileNotFound);
  EXPECT_FALSE(f.FindFirst("C:\\Nowhere\\*", d, &err));
  EXPECT_EQ(err, kPathNotFound);
  EXPECT_FALSE(f.Open("D:\\Tools\\Tool.exe", OpenMode::Read, &err));  // only the system drive
  EXPECT_EQ(err, kPathNotFound);
  EXPECT_EQ(f.LogicalDrives(), std::vector<std::string>{"C:\\"});
  EXPECT_EQ(f.DriveType("C:\\"), FileSystem::kDriveFixed);
}

TEST_F(OfflineFilesTest, LinksAreNeverFollowed) {
  fs::create_directories(root / "outside");
  std::ofstream(root / "outside" / "secret.txt") << "outside the volume";
  fs::create_directory_symlink(root / "outside", volume / "Tools" / "Out");
  fs::create_directory_symlink("Sub", volume / "Tools" / "Junction");
  fs::create_symlink(root / "outside" / "secret.txt", volume / "Tools" / "link.txt");
  auto m = Open(/*writable=*/true);
  ASSERT_TRUE(m) << error;
  auto& f = m->Files();
  std::string bytes;
  EXPECT_NE(ReadWholeFile(f, "C:\\Tools\\link.txt", bytes), kOk);
  EXPECT_NE(ReadWholeFile(f, "C:\\Tools\\Out\\secret.txt", bytes), kOk);
  EXPECT_TRUE(List(f, "C:\\Tools\\Out\\*").empty());
  EXPECT_TRUE(List(f, "C:\\Tools\\Junction\\*").empty());
  // Listed as reparse points; a link to a folder inside the volume is a folder.
  FindData d;
  ASSERT_TRUE(f.FindFirst("C:\\Tools\\Junction", d));
  EXPECT_EQ(d.attributes & (fileattr::kReparsePoint | fileattr::kDirectory),
            fileattr::kReparsePoint | fileattr::kDirectory);
  ASSERT_TRUE(f.FindFirst("C:\\Tools\\Out", d));
  EXPECT_EQ(d.attributes & (fileattr::kReparsePoint | fileattr::kDirectory), fileattr::kReparsePoint);
  // Removing a link removes the link, never what it points at.
  EXPECT_EQ(f.RemoveDirectory("C:\\Tools\\Out"), kOk);
  EXPECT_EQ(f.DeleteFile("C:\\Tools\\link.txt"), kOk);
  EXPECT_EQ(Read(root / "outside" / "secret.txt"), "outside the volume");
  EXPECT_FALSE(fs::exists(fs::symlink_status(volume / "Tools" / "Out")));
  // Nothing outside the volume is reachable by a path.
  EXPECT_NE(ReadWholeFile(f, "C:\\..\\outside\\secret.txt", bytes), kOk);
  EXPECT_NE(ReadWholeFile(f, (root / "outside" / "secret.txt").string(), bytes), kOk);
}

TEST_F(OfflineFilesTest, NamesOutsideTheCodePageAreExact) {
  installation->File("Bad\\\xD0\x94rop.exe", "cyrillic");
  installation->File("Bad\\dots.exe.", "a trailing dot");
  installation->File("Bad\\dots.exe", "no trailing dot");
  auto m = Open(true);
  ASSERT_TRUE(m) << error;
  auto& f = m->Files();
  EXPECT_EQ(List(f, "C:\\Bad\\*.exe*"), (std::vector<std::string>{"dots.exe", "dots.exe|2E|", "|414|rop.exe"}));
  std::string bytes;
  ASSERT_EQ(ReadWholeFile(f, "C:\\Bad\\|414|rop.exe", bytes), kOk);
  EXPECT_EQ(bytes, "cyrillic");
  ASSERT_EQ(ReadWholeFile(f, "c:\\bad\\dots.exe|2e|", bytes), kOk);
  EXPECT_EQ(bytes, "a trailing dot");
  ASSERT_EQ(ReadWholeFile(f, "C:\\Bad\\dots.exe.", bytes), kOk);  // Windows drops the dot
  EXPECT_EQ(bytes, "no trailing dot");
  EXPECT_EQ(f.DeleteFile("C:\\Bad\\dots.exe|2E|"), kOk);
  EXPECT_TRUE(fs::exists(volume / "Bad" / "dots.exe"));
  EXPECT_FALSE(fs::exists(volume / "Bad" / "dots.exe."));
}

TEST_F(OfflineFilesTest, AScanWritesNothingOnTheVolume) {
  auto m = Open(/*writable=*/false);
  ASSERT_TRUE(m) << error;
  auto& f = m->Files();
  Status err = kOk;
  EXPECT_FALSE(f.Open("C:\\new.txt", OpenMode::Write, &err));
  EXPECT_EQ(err, offline::kWriteProtect);
  EXPECT_EQ(f.DeleteFile("C:\\Tools\\Tool.exe"), offline::kWriteProtect);
  EXPECT_EQ(f.CreateDirectory("C:\\New"), offline::kWriteProtect);
  EXPECT_EQ(f.MoveFile("C:\\Tools\\Tool.exe", "C:\\Tools\\moved.exe"), offline::kWriteProtect);
  EXPECT_TRUE(fs::exists(volume / "Tools" / "Tool.EXE"));
  EXPECT_FALSE(fs::exists(volume / "new.txt"));
}

TEST_F(OfflineFilesTest, ProgramFilesOnTheHostAndNothingElse) {
  std::ofstream(program / "files.dat") << "the database";
  fs::create_directories(root / "elsewhere");
  std::ofstream(root / "elsewhere" / "other.txt") << "not the program's";
  platform::offline::OfflineOptions o;
  installation->Save();
  o.volume = volume.string();
  o.programPath = (program / "klaruvex-rescue").string();
  o.hostFiles = {(root / "out" / "report.json").string()};
  fs::create_directories(root / "out");
  auto m = platform::offline::OfflineMachine::Open(o, &error);
  ASSERT_TRUE(m) << error;
  auto& f = m->Files();
  const std::string folder = ExtractFilePath(m->Sys().ModulePath());
  EXPECT_EQ(folder, program.string() + "/");
  std::string bytes;
  ASSERT_EQ(ReadWholeFile(f, folder + "files.dat", bytes), kOk);
  EXPECT_EQ(bytes, "the database");
  EXPECT_EQ(WriteWholeFile(f, folder + "Information.txt", "log"), kOk);
  EXPECT_EQ(Read(program / "Information.txt"), "log");
  ASSERT_TRUE(DirectoryExists(f, (root / "out").string() + "/"));
  ASSERT_EQ(WriteFileReplacing(f, (root / "out" / "report.json").string(), "{}"), kOk);
  EXPECT_EQ(Read(root / "out" / "report.json"), "{}");
  EXPECT_NE(ReadWholeFile(f, (root / "elsewhere" / "other.txt").string(), bytes), kOk);
  EXPECT_NE(WriteWholeFile(f, (root / "out" / "other.json").string(), "x"), kOk);
  EXPECT_NE(ReadWholeFile(f, "/etc/passwd", bytes), kOk);
}

}  // namespace
