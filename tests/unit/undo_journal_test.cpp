// The undo journal on the simulated machine: what a backup holds, its index
// and regedit file, undo with and without conflicts, and every way keeping
// an item can fail.
#include <gtest/gtest.h>

#include "engine/helpers.h"
#include "platform/sim/sim_clock.h"
#include "tests/unit/sim_fixture.h"
#include "undo/undo_journal.h"

namespace {

using platform::Hive;
using platform::ValueType;
using undo::ItemKind;
using R = undo::UndoItem::Result;
using S = undo::UndoReport::Status;

const std::string kProgram = "C:\\Program Files\\Klaruvex Pro\\";
const std::string kBackups = kProgram + "Backups";
const std::string kRun = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

class UndoJournalTest : public SimFixture {
 public:
  // The cases of a table reach these through a reference to the fixture.
  using SimFixture::machine;
  using SimFixture::WriteFile;

  UndoJournalTest() : journal(machine, kProgram) {
    platform::sim::SetLocalTime(platform::LocalTime{2026, 12, 7, 13, 5, 12});
    std::filesystem::create_directories(root / "Program Files" / "Klaruvex Pro");
  }
  ~UndoJournalTest() override { platform::sim::SetLocalTime(std::nullopt); }

  std::string Read(const std::string& path) {
    std::string bytes;
    EXPECT_EQ(platform::ReadWholeFile(machine.Files(), path, bytes), platform::kOk) << path;
    return bytes;
  }
  bool Exists(const std::string& path) {
    return machine.Files().GetAttributes(path) != platform::FileSystem::kInvalidAttributes;
  }
  void SetValue(Hive hive, const std::string& key, const std::string& name, ValueType type,
                std::string_view data) {
    auto k = machine.Reg().Create(hive, key, platform::keyaccess::kAllAccess);
    ASSERT_TRUE(k);
    ASSERT_EQ(k->Set(name, type, data), platform::kOk);
  }
  std::optional<platform::RegValue> Value(Hive hive, const std::string& key, const std::string& name) {
    auto k = machine.Reg().Open(hive, key, platform::keyaccess::kRead);
    return k ? k->Query(name) : std::nullopt;
  }
  void DeleteValue(Hive hive, const std::string& key, const std::string& name) {
    auto k = machine.Reg().Open(hive, key, platform::keyaccess::kAllAccess);
    ASSERT_TRUE(k);
    ASSERT_EQ(k->DeleteValue(name), platform::kOk);
  }
  std::vector<std::string> Results(const undo::UndoReport& r) {
    std::vector<std::string> out;
    for (const auto& i : r.items)
      out.push_back(i.what + " = " +
                    (i.result == R::Restored ? "restored" : i.result == R::Conflict ? "conflict: " : "failed: ") +
                    i.reason);
    return out;
  }

