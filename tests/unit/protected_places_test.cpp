// The places no rule may remove, decided by plain functions over the
// machine's folders, and read from the simulated machine.
#include <gtest/gtest.h>

#include "engine/protected_places.h"
#include "tests/unit/sim_fixture.h"

namespace {

using engine::ProtectedPlaces;

ProtectedPlaces XpPlaces() {
  ProtectedPlaces p;
  p.windowsDir = "C:\\WINDOWS";
  p.systemDirs = {"C:\\WINDOWS\\system32", "C:\\WINDOWS\\SysWOW64"};
  p.programFiles = {"C:\\Program Files", "C:\\Program Files (x86)"};
  p.profileRoots = {"C:\\Documents and Settings"};
  p.profiles = {"C:\\Documents and Settings\\User", "D:\\Profiles\\Admin"};
  p.programFolder = "C:\\Tools\\Klaruvex";
  return p;
}

TEST(NormalizeLocalPath, AsWindowsResolvesIt) {
  struct Case {
    const char* in;
    const char* out;  // nullptr: not a full local path
  } cases[] = {
      {"C:\\WINDOWS", "C:\\WINDOWS"},
      {"c:\\windows\\", "C:\\windows"},
      {"C:/Windows//system32/", "C:\\Windows\\system32"},
      {"C:\\Temp\\..\\WINDOWS\\.\\", "C:\\WINDOWS"},
      {"C:\\WINDOWS.. \\", "C:\\WINDOWS"},
      {"C:\\..\\..", "C:\\"},
      {"C:\\...", "C:\\"},
      {"\\\\?\\C:\\WINDOWS", "C:\\WINDOWS"},
      {"\\\\.\\C:\\WINDOWS\\system32", "C:\\WINDOWS\\system32"},
      {"C:\\WINDOWS::$INDEX_ALLOCATION", "C:\\WINDOWS"},
      {"C:\\WINDOWS\\explorer.exe:stream", "C:\\WINDOWS\\explorer.exe"},
      {"C:\\", "C:\\"},
      {"C:", nullptr},
      {"C:WINDOWS", nullptr},
      {"WINDOWS\\system32", nullptr},
      {"\\WINDOWS", nullptr},
      {"\\\\server\\share\\x", nullptr},
      {"\\\\?\\UNC\\server\\share", nullptr},
      {"", nullptr},
  };
  for (const auto& c : cases) {
    const auto got = engine::NormalizeLocalPath(c.in);
    if (c.out)
      EXPECT_EQ(got.value_or("(none)"), c.out) << c.in;
    else
      EXPECT_FALSE(got) << c.in << " -> " << *got;
  }
}

TEST(ProtectedPlaces, FoldersNoRuleMayRemove) {
  const ProtectedPlaces places = XpPlaces();
  struct Case {
    const char* folder;
    const char* reason;  // "" when a rule may remove it
  } cases[] = {
      {"C:\\", "a drive's root folder"},
      {"E:\\", "a drive's root folder"},
      {"C:\\WINDOWS\\..", "a drive's root folder"},
      {"c:\\windows\\", "the Windows folder"},
      {"C:/Windows.", "the Windows folder"},
      {"C:\\Temp\\..\\WINDOWS", "the Windows folder"},
      {"\\\\?\\C:\\WINDOWS\\", "the Windows folder"},
      {"C:\\WINDOWS::$INDEX_ALLOCATION", "the Windows folder"},
      {"C:\\WINDOWS\\System32\\", "the system folder"},
      {"C:\\WINDOWS\\syswow64", "the system folder"},
      {"C:\\WINDOWS\\system32\\CONFIG", "the system folder's \"config\" folder"},
      {"C:\\WINDOWS\\SysWOW64\\drivers\\", "the system folder's \"drivers\" folder"},
      {"C:\\Program Files", "a Program Files folder"},
      {"C:\\Program Files (x86)\\", "a Program Files folder"},
      {"C:\\Documents and Settings", "the folder of the user profiles"},
      {"C:\\Documents and Settings\\User", "a user's profile folder"},
      {"C:\\Documents and Settings\\All Users\\", "a user's profile folder"},
      {"D:\\Profiles\\Admin", "a user's profile folder"},
      {"C:\\Tools\\Klaruvex\\", "the program's own folder"},
      {"C:\\Tools\\Klaruvex\\Quarantine", "the program's quarantine"},
      {"C:\\Tools\\Klaruvex\\Backups\\", "the program's backups"},
      {"C:\\Tools", "a folder that holds the program's own folder"},
      {"D:\\Profiles", "a folder that holds a user's profile folder"},
      {"WINDOWS", "not a full path on a local drive"},
      {"C:", "not a full path on a local drive"},
      {"\\\\server\\c$\\windows", "not a full path on a local drive"},
      {"C:\\Temp\\evil", ""},
      {"C:\\WINDOWS\\Temp\\", ""},
      {"C:\\WINDOWS\\system32\\evil", ""},
      {"C:\\Program Files\\Evil Toolbar", ""},
      {"C:\\Documents and Settings\\User\\Desktop\\evil", ""},
      {"C:\\Tools\\Klaruvex\\Languages", ""},
      {"C:\\Tools2", ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(engine::FolderProtection(places, c.folder), c.reason) << c.folder;
}

TEST(ProtectedPlaces, ShellProgramsInWindowsFolders) {
  const ProtectedPlaces places = XpPlaces();
  struct Case {
    const char* file;
    bool kept;
  } cases[] = {
      {"C:\\WINDOWS\\explorer.exe", true},
      {"c:\\windows\\EXPLORER.EXE.", true},
      {"C:\\WINDOWS\\system32\\svchost.exe", true},
      {"C:\\WINDOWS\\SysWOW64\\lsass.exe", true},
      {"\\\\?\\C:\\WINDOWS\\system32\\winlogon.exe", true},
      {"C:\\Temp\\..\\WINDOWS\\system32\\csrss.exe", true},
      {"C:\\WINDOWS\\system32\\smss.exe::$DATA", true},
      {"C:\\WINDOWS\\system32\\services.exe", true},
      {"C:\\WINDOWS\\system32\\userinit.exe", true},
      {"explorer.exe", true},  // where it lies cannot be told
      {"\\\\server\\c$\\windows\\explorer.exe", true},
      {"C:\\Temp\\svchost.exe", false},
      {"C:\\WINDOWS\\system32\\drivers\\svchost.exe", false},
      {"C:\\WINDOWS\\notepad.exe", false},
      {"C:\\WINDOWS\\explorer.exe.bak", false},
      {"notepad.exe", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(engine::FileProtection(places, c.file).empty(), !c.kept) << c.file;
  EXPECT_EQ(engine::FileProtection(places, "C:\\WINDOWS\\explorer.exe"),
            "a program Windows needs to run");
}

class ProtectedPlacesOnMachine : public SimFixture {};

TEST_F(ProtectedPlacesOnMachine, ReadFromTheMachineWithTheStandardNames) {
  namespace access = platform::keyaccess;
  auto& reg = machine.Reg();
  reg.Create(platform::Hive::LocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
             access::kAllAccess)
      ->WriteString("ProgramFilesDir", "D:\\Apps");
  const std::string list = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
  reg.Create(platform::Hive::LocalMachine, list, access::kAllAccess)
      ->WriteExpandString("ProfilesDirectory", "%SystemDrive%\\Profiles");
  reg.Create(platform::Hive::LocalMachine, list + "\\S-1-5-18", access::kAllAccess)
      ->WriteExpandString("ProfileImagePath", "%SystemRoot%\\system32\\config\\systemprofile");
  reg.Create(platform::Hive::LocalMachine, list + "\\S-1-5-21-1", access::kAllAccess)
      ->WriteExpandString("ProfileImagePath", "E:\\Homes\\Admin");
  reg.Create(platform::Hive::LocalMachine, list + "\\S-1-5-21-2", access::kAllAccess)
      ->WriteExpandString("ProfileImagePath", "%UNKNOWN%\\x");
  machine.SimSys().SetModulePath("C:\\Tools\\Klaruvex\\klaruvex.exe");

  const auto p = engine::ReadProtectedPlaces(machine);
  EXPECT_EQ(p.windowsDir, "C:\\WINDOWS");
  EXPECT_EQ(p.systemDirs, (std::vector<std::string>{"C:\\WINDOWS\\system32", "C:\\WINDOWS\\SysWOW64",
                                                    "C:\\WINDOWS\\Sysnative"}));
  EXPECT_EQ(p.programFiles, (std::vector<std::string>{"D:\\Apps", "C:\\Program Files",
                                                      "C:\\Program Files (x86)"}));
  EXPECT_EQ(p.programFolder, "C:\\Tools\\Klaruvex");
  struct Case {
    const char* folder;
    const char* reason;
  } cases[] = {
      {"C:\\Profiles", "the folder of the user profiles"},
      {"C:\\Profiles\\Guest", "a user's profile folder"},
      {"E:\\Homes\\Admin", "a user's profile folder"},
      {"E:\\Homes\\Other", "a user's profile folder"},  // beside a profile the system names
      {"C:\\Documents and Settings\\User", "a user's profile folder"},  // the shell's
      {"C:\\Users\\Someone", "a user's profile folder"},
      {"C:\\WINDOWS\\system32\\config\\systemprofile", "a user's profile folder"},
      {"C:\\WINDOWS\\system32\\config\\other", ""},  // the system's profile makes no root
      {"D:\\Apps\\", "a Program Files folder"},
      {"C:\\Tools", "a folder that holds the program's own folder"},
  };
  for (const auto& c : cases) EXPECT_EQ(engine::FolderProtection(p, c.folder), c.reason) << c.folder;
}

TEST_F(ProtectedPlacesOnMachine, NamesAndLinksOnDisk) {
  std::filesystem::create_directories(root / "Temp");
  std::filesystem::create_directory_symlink(root / "WINDOWS", root / "Temp" / "win");
  std::filesystem::create_directories(root / "Data" / "real");
  std::filesystem::create_directory_symlink(root / "Data" / "real", root / "Data" / "alias");
  const auto p = engine::ReadProtectedPlaces(machine);
  auto& fs = machine.Files();
  // The names the disk holds, whatever the rule wrote.
  EXPECT_EQ(engine::FolderProtection(fs, p, "c:\\wInDoWs\\"), "the Windows folder");
  // A link leads somewhere else: neither it nor what lies through it is a
  // rule's to remove.
  EXPECT_EQ(engine::FolderProtection(fs, p, "C:\\Temp\\win\\system32"),
            "a folder reached through a junction or link");
  EXPECT_EQ(engine::FolderProtection(fs, p, "C:\\Data\\alias"),
            "a folder reached through a junction or link");
  EXPECT_EQ(engine::FileProtection(fs, p, "C:\\Temp\\win\\explorer.exe"),
            "a program Windows needs to run");
  EXPECT_EQ(engine::FolderProtection(fs, p, "C:\\Data\\real"), "");
  EXPECT_EQ(engine::FolderProtection(fs, p, "C:\\Temp\\missing\\x"), "");
  EXPECT_EQ(engine::FileProtection(fs, p, "C:\\Temp\\explorer.exe"), "");
}

}  // namespace
