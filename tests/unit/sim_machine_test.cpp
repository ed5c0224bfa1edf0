// Failures of real Windows that only the simulated machine can produce here
// (Wine runs everything as an administrator).
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>

#include "engine/helpers.h"
#include "platform/sim/sim_machine.h"
#include "tests/unit/sim_fixture.h"

using namespace platform;

TEST_F(SimFixture, NormalUserCannotWriteMachineKeys) {
  auto& reg = machine.SimReg();
  ASSERT_TRUE(reg.Create(Hive::LocalMachine, "SOFTWARE\\Vendor", keyaccess::kAllAccess));
  reg.SetUserIsAdmin(false);
  Status err = kOk;
  EXPECT_FALSE(reg.Open(Hive::LocalMachine, "SOFTWARE\\Vendor", keyaccess::kAllAccess, &err));
  EXPECT_EQ(err, kAccessDenied);
  EXPECT_FALSE(reg.Create(Hive::LocalMachine, "SOFTWARE\\Other", keyaccess::kWrite, &err));
  EXPECT_EQ(err, kAccessDenied);
  EXPECT_TRUE(reg.Open(Hive::LocalMachine, "SOFTWARE\\Vendor", keyaccess::kRead));
  EXPECT_TRUE(reg.Create(Hive::CurrentUser, "Software\\Vendor", keyaccess::kAllAccess));

  reg.DenyKey(Hive::CurrentUser, "Software\\Locked");
  reg.Create(Hive::CurrentUser, "Software\\Locked", keyaccess::kAllAccess);
  EXPECT_FALSE(reg.Open(Hive::CurrentUser, "Software\\Locked", keyaccess::kRead, &err));
  EXPECT_EQ(err, kAccessDenied);
}

TEST_F(SimFixture, HeldFilesAndProtectedProcesses) {
  WriteFile("C:\\held.dat", "data");
  machine.SimFiles().Lock("C:\\HELD.DAT");
  Status err = kOk;
  EXPECT_EQ(machine.Files().DeleteFile("C:\\held.dat"), kSharingViolation);
  EXPECT_FALSE(machine.Files().Open("C:\\held.dat", OpenMode::Read, &err));
  EXPECT_EQ(err, kSharingViolation);
  machine.SimFiles().Unlock("C:\\held.dat");
  EXPECT_EQ(machine.Files().DeleteFile("C:\\held.dat"), kOk);

  machine.SimProcs().AddSystemProcesses();
  auto pid = machine.SimProcs().Start("C:\\guarded.exe");
  machine.SimProcs().Get(pid)->canOpen = false;
  machine.SimProcs().Get(pid)->canTerminate = false;
  auto list = engine::ListRunningProcesses(machine);
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0].path, "System Idle Process");
  EXPECT_EQ(list[1].path, "System");          // no module path: the snapshot's name
  EXPECT_EQ(list[2].path, "guarded.exe");
  EXPECT_EQ(engine::TerminateProcessesByName(machine, "guarded.exe"), -1);
}

TEST_F(SimFixture, Windows9xAndNt4ProcessLists) {
  auto pid = machine.SimProcs().Start("C:\\WINDOWS\\EXPLORER.EXE");
  machine.SimProcs().Get(pid)->snapshotName = "C:\\WINDOWS\\EXPLORER.EXE";
  OsVersion v98;
  v98.platformId = 1;
  v98.major = 4;
  v98.minor = 10;
  machine.SimSys().SetVersion(v98);
  auto list = engine::ListRunningProcesses(machine);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].path, "C:\\WINDOWS\\EXPLORER.EXE");

  OsVersion nt4;
  nt4.platformId = 2;
  nt4.major = 4;
  machine.SimSys().SetVersion(nt4);
  machine.SimProcs().AddSystemProcesses();  // pids 0 and 4
  list = engine::ListRunningProcesses(machine);
  ASSERT_EQ(list.size(), 2u);  // pid 4 is no system process on NT 4 and cannot be opened
  EXPECT_EQ(list[0].path, "System Idle Process");
  EXPECT_EQ(list[1].pid, pid);
}