  undo::Journal journal;
};

TEST_F(UndoJournalTest, FilesFolderAndValueComeBackExactly) {
  const std::string bytes = std::string("MZ\0\x01\xFF worm body", 15) + std::string(70000, 'w');
  WriteFile("C:\\bad\\nest\\worm.exe", bytes);
  WriteFile("C:\\bad\\nest\\empty.txt", "");
  ASSERT_EQ(machine.Files().SetAttributes("C:\\bad\\nest\\worm.exe",
                                          platform::fileattr::kHidden | platform::fileattr::kReadOnly),
            platform::kOk);
  SetValue(Hive::CurrentUser, kRun, "Worm", ValueType::ExpandString,
           std::string("%SystemRoot%\\..\\bad\\nest\\worm.exe\0", 34));
  std::string id;
  {
    undo::Backup b(journal, "Fix");
    for (const char* f : {"C:\\bad\\nest\\worm.exe", "C:\\bad\\nest\\empty.txt"}) {
      ASSERT_TRUE(b.KeepFile(f)) << f;
      machine.Files().SetAttributes(f, platform::fileattr::kNormal);
      ASSERT_EQ(machine.Files().DeleteFile(f), platform::kOk);
    }
    ASSERT_TRUE(b.KeepValue(Hive::CurrentUser, kRun, "Worm"));
    DeleteValue(Hive::CurrentUser, kRun, "Worm");
    ASSERT_TRUE(b.KeepFolder("C:\\bad\\nest"));
    ASSERT_EQ(machine.Files().RemoveDirectory("C:\\bad\\nest"), platform::kOk);
    ASSERT_EQ(machine.Files().RemoveDirectory("C:\\bad"), platform::kOk);
    id = b.Id();
  }
  EXPECT_EQ(id, "20261207-130512");
  // The stored copy is enciphered: no sample lies runnable in a backup.
  const std::string copy = Read(kBackups + "\\" + id + "\\1.dat");
  EXPECT_EQ(copy.size(), bytes.size());
  EXPECT_EQ(copy.find("worm body"), std::string::npos);
  EXPECT_EQ(Read(kBackups + "\\" + id + "\\Registry.reg"),
            "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\" + kRun +
                "]\r\n\"Worm\"=hex(2):25,53,79,73,74,65,6d,52,6f,6f,74,25,5c,2e,2e,5c,62,61,64,5c,6e,"
                "\\\r\n  65,73,74,5c,77,6f,72,6d,2e,65,78,65,00\r\n\r\n");
  const auto list = journal.List();
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].action, "Fix");
  EXPECT_EQ(list[0].items, 4u);
  EXPECT_EQ(list[0].bytes, bytes.size());

  const auto r = journal.Undo("");
  EXPECT_EQ(r.status, S::Done);
  EXPECT_EQ(r.id, id);
  EXPECT_TRUE(r.removed);
  EXPECT_EQ(Results(r), (std::vector<std::string>{
                            "folder C:\\bad\\nest = restored",
                            "registry value HKEY_CURRENT_USER\\" + kRun + "\\Worm = restored",
                            "file C:\\bad\\nest\\empty.txt = restored",
                            "file C:\\bad\\nest\\worm.exe = restored"}));
  EXPECT_EQ(Read("C:\\bad\\nest\\worm.exe"), bytes);
  EXPECT_EQ(Read("C:\\bad\\nest\\empty.txt"), "");
  EXPECT_EQ(machine.Files().GetAttributes("C:\\bad\\nest\\worm.exe") &
                (platform::fileattr::kHidden | platform::fileattr::kReadOnly),
            platform::fileattr::kHidden | platform::fileattr::kReadOnly);
  auto v = Value(Hive::CurrentUser, kRun, "Worm");
  ASSERT_TRUE(v);
  EXPECT_EQ(v->type, ValueType::ExpandString);
  EXPECT_EQ(v->data, std::string("%SystemRoot%\\..\\bad\\nest\\worm.exe\0", 34));
  EXPECT_FALSE(Exists(kBackups + "\\" + id));
  EXPECT_EQ(journal.Undo("").status, S::Nothing);
  EXPECT_EQ(journal.Undo("").error, "There is nothing to undo.");
}

