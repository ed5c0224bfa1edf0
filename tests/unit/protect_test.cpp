// No rule removes a system folder, a drive or a program Windows runs on, and
// a program is ended only where the finding says it runs.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "app/fix_ui.h"
#include "app/unattended.h"
#include "engine/helpers.h"
#include "tests/unit/scan_fixture.h"
#include "undo/undo_journal.h"

namespace {

using Texts = std::vector<std::string>;

class ProtectTest : public ScanFixture {
 protected:
  void SetUp() override { std::filesystem::create_directories(root / "out"); }
  int Run(std::vector<std::string> args) {
    return app::RunProgram(machine, args, [] { return std::unique_ptr<ui::Host>(); });
  }
  nlohmann::json Report() {
    std::string bytes;
    EXPECT_EQ(platform::ReadWholeFile(machine.Files(), "C:\\out\\r.json", bytes), platform::kOk);
    return nlohmann::json::parse(bytes, nullptr, false);
  }
  Texts Ended() {
    Texts out;
    for (const auto& t : machine.SimProcs().TerminatedLog()) out.push_back(t.imagePath);
    return out;
  }
  bool Exists(const std::string& path) { return platform::FileExists(machine.Files(), path); }
};

// A folder rule on the Windows folder itself and a file rule on the shell:
// the fix leaves both, lists them as protected and ends nothing.
TEST_F(ProtectTest, FixLeavesTheWindowsFolderAndTheShellAlone) {
  WriteFile("C:\\WINDOWS\\explorer.exe", "MZ the shell");
  WriteFile("C:\\WINDOWS\\notepad.exe", "MZ notepad");
  WriteFile("C:\\WINDOWS\\system32\\kernel32.dll", "MZ kernel");
  WriteFile("C:\\WINDOWS\\system32\\config\\SYSTEM", "regf");
  WriteFile("C:\\bad\\worm.exe", "MZ worm");
  const auto shell = machine.SimProcs().Start("C:\\WINDOWS\\explorer.exe");
  Database({"[Win32Root]", "[Worm.Root]:\\\\", "[System32Root]", "[Shell.Bad]:explorer.exe",
            "[Start]", "[Worm.A]:C:\\bad\\worm.exe"});
  EXPECT_EQ(Run({"/scan", "/fix", "/report", "C:\\out\\r.json"}), app::kExitFound);

  for (const char* kept : {"C:\\WINDOWS\\explorer.exe", "C:\\WINDOWS\\notepad.exe",
                           "C:\\WINDOWS\\system32\\kernel32.dll",
                           "C:\\WINDOWS\\system32\\config\\SYSTEM"})
    EXPECT_TRUE(Exists(kept)) << kept;
  EXPECT_FALSE(Exists("C:\\bad\\worm.exe"));
  EXPECT_TRUE(machine.SimProcs().Get(shell));
  EXPECT_TRUE(Ended().empty());
  const auto r = Report();
  EXPECT_EQ(r["protected"], nlohmann::json::parse(R"([
      {"threat": "Worm.Root", "path": "C:\\WINDOWS\\", "reason": "the Windows folder"},
      {"threat": "Shell.Bad", "path": "C:\\WINDOWS\\explorer.exe",
       "reason": "a program Windows needs to run"}])"));
  // Nothing of the Windows folder became a finding.
  ASSERT_EQ(r["findings"].size(), 1u);
  EXPECT_EQ(r["findings"][0]["path"], "C:\\bad\\worm.exe");
  EXPECT_EQ(r["fixed"], true);
  // The backup holds the worm alone: what is never removed is never kept.
  ASSERT_TRUE(r["backup"].is_string());
  const auto backups = undo::Journal(machine, kFolder).List();
  ASSERT_EQ(backups.size(), 1u);
  EXPECT_EQ(backups[0].id, r["backup"]);
  EXPECT_EQ(backups[0].items, 1u);
  EXPECT_EQ(backups[0].bytes, std::string("MZ worm").size());
}

// In the window the protected places show as greyed lines Fix never acts on,
// and the scan log says why.
TEST_F(ProtectTest, WindowShowsProtectedLinesAndLogsTheReason) {
  WriteFile("C:\\WINDOWS\\system32\\svchost.exe", "MZ service host");
  WriteFile("C:\\bad\\worm.exe", "MZ worm");
  // "..\\" after the Windows folder is the drive's root; "C:\\" names the
  // current folder of drive C:, wherever that is.
  Database({"[Win32Root]", "[Drive.Wiper]:..\\\\", "[Start]", "[Current]:C:\\\\",
            "[Svc.Fake]:C:\\WINDOWS\\system32\\svchost.exe", "[Worm.A]:C:\\bad\\worm.exe",
            "[Win32Root]", "[Again]:..\\\\"});
  Start();
  ScanDecliningFullScan(4);
  EXPECT_EQ(Lines(), (Texts{"Protected (Drive.Wiper) C:\\WINDOWS\\..", "Protected (Current) C:",
                            "Protected (Svc.Fake) C:\\WINDOWS\\system32\\svchost.exe",
                            "Infected with Worm.A"}));
  auto& f = *program->form1;
  EXPECT_FALSE(f.List1->ItemEnabled(0));
  EXPECT_FALSE(f.List1->Checked(1));
  EXPECT_EQ(Paths(), Texts{"C:\\bad\\worm.exe"});
  EXPECT_EQ(f.scan.findings.Records()[0].ListIndex, 3);
  const Texts log = Log();
  for (const char* line : {"10:00:00: Protected (Drive.Wiper) C:\\WINDOWS\\.. (a drive's root folder)",
                           "10:00:00: Protected (Current) C: (not a full path on a local drive)",
                           "10:00:00: Protected (Svc.Fake) C:\\WINDOWS\\system32\\svchost.exe (a "
                           "program Windows needs to run)"})
    EXPECT_NE(std::find(log.begin(), log.end(), line), log.end()) << line;

  host.Answer(ui::kIdYes, "Do you want to fix selected alerts?", "Question");
  host.Answer(ui::kIdOk, "1 alerts have been cleaned!\r\rNotes:\r" + program->msg[132], "Information");
  f.Find("Button2")->Click();
  EXPECT_TRUE(Exists("C:\\WINDOWS\\system32\\svchost.exe"));
  EXPECT_FALSE(Exists("C:\\bad\\worm.exe"));
  EXPECT_EQ(Lines()[0], "Protected (Drive.Wiper) C:\\WINDOWS\\..");
  EXPECT_EQ(Lines()[3], "Clean...[0.00 sec]");
}

// A file inside a protected folder is a finding like any other, and undo
// puts it back there: the protected places never stand in undo's way.
TEST_F(ProtectTest, UndoPutsBackIntoAProtectedFolder) {
  WriteFile("C:\\WINDOWS\\system32\\drivers\\evil.sys", "a rootkit driver");
  Database({"[System32Root]", "[Rootkit.A]:drivers\\evil.sys"});
  EXPECT_EQ(Run({"/fix", "/report", "C:\\out\\r.json"}), app::kExitFound);
  EXPECT_FALSE(Exists("C:\\WINDOWS\\system32\\drivers\\evil.sys"));
  EXPECT_TRUE(Report()["protected"].empty());
  EXPECT_EQ(Run({"/undo", "/report", "C:\\out\\r.json"}), app::kExitClean);
  std::string bytes;
  EXPECT_EQ(platform::ReadWholeFile(machine.Files(), "C:\\WINDOWS\\system32\\drivers\\evil.sys", bytes),
            platform::kOk);
  EXPECT_EQ(bytes, "a rootkit driver");
}

// A rule on a folder that holds the program's own folder, reached with "..".
TEST_F(ProtectTest, FolderHoldingAProtectedPlaceIsNeitherWalkedNorRemoved) {
  WriteFile("C:\\Program Files\\Other\\tool.exe", "MZ another program");
  Database({"[Start]", "[Sneaky]:C:\\Program Files\\Other\\..\\\\"});
  std::filesystem::create_directories(root / "out");
  EXPECT_EQ(Run({"/fix", "/report", "C:\\out\\r.json"}), app::kExitFound);
  EXPECT_TRUE(Exists("C:\\Program Files\\Other\\tool.exe"));
  EXPECT_TRUE(Exists(std::string(kFolder) + "klaruvex.exe"));
  const auto r = Report();
  ASSERT_EQ(r["protected"].size(), 1u);
  EXPECT_EQ(r["protected"][0]["reason"], "a Program Files folder");
  EXPECT_TRUE(r["findings"].empty());
  // Nothing was removed, so there is no backup, and none was begun.
  EXPECT_TRUE(r.contains("backup"));
  EXPECT_TRUE(r["backup"].is_null());
  EXPECT_TRUE(undo::Journal(machine, kFolder).List().empty());
}

// A finding bearing a shell program's name ends only what runs from its own
// path; the real one and a same-named program elsewhere keep running.
TEST_F(ProtectTest, ShellNameEndsOnlyTheFindingsOwnProcess) {
  WriteFile("C:\\WINDOWS\\system32\\svchost.exe", "MZ service host");
  WriteFile("C:\\Temp\\svchost.exe", "MZ a fake service host");
  WriteFile("C:\\Other\\svchost.exe", "MZ some other program");
  auto& procs = machine.SimProcs();
  const auto real = procs.Start("C:\\WINDOWS\\system32\\svchost.exe");
  const auto fake = procs.Start("C:\\Temp\\svchost.exe");
  const auto other = procs.Start("C:\\Other\\svchost.exe");
  Database({"[Start]", "[Fake.Svc]:C:\\Temp\\svchost/0/.exe"});
  EXPECT_EQ(Run({"/scan", "/fix", "/report", "C:\\out\\r.json"}), app::kExitFound);
  EXPECT_TRUE(procs.Get(real));
  EXPECT_FALSE(procs.Get(fake));
  EXPECT_TRUE(procs.Get(other));
  EXPECT_FALSE(Exists("C:\\Temp\\svchost.exe"));
  const auto r = Report();
  ASSERT_EQ(r["findings"].size(), 1u);
  EXPECT_EQ(r["findings"][0]["processTerminated"], true);
  EXPECT_TRUE(r["protected"].empty());
}

// Ending by file name never ends a shell program in the Windows folders,
// nor one whose program cannot be located; other names end everywhere.
TEST_F(ProtectTest, TerminationByNameSparesTheShell) {
  auto& procs = machine.SimProcs();
  const auto shell = procs.Start("C:\\WINDOWS\\explorer.exe");
  const auto copy = procs.Start("C:\\Temp\\explorer.exe");
  const auto hidden = procs.Start("C:\\Temp2\\explorer.exe");
  procs.Get(hidden)->canOpen = false;  // its program cannot be read
  const auto a = procs.Start("C:\\x\\tool.exe");
  const auto b = procs.Start("C:\\y\\tool.exe");
  EXPECT_EQ(engine::TerminateProcessesByName(machine, "EXPLORER.EXE"), 1);
  EXPECT_TRUE(procs.Get(shell));
  EXPECT_FALSE(procs.Get(copy));
  EXPECT_TRUE(procs.Get(hidden));
  const auto t = engine::TerminateProgramsOf(machine, "C:\\x\\tool.exe");
  EXPECT_EQ(t.result, 1);
  EXPECT_TRUE(t.ownPath);
  EXPECT_FALSE(procs.Get(a));
  EXPECT_FALSE(procs.Get(b));
}

// "processTerminated" tells what happened to the finding's own path: true
// for a hash rule's program that the scan ended, false when only a program
// of the same name elsewhere ended.
TEST_F(ProtectTest, ProcessTerminatedIsAboutTheFindingsOwnPath) {
  WriteFile("C:\\h\\hashed.exe", "MZ found by its digest");
  WriteFile("C:\\a\\tool.exe", "MZ tool here");
  WriteFile("C:\\b\\tool.exe", "MZ tool there");
  auto& procs = machine.SimProcs();
  const auto hashed = procs.Start("C:\\h\\hashed.exe");
  const auto elsewhere = procs.Start("C:\\b\\tool.exe");
  Database({"[Start]", "/" + engine::Md5Hex("MZ found by its digest") + "/[Hash.Worm]::",
            "[Tool]:C:\\a\\tool/0/.exe"});
  EXPECT_EQ(Run({"/scan", "/report", "C:\\out\\r.json"}), app::kExitFound);
  EXPECT_FALSE(procs.Get(hashed));
  EXPECT_FALSE(procs.Get(elsewhere));  // ended by name, as the scan does
  const auto report = Report();
  std::map<std::string, bool> terminated;
  for (const auto& f : report["findings"])
    terminated[f["path"].get<std::string>()] = f["processTerminated"].get<bool>();
  EXPECT_EQ(terminated, (std::map<std::string, bool>{{"c:\\h\\hashed.exe", true},
                                                     {"C:\\a\\tool.exe", false}}))
      << report.dump();
}

// Defence in depth: a protected place that reached the register some other
// way is still left alone by Fix.
TEST_F(ProtectTest, FixRefusesAProtectedFindingInTheRegister) {
  WriteFile("C:\\WINDOWS\\explorer.exe", "MZ the shell");
  Start();
  auto& f = *program->form1;
  AddCheckedFinding(*program, "C:\\WINDOWS\\explorer.exe", "X");
  engine::TFileList folder;
  folder.Path = "C:\\WINDOWS";
  folder.Name = "X";
  folder.IsFolder = true;
  f.scan.findings.Add(folder);
  std::vector<app::FindingOutcome> outcomes;
  app::FixOptions options;
  options.boxes = false;
  options.outcomes = &outcomes;
  app::RunFix(*program, options);
  EXPECT_TRUE(Exists("C:\\WINDOWS\\explorer.exe"));
  ASSERT_EQ(outcomes.size(), 2u);
  EXPECT_EQ(outcomes[0].error, "protected: a program Windows needs to run");
  EXPECT_EQ(outcomes[1].error, "protected: the Windows folder");
  EXPECT_EQ(Lines(), Texts{"[Err] C:\\WINDOWS\\explorer.exe"});
}

// The Report Manager never deletes a program Windows runs on.
TEST_F(ProtectTest, ReportManagerRefusesToDeleteTheShell) {
  WriteFile("C:\\WINDOWS\\explorer.exe", "MZ the shell");
  const auto shell = machine.SimProcs().Start("C:\\WINDOWS\\explorer.exe");
  Start();
  auto& r = *program->formR;
  r.Show();
  std::size_t row = 0;
  while (row < r.List1->Items().size() &&
         r.List1->Items()[row].subItems[TFormR::kFileName] != "C:\\WINDOWS\\explorer.exe")
    ++row;
  ASSERT_LT(row, r.List1->Items().size());
  r.List1->SetChecked(row, true);
  host.Answer(ui::kIdYes, "Do you want to delete selected items?", "Question");
  host.Answer(ui::kIdOk,
              "Cannot delete file C:\\WINDOWS\\explorer.exe: it is a program Windows needs to run.",
              "Error");
  r.xpButton2Click();
  EXPECT_TRUE(Exists("C:\\WINDOWS\\explorer.exe"));
  EXPECT_TRUE(machine.SimProcs().Get(shell));
  EXPECT_TRUE(r.List1->Items()[row].checked);
  // Refused before anything was kept: no backup was begun.
  EXPECT_TRUE(program->journal->List().empty());
}

}  // namespace