TEST_F(SimFixture, PathsFollowWindowsRules) {
  WriteFile("C:\\Dir\\File.TXT", "x");
  EXPECT_TRUE(FileExists(machine.Files(), "c:/dir/./sub/../file.txt"));
  EXPECT_TRUE(FileExists(machine.Files(), "C:\\DIR\\FILE.TXT. "));
  EXPECT_FALSE(FileExists(machine.Files(), "Q:\\dir\\file.txt"));  // unmapped drive
  EXPECT_FALSE(FileExists(machine.Files(), "relative.txt"));
}

// Names ignore letter case. A folder that has not changed for a while
// answers from its listing, and every change after that is seen at once.
TEST_F(SimFixture, NamesInOldFoldersAreLookedUpInTheirListing) {
  auto& files = machine.Files();
  WriteFile("C:\\old\\Keep.txt", "keep");
  const auto folder = machine.SimFiles().HostPath("C:\\old");
  auto age = [&] {
    std::filesystem::last_write_time(
        folder, std::filesystem::file_time_type::clock::now() - std::chrono::hours(1));
  };
  age();
  EXPECT_FALSE(engine::IsValidFile(files, "C:\\old\\missing.txt"));
  EXPECT_FALSE(engine::IsValidFile(files, "C:\\OLD\\Missing.TXT"));
  EXPECT_TRUE(engine::IsValidFile(files, "C:\\old\\keep.TXT"));
  EXPECT_TRUE(engine::IsValidFile(files, "C:\\OLD\\KEEP.TXT"));
  WriteFile("C:\\old\\new.txt", "new");  // through the machine
  EXPECT_TRUE(engine::IsValidFile(files, "C:\\old\\NEW.txt"));
  age();
  EXPECT_FALSE(engine::IsValidFile(files, "C:\\old\\later.txt"));
  std::ofstream(folder / "later.txt") << "behind the machine's back";
  EXPECT_TRUE(engine::IsValidFile(files, "C:\\old\\LATER.txt"));
  age();
  EXPECT_TRUE(engine::IsValidFile(files, "C:\\old\\keep.txt"));
  std::filesystem::remove(folder / "Keep.txt");
  EXPECT_FALSE(engine::IsValidFile(files, "C:\\old\\keep.txt"));
  EXPECT_FALSE(FileExists(files, "C:\\old\\KEEP.txt"));
}

// A folder's time may not move for a change made in the same tick of the
// file system's clock as the one before: a name added right after a lookup
// listed the folder is found all the same, in any letter case.
TEST_F(SimFixture, NameAddedRightAfterItsFolderWasListedIsFound) {
  WriteFile("C:\\fresh\\a.txt", "a");
  const auto folder = machine.SimFiles().HostPath("C:\\fresh");
  for (int i = 0; i < 20; ++i) {
    const std::string name = "C:\\fresh\\n" + std::to_string(i) + ".txt";
    EXPECT_FALSE(engine::IsValidFile(machine.Files(), name));
    std::ofstream(folder / ("N" + std::to_string(i) + ".TXT")) << "n";
    EXPECT_TRUE(engine::IsValidFile(machine.Files(), name)) << name;
  }
}

TEST_F(SimFixture, FullDiskFailsTheWriteAndReplacingKeepsTheOldFile) {
  WriteFile("C:\\Data\\list.txt", "old list");
  machine.SimFiles().FailWrites("C:\\Data", 3);
  EXPECT_EQ(WriteFileReplacing(machine.Files(), "C:\\Data\\list.txt", "a longer new list"), 112u);
  std::string back;
  ASSERT_EQ(ReadWholeFile(machine.Files(), "C:\\Data\\list.txt", back), kOk);
  EXPECT_EQ(back, "old list");
  EXPECT_FALSE(FileExists(machine.Files(), ReplacementTempPath("C:\\Data\\list.txt")));
  machine.SimFiles().ClearWriteFailures();
  EXPECT_EQ(WriteFileReplacing(machine.Files(), "C:\\Data\\list.txt", "new"), kOk);
}