TEST_F(UndoJournalTest, ConflictsAreLeftAloneAndStayInTheBackup) {
  WriteFile("C:\\a\\one.exe", "first file");
  WriteFile("C:\\a\\two.exe", "second file");
  SetValue(Hive::CurrentUser, kRun, "One", ValueType::String, std::string("c:\\a\\one.exe\0", 13));
  WriteFile("C:\\WINDOWS\\system.ini", "[boot]\r\ndevice=a.vxd\r\n[386Enh]\r\ndevice=a.vxd\r\n");
  machine.SimSvc().Add({"KvxSvc", "Kvx Service", "C:\\a\\svc.exe"});
  std::string id;
  {
    undo::Backup b(journal, "Fix");
    for (const char* f : {"C:\\a\\one.exe", "C:\\a\\two.exe"}) {
      ASSERT_TRUE(b.KeepFile(f));
      machine.Files().DeleteFile(f);
    }
    ASSERT_TRUE(b.KeepValue(Hive::CurrentUser, kRun, "One"));
    DeleteValue(Hive::CurrentUser, kRun, "One");
    const std::string before = Read("C:\\WINDOWS\\system.ini");
    const std::string after = "[boot]\r\ndevice=a.vxd\r\n[386Enh]\r\n;device=a.vxd\r\n";
    const auto kept = b.KeepIniChange("C:\\WINDOWS\\system.ini", before, after);
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept.items.size(), 1u);
    WriteFile("C:\\WINDOWS\\system.ini", after);
    ASSERT_TRUE(b.KeepStartType("KvxSvc", platform::svc::kDisabled));
    machine.SimSvc().Get("KvxSvc")->startType = platform::svc::kDisabled;
    id = b.Id();
  }
  // Meanwhile: another file at one place, the value written anew, the line
  // edited by hand and the start type changed again.
  WriteFile("C:\\a\\one.exe", "someone else's file");
  SetValue(Hive::CurrentUser, kRun, "One", ValueType::String, std::string("other\0", 6));
  WriteFile("C:\\WINDOWS\\system.ini", "[boot]\r\ndevice=a.vxd\r\n[386Enh]\r\n;device=b.vxd\r\n");
  machine.SimSvc().Get("KvxSvc")->startType = platform::svc::kAutoStart;

  auto r = journal.Undo(id);
  EXPECT_EQ(r.status, S::Conflicts);
  EXPECT_FALSE(r.removed);
  EXPECT_EQ(Results(r),
            (std::vector<std::string>{
                "start type of the service KvxSvc = conflict: its start type has been changed since",
                "line \"device=a.vxd\" of C:\\WINDOWS\\system.ini [386Enh] = conflict: the line has been "
                "changed since",
                "registry value HKEY_CURRENT_USER\\" + kRun + "\\One = conflict: another value is there now",
                "file C:\\a\\two.exe = restored",
                "file C:\\a\\one.exe = conflict: another file is there now"}));
  EXPECT_EQ(Read("C:\\a\\one.exe"), "someone else's file");
  EXPECT_EQ(Read("C:\\a\\two.exe"), "second file");
  EXPECT_EQ(Value(Hive::CurrentUser, kRun, "One")->data, std::string("other\0", 6));
  // The backup keeps only what did not come back.
  auto list = journal.List();
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].items, 4u);
  EXPECT_FALSE(Exists(kBackups + "\\" + id + "\\2.dat"));

  // Once the places are free (or as they were left), the rest comes back.
  machine.Files().DeleteFile("C:\\a\\one.exe");
  DeleteValue(Hive::CurrentUser, kRun, "One");
  WriteFile("C:\\WINDOWS\\system.ini", "[boot]\r\ndevice=a.vxd\r\n[386Enh]\r\n;device=a.vxd\r\n");
  machine.SimSvc().Get("KvxSvc")->startType = platform::svc::kDisabled;
  r = journal.Undo(id);
  EXPECT_EQ(r.status, S::Done) << testing::PrintToString(Results(r));
  EXPECT_TRUE(r.removed);
  EXPECT_EQ(Read("C:\\a\\one.exe"), "first file");
  EXPECT_EQ(Value(Hive::CurrentUser, kRun, "One")->data, std::string("c:\\a\\one.exe\0", 13));
  // Only the line of the section it was in changes back.
  EXPECT_EQ(Read("C:\\WINDOWS\\system.ini"), "[boot]\r\ndevice=a.vxd\r\n[386Enh]\r\ndevice=a.vxd\r\n");
  EXPECT_EQ(machine.SimSvc().Get("KvxSvc")->startType, platform::svc::kDemandStart);
}

