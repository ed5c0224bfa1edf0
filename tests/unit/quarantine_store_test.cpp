#include <gtest/gtest.h>

#include <filesystem>

#include "platform/sim/sim_clock.h"
#include "quarantine/quarantine_store.h"
#include "tests/unit/sim_fixture.h"

inline void PrintTo(const TQFileList& e, std::ostream* os) {
  *os << "{" << e.SourcePath << "|" << e.StoredPath << "|" << e.Task << "|" << e.Added << "|"
      << e.Checksum << "}";
}

namespace {

using quarantine::Direction;

constexpr const char* kProgram = "C:\\Kvx\\";
constexpr const char* kQ = "C:\\Kvx\\Quarantine\\";
constexpr const char* kIndex = "C:\\Kvx\\Quarantine.info";

class QuarantineStoreTest : public SimFixture {
 protected:
  QuarantineStoreTest() : store(machine.Files(), kProgram) {
    std::filesystem::create_directories(root / "Kvx");
    platform::sim::SetLocalTime(platform::LocalTime{2026, 12, 7, 13, 5, 12});
  }
  ~QuarantineStoreTest() override { platform::sim::SetLocalTime(std::nullopt); }

  std::string Read(const std::string& path) {
    std::string bytes;
    EXPECT_EQ(platform::ReadWholeFile(machine.Files(), path, bytes), platform::kOk) << path;
    return bytes;
  }
  bool Exists(const std::string& path) { return platform::FileExists(machine.Files(), path); }
  // Names of the files in the quarantine folder.
  std::vector<std::string> Stored() {
    std::vector<std::string> names;
    for (auto& e : std::filesystem::directory_iterator(machine.SimFiles().HostPath(kQ)))
      names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  static std::string Bytes(std::size_t n, int seed) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>(i * 31 + seed);
    return s;
  }

