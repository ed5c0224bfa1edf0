// The quarantine on the real Windows layer: a running program's file
// quarantined, the program ended and its file deleted, then restored byte
// for byte by a later run and started again; and the manager as a real
// window.
#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <thread>

#include "app/all_windows.h"
#include "platform/win32/machine.h"
#include "quarantine/quarantine_store.h"
#include "tests/contract/bench.h"
#include "tools/kvxdb/kvxdb.h"

namespace {

std::string Read(platform::FileSystem& fs, const std::string& path) {
  std::string bytes;
  EXPECT_EQ(platform::ReadWholeFile(fs, path, bytes), platform::kOk) << path;
  return bytes;
}

// Windows lets go of an ended program's file a little later.
bool DeleteSoon(platform::FileSystem& fs, const std::string& path) {
  for (int i = 0; i < 100; ++i) {
    if (fs.DeleteFile(path) == platform::kOk) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

TEST(Win32Quarantine, RunningProgramQuarantinedEndedAndRestored) {
  auto bench = contract::MakeBench();
  auto& fs = bench->M().Files();
  const std::string dir = bench->Scratch() + "\\";
  const std::string program = dir + "kvx\\";
  const std::string sample = dir + "Infected\\kvxsample.exe";
  ASSERT_EQ(fs.CreateDirectory(dir + "kvx"), platform::kOk);
  ASSERT_EQ(fs.CreateDirectory(dir + "Infected"), platform::kOk);
  const auto pid = bench->StartProgram(sample);
  ASSERT_NE(pid, 0u);
  const std::string original = Read(fs, sample);
  ASSERT_GT(original.size(), 1000u);

  {
    quarantine::QuarantineStore store(fs, program);
    ASSERT_TRUE(store.Add(sample, "Trojan.Sample", "")) << store.LastError();
    const std::string stored = program + "Quarantine\\kvxsample.exe";
    EXPECT_EQ(store.Find(sample)->StoredPath, stored);
    std::string expected = original;
    ASSERT_TRUE(quarantine::TransformBytes(expected, quarantine::Direction::Inverse));
    EXPECT_EQ(Read(fs, stored), expected);
    // While the program runs its file cannot be replaced: the restore fails
    // and the stored copy stays whole.
    EXPECT_FALSE(store.Restore(sample, dir + "Infected\\"));
    EXPECT_EQ(Read(fs, stored), expected);
    EXPECT_TRUE(store.Contains(sample));
  }
  ASSERT_EQ(bench->M().Procs().Terminate(pid, 0), platform::kOk);
  ASSERT_TRUE(DeleteSoon(fs, sample));

  // The program restarted: a new store finds the entry in the index.
  quarantine::QuarantineStore later(fs, program);
  ASSERT_TRUE(later.Restore(sample, dir + "Infected\\")) << later.LastError();
  EXPECT_EQ(Read(fs, sample), original);
  EXPECT_FALSE(platform::FileExists(fs, program + "Quarantine\\kvxsample.exe"));
  EXPECT_EQ(Read(fs, program + "Quarantine.info"), "");
  const auto again = platform::win32::LaunchProgram(sample);
  ASSERT_NE(again, 0u);
  bench->M().Procs().Terminate(again, 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
}

// Stored copies are the same bytes on every system: a copy made on one
// machine is decoded on another, here by the support tool on Windows.
TEST(Win32Quarantine, SameStoredCopiesEverywhere) {
  std::string source(17, '\0');
  for (std::size_t i = 0; i < source.size(); ++i) source[i] = static_cast<char>(i * 7 + 3);
  const std::string stored("\x6e\x13\x79\x35\xec\x9d\xfe\x1c\x6f\xa8\x3a\xb6\xfe\xf2\xdc\x03\x6e", 17);
  std::string made = source;
  ASSERT_TRUE(quarantine::TransformBytes(made, quarantine::Direction::Inverse));
  EXPECT_EQ(made, stored);

  auto bench = contract::MakeBench();
  auto& fs = bench->M().Files();
  const std::string dir = bench->Scratch() + "\\";
  ASSERT_EQ(platform::WriteWholeFile(fs, dir + "sample.exe", stored), platform::kOk);
  std::ostringstream out, err;
  ASSERT_EQ(kvxdb::Run({"quarantine-decode", dir + "sample.exe", dir + "back.exe"}, out, err), 0)
      << err.str();
  EXPECT_EQ(Read(fs, dir + "back.exe"), source);
  EXPECT_EQ(kvxdb::Run({"quarantine-encode", dir + "none.exe", dir + "x.bin"}, out, err), 1);
  EXPECT_EQ(err.str(), "kvxdb: " + dir + "none.exe is not a file\n");
}

TEST(Win32Quarantine, ManagerIsARealWindow) {
  auto machine = platform::win32::CreateMachine();
  auto host = platform::win32::CreateHost();
  app::Program p(*machine, *host);
  ASSERT_TRUE(p.Start());
  auto& f = *p.form9;
  auto& fs = machine->Files();
  const std::string sample = p.programFolder + "kvx-manager-sample.exe";
  ASSERT_EQ(platform::WriteWholeFile(fs, sample, "MZ sample"), platform::kOk);
  ASSERT_TRUE(f.store.Add(sample, "Worm.Test", "")) << f.store.LastError();
  f.Show();
  host->ProcessMessages();
  EXPECT_TRUE(host->WindowShown(f));
  EXPECT_EQ(host->WindowText(f), "Quarantine Manager");
  EXPECT_EQ(host->WindowText(*f.xpButton2), "Restore selected tasks");
  const auto rows = host->WindowRows(*f.List1);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].rfind(sample + "|Worm.Test|", 0), 0u) << rows[0];
  EXPECT_EQ(rows[0].substr(rows[0].rfind('|') + 1), f.store.Entries()[0].Added);
  EXPECT_NE(f.store.Entries()[0].Added.find(", "), std::string::npos);
  f.Bar1->SetPanelText(0, "Restoring " + sample);
  EXPECT_EQ(host->WindowText(*f.Bar1), "Restoring " + sample);

  // The real open dialog of "Add Task", answered as the user would.
  host->AnswerNextFileDialog(sample);
  EXPECT_EQ(host->OpenFileDialog(TForm9::kOpen1Title, "All files (*.*)|*.*"), sample);
  EXPECT_EQ(host->LastFileDialogTitle(), "Add task into Quaranteen");
  host->AnswerNextFileDialog(std::nullopt);
  EXPECT_EQ(host->OpenFileDialog(TForm9::kOpen1Title, "All files (*.*)|*.*"), std::nullopt);

  f.store.Clear();
  fs.DeleteFile(sample);
  f.Close();
}

}  // namespace