TEST_F(UndoJournalTest, ValueMovedToAnotherKeyAndRenamedFileGoBack) {
  const std::string bak = kRun + "_Bak";
  SetValue(Hive::CurrentUser, kRun, "App", ValueType::String, std::string("c:\\app.exe\0", 11));
  WriteFile("C:\\WINDOWS\\system32\\drivers\\klog.sys", "driver bytes");
  {
    undo::Backup b(journal, "Switch start-up entry off");
    ASSERT_TRUE(b.KeepValueChange(Hive::CurrentUser, bak, "App", ValueType::String,
                                  std::string("c:\\app.exe\0", 11)));
    ASSERT_TRUE(b.KeepValue(Hive::CurrentUser, kRun, "App"));
    ASSERT_TRUE(b.KeepMove("C:\\WINDOWS\\system32\\drivers\\klog.sys",
                           "C:\\WINDOWS\\system32\\drivers\\klog.sys.del"));
  }
  SetValue(Hive::CurrentUser, bak, "App", ValueType::String, std::string("c:\\app.exe\0", 11));
  DeleteValue(Hive::CurrentUser, kRun, "App");
  ASSERT_EQ(machine.Files().MoveFile("C:\\WINDOWS\\system32\\drivers\\klog.sys",
                                     "C:\\WINDOWS\\system32\\drivers\\klog.sys.del"),
            platform::kOk);
  // Only the value that was there before goes into the regedit file.
  const std::string id = journal.List().at(0).id;
  EXPECT_EQ(Read(kBackups + "\\" + id + "\\Registry.reg"),
            "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\" + kRun + "]\r\n\"App\"=\"c:\\\\app.exe\"\r\n\r\n");

  const auto r = journal.Undo("");
  EXPECT_EQ(r.status, S::Done) << testing::PrintToString(Results(r));
  EXPECT_EQ(Value(Hive::CurrentUser, kRun, "App")->data, std::string("c:\\app.exe\0", 11));
  EXPECT_FALSE(Value(Hive::CurrentUser, bak, "App"));
  EXPECT_EQ(Read("C:\\WINDOWS\\system32\\drivers\\klog.sys"), "driver bytes");
  EXPECT_FALSE(Exists("C:\\WINDOWS\\system32\\drivers\\klog.sys.del"));
}

// Each way an item cannot be kept: the item is refused with its reason and
// nothing is left behind of a backup that holds nothing. The last case takes
// the right to change the program's folder for good.
TEST_F(UndoJournalTest, ItemsThatCannotBeKeptAreRefusedWithTheirReason) {
  struct Case {
    const char* file;
    std::function<void(UndoJournalTest&)> breakIt;
    const char* error;
  } cases[] = {
      {"C:\\data\\unreadable.bin",
       [](UndoJournalTest& t) { t.machine.SimFiles().FailReads("C:\\data\\unreadable.bin", 3); },
       "it cannot be copied into the backup: it could not be read whole"},
      // The backup's first lines fit, the copy does not.
      {"C:\\data\\file.bin", [](UndoJournalTest& t) { t.machine.SimFiles().FailWrites(kBackups, 100); },
       "it cannot be copied into the backup: the disk is full"},
      // The index takes the item's line no more: the backup's first lines fit.
      {"C:\\data\\file.bin",
       [](UndoJournalTest& t) {
         t.machine.SimFiles().FailWrites(kBackups + "\\20261207-130512\\Backup.info.kvxnew", 100);
       },
       "the backup index cannot be written: the disk is full"},
      {"C:\\data\\file.bin", [](UndoJournalTest& t) { t.WriteFile(kBackups, "not a folder"); },
       "the backup folder C:\\Program Files\\Klaruvex Pro\\Backups cannot be made: a file of that "
       "name is in the way"},
      {"C:\\data\\file.bin", [](UndoJournalTest& t) { t.machine.SimFiles().DenyChanges(kProgram); },
       "the backup folder C:\\Program Files\\Klaruvex Pro\\Backups cannot be made: access is denied"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.error);
    WriteFile(c.file, std::string(200, 'k'));
    c.breakIt(*this);
    undo::Backup b(journal, "Fix");
    const auto kept = b.KeepFile(c.file);
    EXPECT_FALSE(kept);
    EXPECT_EQ(kept.error, c.error);
    EXPECT_EQ(b.Failures(), std::vector<std::string>{c.file + std::string(": ") + c.error});
    b.Finish();
    EXPECT_TRUE(journal.List().empty());
    EXPECT_FALSE(Exists(kBackups + "\\20261207-130512"));
    machine.SimFiles().ClearWriteFailures();
    std::filesystem::remove(root / "Program Files" / "Klaruvex Pro" / "Backups");
  }
}

