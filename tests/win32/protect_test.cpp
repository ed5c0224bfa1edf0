// The real program under Wine against a database whose rules name the
// Windows folder itself and the shell: "/scan /fix" leaves the Windows folder
// whole, lists both rules as protected, ends no program and backs up nothing. Run in a prefix
// of its own (see tests/CMakeLists.txt), so a failure here cannot spoil the
// other tests' machine.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <map>
#include <set>

#include "engine/protected_places.h"
#include "engine/threat_database.h"
#include "platform/text.h"
#include "platform/win32/machine.h"
#include "update/ezcrypt.h"

namespace {

// Names directly in a folder, in lower case.
std::set<std::string> Listing(platform::FileSystem& fs, const std::string& folder) {
  std::set<std::string> names;
  platform::FindData d;
  if (auto h = fs.FindFirst(folder + "\\*", d)) do
      names.insert(platform::LowerCase(d.name));
    while (h->Next(d));
  return names;
}

TEST(Win32Protect, FixLeavesTheWindowsFolderAndTheShell) {
  auto machine = platform::win32::CreateMachine();
  auto& fs = machine->Files();
  const std::string folder = platform::ExtractFilePath(machine->Sys().ModulePath());
  const std::string windows = fs.WindowsDirectory();
  const std::string dir = "C:\\kvxprotect" + std::to_string(machine->Procs().CurrentPid());
  fs.CreateDirectory(dir);
  const std::string text =
      "Test database\r\n[Win32Root]\r\n[Worm.Root]:\\\\\r\n[System32Root]\r\n"
      "[Shell.Bad]:explorer.exe\r\n_end\r\n";
  ASSERT_EQ(platform::WriteWholeFile(fs, dir + "\\test.dat",
                                     engine::PackDatabase(text, update::LanguageKey())),
            platform::kOk);

  const auto before = Listing(fs, windows);
  ASSERT_GT(before.size(), 5u);
  std::map<std::uint32_t, std::string> running;  // every process but this test's own
  for (const auto& e : machine->Procs().Snapshot())
    if (e.pid != machine->Procs().CurrentPid()) running[e.pid] = platform::LowerCase(e.exeFile);

  const std::string report = dir + "\\report.json";
  EXPECT_EQ(platform::win32::RunAndWait(
                folder + "klaruvex.exe",
                "/scan /fix /db \"" + dir + "\\test.dat\" /report \"" + report + "\"", 180000),
            1);

  EXPECT_EQ(Listing(fs, windows), before);
  EXPECT_TRUE(platform::FileExists(fs, windows + "\\explorer.exe"));
  // Nothing the run found was ended: every program that ran before and is
  // gone now ended by itself, never one of the shell's.
  std::set<std::uint32_t> now;
  for (const auto& e : machine->Procs().Snapshot()) now.insert(e.pid);
  for (const auto& [pid, name] : running)
    if (!now.count(pid)) EXPECT_FALSE(engine::IsShellProgramName(name)) << name << " " << pid;

  std::string bytes;
  ASSERT_EQ(platform::ReadWholeFile(fs, report, bytes), platform::kOk);
  const auto r = nlohmann::json::parse(bytes, nullptr, false);
  ASSERT_TRUE(r.is_object()) << bytes;
  EXPECT_TRUE(r["findings"].empty()) << bytes;
  std::map<std::string, std::string> kept;  // threat to reason
  for (const auto& p : r["protected"]) kept[p["threat"]] = p["reason"];
  EXPECT_EQ(kept, (std::map<std::string, std::string>{{"Shell.Bad", "a program Windows needs to run"},
                                                      {"Worm.Root", "the Windows folder"}}))
      << bytes;
  ASSERT_FALSE(r["protected"].empty());
  EXPECT_TRUE(platform::SameText(r["protected"][0]["path"].get<std::string>(), windows + "\\"));
  // Nothing was removed, so no backup holds anything of it.
  ASSERT_TRUE(r.contains("backup")) << bytes;
  EXPECT_TRUE(r["backup"].is_null()) << bytes;

  fs.DeleteFile(report);
  fs.DeleteFile(dir + "\\test.dat");
  fs.RemoveDirectory(dir);
}

}  // namespace