  quarantine::QuarantineStore store;
};

TEST_F(QuarantineStoreTest, AddWritesEnciphered_RestoreGivesBackEveryByte) {
  for (std::size_t size : {0u, 1u, 7u, 8u, 9u, 4097u, 200000u}) {
    const std::string path = "C:\\Files\\f" + std::to_string(size) + ".bin";
    const std::string bytes = Bytes(size, static_cast<int>(size));
    WriteFile(path, bytes);
    ASSERT_TRUE(store.Add(path, "Trojan.Test", "0123abcd")) << store.LastError();
    const std::string stored = kQ + platform::ExtractFileName(path);
    EXPECT_EQ(store.Find(path)->StoredPath, stored);
    std::string expected = bytes;
    ASSERT_TRUE(quarantine::TransformBytes(expected, Direction::Inverse));
    EXPECT_EQ(Read(stored), expected) << size;
    // The store never deletes the source itself.
    EXPECT_EQ(Read(path), bytes);

    ASSERT_EQ(machine.Files().DeleteFile(path), platform::kOk);
    ASSERT_TRUE(store.Restore(path, "C:\\Files\\")) << store.LastError();
    EXPECT_EQ(Read(path), bytes) << size;
    EXPECT_FALSE(Exists(stored));
    EXPECT_FALSE(store.Contains(path));
  }
  EXPECT_EQ(Read(kIndex), "");
  EXPECT_TRUE(Stored().empty());
}

// Five CR LF lines per entry, in the order of adding; a fresh store reads
// them back.
TEST_F(QuarantineStoreTest, IndexFormat) {
  WriteFile("C:\\A\\One.exe", "one");
  WriteFile("C:\\B\\two.dll", "two");
  ASSERT_TRUE(store.Add("C:\\A\\One.exe", "Worm.One", "5d41402abc4b2a76b9719d911017c592"));
  ASSERT_TRUE(store.Add("C:\\B\\two.dll", "Unknown", ""));
  const std::string index =
      "C:\\A\\One.exe\r\nC:\\Kvx\\Quarantine\\One.exe\r\nWorm.One\r\n07.12.2026, 13:05:12\r\n"
      "5d41402abc4b2a76b9719d911017c592\r\n"
      "C:\\B\\two.dll\r\nC:\\Kvx\\Quarantine\\two.dll\r\nUnknown\r\n07.12.2026, 13:05:12\r\n\r\n";
  EXPECT_EQ(Read(kIndex), index);

  quarantine::QuarantineStore again(machine.Files(), kProgram);
  ASSERT_TRUE(again.ReadIndex());
  ASSERT_EQ(again.Entries(), store.Entries());
  EXPECT_TRUE(again.Contains("c:\\a\\one.EXE"));
  // An add in a new run keeps the entries of the earlier one.
  WriteFile("C:\\C\\three.sys", "three");
  ASSERT_TRUE(again.Add("C:\\C\\three.sys", "Rootkit", ""));
  EXPECT_EQ(Read(kIndex).substr(0, index.size()), index);
  EXPECT_EQ(again.Entries().size(), 3u);
}

TEST_F(QuarantineStoreTest, SameSourcePathInAnyCaseIsRefused) {
  WriteFile("C:\\A\\X.EXE", "first");
  ASSERT_TRUE(store.Add("c:\\a\\x.exe", "T", ""));
  EXPECT_FALSE(store.Add("C:\\A\\X.EXE", "T", ""));
  EXPECT_EQ(store.Entries().size(), 1u);
}

// Two files with one bare name each keep their own stored copy; a file
// already lying in the folder under that name is not overwritten either.
TEST_F(QuarantineStoreTest, SameBareNameKeepsBothFiles) {
  WriteFile(std::string(kQ) + "x.exe.2", "left by someone");
  WriteFile("C:\\A\\x.exe", "file of A");
  WriteFile("C:\\B\\X.exe", "file of B, longer");
  WriteFile("C:\\C\\x.exe", "file of C");
  ASSERT_TRUE(store.Add("C:\\A\\x.exe", "T", ""));
  ASSERT_TRUE(store.Add("C:\\B\\X.exe", "T", ""));
  ASSERT_TRUE(store.Add("C:\\C\\x.exe", "T", ""));
  EXPECT_EQ(store.Find("C:\\A\\x.exe")->StoredPath, std::string(kQ) + "x.exe");
  EXPECT_EQ(store.Find("C:\\B\\X.exe")->StoredPath, std::string(kQ) + "X.exe.3");
  EXPECT_EQ(store.Find("C:\\C\\x.exe")->StoredPath, std::string(kQ) + "x.exe.4");
  EXPECT_EQ(Read(std::string(kQ) + "x.exe.2"), "left by someone");

  quarantine::QuarantineStore again(machine.Files(), kProgram);  // a later run
  for (const char* folder : {"C:\\B\\", "C:\\A\\", "C:\\C\\"}) {
    const std::string path = std::string(folder) + (folder[3] == 'B' ? "X.exe" : "x.exe");
    ASSERT_EQ(machine.Files().DeleteFile(path), platform::kOk);
    ASSERT_TRUE(again.Restore(path, folder)) << again.LastError();
  }
  EXPECT_EQ(Read("C:\\A\\x.exe"), "file of A");
  EXPECT_EQ(Read("C:\\B\\X.exe"), "file of B, longer");
  EXPECT_EQ(Read("C:\\C\\x.exe"), "file of C");
  EXPECT_EQ(Stored(), std::vector<std::string>{"x.exe.2"});
}

// Indexes of earlier versions name the copy by the bare name; an index
// naming a file outside the folder is not trusted with deletions.
TEST_F(QuarantineStoreTest, StoredPathOutsideTheFolderFallsBackToTheBareName) {
  std::string copy = "old version";
  quarantine::TransformBytes(copy, Direction::Inverse);
  WriteFile(std::string(kQ) + "old.exe", copy);
  WriteFile("C:\\WINDOWS\\system32\\kernel.dll", "system file");
  WriteFile(kIndex,
            "C:\\Old\\old.exe\r\nC:\\WINDOWS\\system32\\kernel.dll\r\nT\r\n\r\n\r\n"
            "C:\\Old\\two.exe\r\nC:\\Kvx\\Quarantine\\..\\..\\WINDOWS\\system32\\kernel.dll\r\n"
            "T\r\n\r\n\r\n");
  ASSERT_TRUE(store.ReadIndex());
  EXPECT_EQ(store.StoredCopyOf(store.Entries()[1]), std::string(kQ) + "two.exe");
  ASSERT_TRUE(store.Restore("C:\\Old\\old.exe", "C:\\Old\\"));
  EXPECT_EQ(Read("C:\\Old\\old.exe"), "old version");
  EXPECT_TRUE(store.Remove("C:\\Old\\two.exe"));  // no stored copy: nothing to delete
  EXPECT_EQ(Read("C:\\WINDOWS\\system32\\kernel.dll"), "system file");
}

// A full disk while the copy is written: nothing is entered, no partial copy
// stays, and the copies and index already there are untouched.
TEST_F(QuarantineStoreTest, FailedAddLeavesNoTrace) {
  WriteFile("C:\\A\\keep.exe", Bytes(5000, 1));
  ASSERT_TRUE(store.Add("C:\\A\\keep.exe", "T", ""));
  const std::string keptCopy = Read(std::string(kQ) + "keep.exe");
  const std::string index = Read(kIndex);
  WriteFile("C:\\B\\keep.exe", Bytes(100000, 2));
  WriteFile("C:\\B\\other.exe", Bytes(100000, 3));
  machine.SimFiles().FailWrites(kQ, 70000);
  EXPECT_FALSE(store.Add("C:\\B\\keep.exe", "T", ""));
  EXPECT_FALSE(store.Add("C:\\B\\other.exe", "T", ""));
  EXPECT_EQ(store.Entries().size(), 1u);
  EXPECT_EQ(Stored(), std::vector<std::string>{"keep.exe"});
  EXPECT_EQ(Read(std::string(kQ) + "keep.exe"), keptCopy);
  EXPECT_EQ(Read(kIndex), index);
}

// An entry the index cannot record would be lost at the next start while
// the caller deletes the original: the add fails as a whole.
TEST_F(QuarantineStoreTest, FailedIndexWriteKeepsTheOldIndex) {
  WriteFile("C:\\A\\one.exe", "one");
  ASSERT_TRUE(store.Add("C:\\A\\one.exe", "T", ""));
  const std::string index = Read(kIndex);
  WriteFile("C:\\A\\two.exe", "two");
  machine.SimFiles().FailWrites(kIndex, 40);
  EXPECT_FALSE(store.Add("C:\\A\\two.exe", "T", ""));
  EXPECT_EQ(store.LastError(), "the quarantine index C:\\Kvx\\Quarantine.info cannot be written");
  EXPECT_EQ(Read(kIndex), index);
  EXPECT_EQ(Stored(), std::vector<std::string>{"one.exe"});
  EXPECT_FALSE(store.Contains("C:\\A\\two.exe"));
  EXPECT_FALSE(Exists(std::string(kIndex) + ".kvxnew"));
}

// An index that exists but cannot be read is never replaced by a shorter one.
TEST_F(QuarantineStoreTest, UnreadableIndexIsNotOverwritten) {
  const std::string huge = std::string(quarantine::kMaxIndexLine + 1, 'x') + "\r\n";
  WriteFile(kIndex, huge);
  WriteFile("C:\\A\\one.exe", "one");
  EXPECT_FALSE(store.Add("C:\\A\\one.exe", "T", ""));
  EXPECT_FALSE(store.Restore("C:\\A\\one.exe", "C:\\A\\"));
  EXPECT_FALSE(store.WriteIndex());
  EXPECT_EQ(Read(kIndex), huge);
}

TEST_F(QuarantineStoreTest, QuarantineFolderThatCannotBeMade) {
  WriteFile("C:\\Kvx\\Quarantine", "a file where the folder belongs");
  WriteFile("C:\\A\\one.exe", "one");
  EXPECT_FALSE(store.Add("C:\\A\\one.exe", "T", ""));
  EXPECT_EQ(store.LastError(), "the folder C:\\Kvx\\Quarantine cannot be created");
  EXPECT_TRUE(store.Entries().empty());
}

// Copying back fails (the target is held by a running program, may not be
// replaced, or the disk is full): the stored copy stays as it was and a
// later restore works.
TEST_F(QuarantineStoreTest, FailedCopyOutKeepsTheStoredCopyRestorable) {
  const std::string bytes = Bytes(9000, 5);
  WriteFile("C:\\A\\run.exe", bytes);
  ASSERT_TRUE(store.Add("C:\\A\\run.exe", "T", ""));
  const std::string copy = Read(std::string(kQ) + "run.exe");
  WriteFile("C:\\A\\run.exe", "a new version that runs");
  const auto pid = machine.SimProcs().Start("C:\\A\\run.exe");
  EXPECT_FALSE(store.Restore("C:\\A\\run.exe", "C:\\A\\"));
  machine.SimProcs().Terminate(pid, 0);
  // A file that may not be replaced: access is denied.
  machine.Files().SetAttributes("C:\\A\\run.exe", platform::fileattr::kReadOnly);
  EXPECT_FALSE(store.Restore("C:\\A\\run.exe", "C:\\A\\"));
  EXPECT_EQ(store.LastError(), "cannot write C:\\A\\run.exe: access is denied");
  machine.Files().SetAttributes("C:\\A\\run.exe", platform::fileattr::kNormal);
  machine.SimFiles().FailWrites("C:\\A\\", 4096);
  EXPECT_FALSE(store.Restore("C:\\A\\run.exe", "C:\\A\\"));
  EXPECT_EQ(Read(std::string(kQ) + "run.exe"), copy);
  EXPECT_TRUE(store.Contains("C:\\A\\run.exe"));
  EXPECT_EQ(Read("C:\\A\\run.exe"), "a new version that runs");
  EXPECT_FALSE(Exists("C:\\A\\run.exe.kvxnew"));

  machine.SimFiles().ClearWriteFailures();
  ASSERT_TRUE(store.Restore("C:\\A\\run.exe", "C:\\A\\"));
  EXPECT_EQ(Read("C:\\A\\run.exe"), bytes);
}

// Folders the user may read but not change: the quarantine folder, the
// folder a file goes back to, the program folder that holds the index.
TEST_F(QuarantineStoreTest, AccessDeniedFolders) {
  WriteFile("C:\\A\\one.exe", "one");
  WriteFile("C:\\A\\two.exe", "two");
  ASSERT_TRUE(store.Add("C:\\A\\one.exe", "T", ""));
  const std::string index = Read(kIndex), copy = Read(std::string(kQ) + "one.exe");

  machine.SimFiles().DenyChanges("C:\\Kvx\\Quarantine");
  EXPECT_FALSE(store.Add("C:\\A\\two.exe", "T", ""));
  EXPECT_EQ(store.LastError(), "cannot store the file: access is denied");

  machine.SimFiles().DenyChanges("C:\\A");
  ASSERT_EQ(machine.Files().DeleteFile("C:\\A\\one.exe"), platform::kAccessDenied);
  EXPECT_FALSE(store.Restore("C:\\A\\one.exe", "C:\\A\\"));
  EXPECT_EQ(Read(std::string(kQ) + "one.exe"), copy);
  EXPECT_TRUE(store.Contains("C:\\A\\one.exe"));
  EXPECT_EQ(Stored(), std::vector<std::string>{"one.exe"});

  quarantine::QuarantineStore other(machine.Files(), "C:\\Locked\\");
  std::filesystem::create_directories(root / "Locked" / "Quarantine");
  machine.SimFiles().DenyChanges("C:\\Locked");
  EXPECT_FALSE(other.Add("C:\\A\\two.exe", "T", ""));
  EXPECT_TRUE(std::filesystem::is_empty(root / "Locked" / "Quarantine"));
  EXPECT_EQ(Read(kIndex), index);
}

TEST_F(QuarantineStoreTest, RestoreMakesMissingFoldersAndFailsWithoutACopy) {
  WriteFile("C:\\A\\B\\deep.exe", "deep");
  ASSERT_TRUE(store.Add("C:\\A\\B\\deep.exe", "T", ""));
  std::filesystem::remove_all(root / "A");
  ASSERT_TRUE(store.Restore("C:\\A\\B\\deep.exe", "C:\\A\\B\\"));
  EXPECT_EQ(Read("C:\\A\\B\\deep.exe"), "deep");
  EXPECT_FALSE(store.Restore("C:\\A\\B\\deep.exe", "C:\\A\\B\\"));
  EXPECT_FALSE(store.Restore("C:\\A\\never.exe", "C:\\A\\"));
}

// A stored copy that cannot be deleted (here: held by a running program)
// ends the restore all the same; the file is back and nothing is lost.
TEST_F(QuarantineStoreTest, UndeletableStoredCopyEndsTheRestore) {
  WriteFile("C:\\A\\held.exe", "held");
  ASSERT_TRUE(store.Add("C:\\A\\held.exe", "T", ""));
  ASSERT_EQ(machine.Files().DeleteFile("C:\\A\\held.exe"), platform::kOk);
  const std::string stored = std::string(kQ) + "held.exe";
  machine.SimProcs().Start(stored);
  int pumps = 0;
  store.pump = [&] { ++pumps; };
  ASSERT_TRUE(store.Restore("C:\\A\\held.exe", "C:\\A\\"));
  EXPECT_EQ(Read("C:\\A\\held.exe"), "held");
  EXPECT_TRUE(Exists(stored));
  EXPECT_EQ(store.LastError(), "the stored copy " + stored + " could not be deleted");
  EXPECT_LT(pumps, 100);
  // The copy that stayed keeps its name from later files.
  WriteFile("C:\\B\\held.exe", "another");
  ASSERT_TRUE(store.Add("C:\\B\\held.exe", "T", ""));
  EXPECT_EQ(store.Find("C:\\B\\held.exe")->StoredPath, stored + ".2");
}

TEST_F(QuarantineStoreTest, RemoveKeepsTheEntryWhoseCopyStays) {
  WriteFile("C:\\A\\a.exe", "a");
  WriteFile("C:\\A\\b.exe", "b");
  ASSERT_TRUE(store.Add("C:\\A\\a.exe", "T", ""));
  ASSERT_TRUE(store.Add("C:\\A\\b.exe", "T", ""));
  machine.SimProcs().Start(std::string(kQ) + "b.exe");
  EXPECT_TRUE(store.Remove("c:\\a\\A.EXE"));
  EXPECT_FALSE(store.Remove("C:\\A\\b.exe"));
  EXPECT_FALSE(store.Remove("C:\\A\\none.exe"));
  ASSERT_EQ(store.Entries().size(), 1u);
  EXPECT_EQ(store.Entries()[0].SourcePath, "C:\\A\\b.exe");
  EXPECT_EQ(Stored(), std::vector<std::string>{"b.exe"});
}

TEST_F(QuarantineStoreTest, ClearDeletesEveryCopyAndTheIndex) {
  WriteFile("C:\\A\\a.exe", "a");
  WriteFile("C:\\B\\a.exe", "b");
  ASSERT_TRUE(store.Add("C:\\A\\a.exe", "T", ""));
  ASSERT_TRUE(store.Add("C:\\B\\a.exe", "T", ""));
  EXPECT_TRUE(store.Clear());
  EXPECT_TRUE(store.Entries().empty());
  EXPECT_TRUE(Stored().empty());
  EXPECT_FALSE(Exists(kIndex));
}

// Clearing never loses track of a stored copy: not with an index it cannot
// read, not with a copy it cannot delete.
TEST_F(QuarantineStoreTest, ClearKeepsWhatItCannotDelete) {
  const std::string huge = std::string(quarantine::kMaxIndexLine + 1, 'x') + "\r\n";
  WriteFile(kIndex, huge);
  WriteFile(std::string(kQ) + "a.exe", "copy");
  EXPECT_FALSE(store.Clear());
  EXPECT_EQ(store.LastError(), "the quarantine index C:\\Kvx\\Quarantine.info cannot be read");
  EXPECT_EQ(Read(kIndex), huge);
  EXPECT_EQ(Stored(), std::vector<std::string>{"a.exe"});

  machine.Files().DeleteFile(kIndex);
  machine.Files().DeleteFile(std::string(kQ) + "a.exe");
  store.Reload();
  WriteFile("C:\\A\\a.exe", "a");
  WriteFile("C:\\A\\b.exe", "b");
  ASSERT_TRUE(store.Add("C:\\A\\a.exe", "T", ""));
  ASSERT_TRUE(store.Add("C:\\A\\b.exe", "T", ""));
  const std::string before = Read(kIndex);
  machine.SimProcs().Start(std::string(kQ) + "b.exe");
  EXPECT_FALSE(store.Clear());
  EXPECT_EQ(store.LastError(), "1 stored copies could not be deleted");
  EXPECT_EQ(Stored(), std::vector<std::string>{"b.exe"});
  EXPECT_EQ(Read(kIndex), before.substr(before.find("C:\\A\\b.exe")));
}

// A restore whose index cannot be written keeps the entry and its copy.
TEST_F(QuarantineStoreTest, RestoreWithAnUnwritableIndexKeepsTheEntry) {
  for (const char* name : {"one.exe", "two.exe"}) {
    WriteFile(std::string("C:\\A\\") + name, name);
    ASSERT_TRUE(store.Add(std::string("C:\\A\\") + name, "T", ""));
  }
  machine.Files().DeleteFile("C:\\A\\one.exe");
  const std::string index = Read(kIndex);
  machine.SimFiles().FailWrites(kIndex, 4);
  EXPECT_FALSE(store.Restore("C:\\A\\one.exe", "C:\\A\\"));
  EXPECT_EQ(store.LastError(),
            "the quarantine index C:\\Kvx\\Quarantine.info cannot be written; C:\\A\\one.exe "
            "was restored but stays in quarantine");
  EXPECT_EQ(Read("C:\\A\\one.exe"), "one.exe");
  EXPECT_TRUE(store.Contains("C:\\A\\one.exe"));
  EXPECT_EQ(Read(kIndex), index);
  EXPECT_EQ(Stored(), (std::vector<std::string>{"one.exe", "two.exe"}));
}

// The reading rule: five lines per entry, the end tested before each group.
TEST_F(QuarantineStoreTest, DamagedIndexes) {
  struct {
    std::string bytes;
    bool ok;
    std::vector<TQFileList> entries;
  } cases[] = {
      {"", true, {}},
      {"C:\\a.exe\r\nC:\\Q\\a.exe\r\nT\r\n", true, {{"C:\\a.exe", "C:\\Q\\a.exe", "T", "", ""}}},
      {"a\nb\nc\nd\ne\nf", true, {{"a", "b", "c", "d", "e"}, {"f", "", "", "", ""}}},
      {std::string("a\rb\r\n\x00\xff\x1a\r\n\r\n\r\n", 14), true,
       {{"a", "b", std::string("\x00\xff\x1a", 3), "", ""}}},
      {std::string(quarantine::kMaxIndexLine, 'p'), true,
       {{std::string(quarantine::kMaxIndexLine, 'p'), "", "", "", ""}}},
      {std::string(quarantine::kMaxIndexLine + 1, 'p'), false, {}},
      {std::string(quarantine::kMaxIndexEntries * 5 + 1, '\n'), false, {}},
  };
  for (const auto& c : cases) {
    WriteFile(kIndex, c.bytes);
    EXPECT_EQ(store.ReadIndex(), c.ok) << c.bytes.substr(0, 40);
    EXPECT_EQ(store.Entries(), c.entries) << c.bytes.substr(0, 40);
  }
  machine.Files().DeleteFile(kIndex);
  EXPECT_FALSE(store.ReadIndex());
}

}  // namespace