TEST_F(UndoJournalTest, AnItemNotRemovedAfterAllLeavesTheBackup) {
  WriteFile("C:\\a\\kept.exe", "stays");
  WriteFile("C:\\a\\gone.exe", "goes");
  undo::Backup b(journal, "Fix");
  const auto kept = b.KeepFile("C:\\a\\kept.exe");
  ASSERT_TRUE(b.KeepFile("C:\\a\\gone.exe"));
  machine.Files().DeleteFile("C:\\a\\gone.exe");
  b.NotDone(kept);  // its deletion failed
  b.Finish();
  const auto list = journal.List();
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].items, 1u);
  EXPECT_FALSE(Exists(kBackups + "\\" + list[0].id + "\\1.dat"));
  const auto r = journal.Undo("");
  EXPECT_EQ(Results(r), std::vector<std::string>{"file C:\\a\\gone.exe = restored"});

  // A backup whose every item went is removed when it ends.
  undo::Backup c(journal, "Fix");
  const auto again = c.KeepFile("C:\\a\\kept.exe");
  c.NotDone(again);
  c.Finish();
  EXPECT_TRUE(journal.List().empty());
  EXPECT_TRUE(platform::DirectoryExists(machine.Files(), kBackups));
}

TEST_F(UndoJournalTest, ManyItemsSpanSeveralIndexFiles) {
  const std::size_t n = undo::kItemsPerFile * 2 + 3;
  const std::string key = "Software\\Many";
  for (std::size_t i = 0; i < n; ++i)
    SetValue(Hive::CurrentUser, key, "v" + std::to_string(i), ValueType::Dword, std::string(4, char(i)));
  {
    undo::Backup b(journal, "Delete values");
    for (std::size_t i = 0; i < n; ++i) {
      ASSERT_TRUE(b.KeepValue(Hive::CurrentUser, key, "v" + std::to_string(i)));
      DeleteValue(Hive::CurrentUser, key, "v" + std::to_string(i));
    }
  }
  const std::string id = journal.List().at(0).id;
  for (const char* f : {"Backup.info", "Backup2.info", "Backup3.info"})
    EXPECT_TRUE(Exists(kBackups + "\\" + id + "\\" + f)) << f;
  EXPECT_FALSE(Exists(kBackups + "\\" + id + "\\Backup4.info"));
  EXPECT_EQ(journal.List().at(0).items, n);
  // One value was written anew meanwhile: only it stays in the backup.
  SetValue(Hive::CurrentUser, key, "v7", ValueType::String, std::string("new\0", 4));
  const auto r = journal.Undo(id);
  EXPECT_EQ(r.status, S::Conflicts);
  EXPECT_EQ(Value(Hive::CurrentUser, key, "v300")->data, std::string(4, char(300 & 0xFF)));
  EXPECT_FALSE(Exists(kBackups + "\\" + id + "\\Backup2.info"));
  ASSERT_EQ(journal.List().at(0).items, 1u);
  EXPECT_EQ(Read(kBackups + "\\" + id + "\\Registry.reg"),
            "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Many]\r\n\"v7\"=dword:07070707\r\n\r\n");
}

TEST_F(UndoJournalTest, DamagedBackupsAreReportedAndKept) {
  WriteFile("C:\\a\\x.exe", "the original bytes");
  {
    undo::Backup b(journal, "Fix");
    ASSERT_TRUE(b.KeepFile("C:\\a\\x.exe"));
  }
  machine.Files().DeleteFile("C:\\a\\x.exe");
  const std::string folder = kBackups + "\\20261207-130512\\";
  // A stored copy that does not decode to what the index says is never put in place.
  std::string copy = Read(folder + "1.dat");
  copy[3] ^= 0x55;
  WriteFile(folder + "1.dat", copy);
  auto r = journal.Undo("");
  EXPECT_EQ(r.status, S::Failed);
  EXPECT_EQ(Results(r), std::vector<std::string>{"file C:\\a\\x.exe = failed: its stored copy " +
                                                 folder + "1.dat is damaged"});
  EXPECT_FALSE(Exists("C:\\a\\x.exe"));
  EXPECT_FALSE(Exists("C:\\a\\x.exe.kvxundo"));
  EXPECT_EQ(journal.List().at(0).items, 1u);

  // An index that does not read: listed with why, and not undone.
  struct Case {
    const char* name;
    std::string index;
  } cases[] = {
      {"not an index", "hello"},
      {"a copy outside its folder",
       "Klaruvex Pro backup 1\r\naction\tFix\r\ncreated\t2026-12-07 13:05:12\r\nitem\tfile\tC:\\a\\x.exe"
       "\t18\t0\t32\t0\t..\\..\\klaruvex.exe\r\n"},
      {"bad hex", "Klaruvex Pro backup 1\r\naction\tFix\r\ncreated\t2026-12-07 13:05:12\r\nitem\tvalue\t1\tK\tN\t1:4G\t-\r\n"},
      {"no header", "Klaruvex Pro backup 1\r\nitem\tfolder\tC:\\x\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFile(folder + "Backup.info", c.index);
    const auto list = journal.List();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].error, "its index " + folder + "Backup.info is damaged");
    r = journal.Undo("20261207-130512");
    EXPECT_EQ(r.status, S::Unreadable);
    EXPECT_EQ(r.error, "The backup 20261207-130512 cannot be read: its index " + folder +
                           "Backup.info is damaged.");
    EXPECT_TRUE(Exists(folder + "1.dat"));
  }
  EXPECT_EQ(journal.Undo("20990101-000000").status, S::Nothing);
  std::string error;
  EXPECT_TRUE(journal.Delete("20261207-130512", &error)) << error;
  EXPECT_FALSE(Exists(folder));
  EXPECT_FALSE(journal.Delete("20261207-130512", &error));
  EXPECT_EQ(error, "there is no backup 20261207-130512");
}

TEST_F(UndoJournalTest, OldBackupsGoOldestFirstButNeverTheNewest) {
  auto backupAt = [&](platform::LocalTime t) {
    platform::sim::SetLocalTime(t);
    undo::Backup b(journal, "Fix");
    machine.Files().CreateDirectory("C:\\x");
    EXPECT_TRUE(b.KeepFolder("C:\\x"));
    return b.Id();
  };
  const auto a = backupAt({2026, 10, 1, 8, 0, 0});
  const auto b = backupAt({2026, 11, 1, 8, 0, 0});
  const auto c = backupAt({2026, 11, 1, 8, 0, 0});  // the same second
  const auto d = backupAt({2026, 12, 1, 8, 0, 0});
  EXPECT_EQ(c, "20261101-080000-2");
  platform::sim::SetLocalTime(platform::LocalTime{2026, 12, 2, 8, 0, 0});
  std::vector<std::string> ids;
  for (const auto& i : journal.List()) ids.push_back(i.id);
  EXPECT_EQ(ids, (std::vector<std::string>{d, c, b, a}));
  EXPECT_EQ(journal.RemoveExpired(), 3);
  ids.clear();
  for (const auto& i : journal.List()) ids.push_back(i.id);
  EXPECT_EQ(ids, std::vector<std::string>{d});
  // Even the last one left, however old, stays.
  platform::sim::SetLocalTime(platform::LocalTime{2027, 6, 1, 8, 0, 0});
  EXPECT_EQ(journal.RemoveExpired(), 0);
  EXPECT_EQ(journal.List().size(), 1u);
}

TEST_F(UndoJournalTest, AFileSavedAnewComesBackOnlyWhileItIsTheOneWritten) {
  static const std::string kHive = "C:\\WINDOWS\\hive";
  const std::string old = std::string("regf\0old hive", 13) + std::string(5000, 'o');
  struct Case {
    const char* what;
    std::function<void(UndoJournalTest&)> meanwhile;
    const char* result;
    std::string bytes;  // the file after undo; empty: none
  } cases[] = {
      {"unchanged since", [](UndoJournalTest&) {}, "restored", old},
      {"changed since (Windows ran)",
       [](UndoJournalTest& t) { t.WriteFile(kHive, "regf changed by Windows"); },
       "conflict: it has been changed since it was saved", "regf changed by Windows"},
      {"put back by hand", [&](UndoJournalTest& t) { t.WriteFile(kHive, old); }, "restored", old},
      {"deleted since", [](UndoJournalTest& t) { t.machine.Files().DeleteFile(kHive); },
       "conflict: it has been deleted since", ""},
  };
  for (const auto& c : cases) {
    WriteFile(kHive, old);
    WriteFile(kHive + ".new", "regf new hive");
    {
      undo::Backup b(journal, "Fix");
      ASSERT_TRUE(b.KeepReplacement(kHive, kHive + ".new"));
      ASSERT_EQ(machine.Files().ReplaceFile(kHive + ".new", kHive), platform::kOk);
    }
    c.meanwhile(*this);
    const auto r = journal.Undo("");
    EXPECT_EQ(Results(r), std::vector<std::string>{"file " + kHive + " (as it was before it was saved anew) = " +
                                                   c.result})
        << c.what;
    if (!c.bytes.empty()) {
      EXPECT_EQ(Read(kHive), c.bytes) << c.what;
    }
    EXPECT_FALSE(Exists(kHive + ".kvxundo")) << c.what;
    for (const auto& b : journal.List()) journal.Delete(b.id);
  }
}

TEST_F(UndoJournalTest, IndexFilesReadBackAsWritten) {
  undo::BackupItem file;
  file.kind = ItemKind::File;
  file.path = "C:\\odd\tname%\r\n.exe";
  file.size = 12;
  file.md5 = engine::Md5Hex("twelve bytes");
  file.attributes = 0x27;
  file.lastWrite = 133000000000000000ull;
  file.stored = "1.dat";
  undo::BackupItem value;
  value.kind = ItemKind::Value;
  value.root = Hive::LocalMachine;
  value.key = "SYSTEM\\X";
  value.name = "";
  value.before = undo::StoredValue{ValueType::Dword, std::string("\x01\x00\x00\x80", 4)};
  undo::BackupItem hive;
  hive.kind = ItemKind::Replaced;
  hive.path = "C:\\Windows\\System32\\config\\SOFTWARE";
  hive.size = 8192;
  hive.sha256 = std::string(64, 'a');
  hive.newSha256 = std::string(64, 'b');
  hive.stored = "2.dat";
  undo::BackupIndex index;
  index.action = "Fix";
  index.created = {2026, 12, 7, 13, 5, 12};
  index.hasHeader = true;
  index.items = {file, value, hive};
  const std::string text = undo::FormatIndexFile(index, true, index.items, 0, 3);
  EXPECT_EQ(text,
            "Klaruvex Pro backup 1\r\naction\tFix\r\ncreated\t2026-12-07 13:05:12\r\n"
            "item\tfile\tC:\\odd%09name%25%0D%0A.exe\t12\t" + file.md5 +
                "\t39\t133000000000000000\t1.dat\r\n"
                "item\tvalue\t2\tSYSTEM\\X\t\t4:01000080\t-\r\n"
                "item\treplaced\tC:\\Windows\\System32\\config\\SOFTWARE\t8192\t" + hive.sha256 +
                "\t" + hive.newSha256 + "\t2.dat\r\n");
  auto back = undo::ParseIndexFile(text);
  ASSERT_TRUE(back);
  EXPECT_TRUE(*back == index);
  EXPECT_EQ(undo::RegeditText(index.items),
            "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SYSTEM\\X]\r\n@=dword:80000001\r\n\r\n");
  // More items than one file holds is not an index file the program wrote.
  std::string many = "Klaruvex Pro backup 1\r\n";
  for (std::size_t i = 0; i <= undo::kItemsPerFile; ++i) many += "item\tfolder\tC:\\x\r\n";
  EXPECT_FALSE(undo::ParseIndexFile(many));
}

}  // namespace
