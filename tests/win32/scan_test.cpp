// The real scan under Wine: planted harmless samples, a running sample
// program (the test's sleeper, renamed) terminated, a renamed copy found by
// the full scan, and the unattended scan and fix run as their own processes.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <thread>

#include "app/all_windows.h"
#include "app/scan_ui.h"
#include "engine/full_scan.h"
#include "engine/helpers.h"
#include "platform/text.h"
#include "platform/win32/machine.h"
#include "update/ezcrypt.h"

namespace {

class Win32Scan : public ::testing::Test {
 protected:
  void SetUp() override {
    auto& fs = machine->Files();
    folder_ = platform::ExtractFilePath(machine->Sys().ModulePath());
    dir_ = "C:\\kvxscan" + std::to_string(machine->Procs().CurrentPid());
    for (const char* d : {"", "\\nest", "\\copies"}) fs.CreateDirectory(dir_ + d);
    platform::WriteWholeFile(fs, dir_ + "\\sample.txt", "harmless sample threat");
    platform::WriteWholeFile(fs, dir_ + "\\nest\\inner.txt", "inside the sample folder");
    ASSERT_EQ(fs.CopyFile(folder_ + "kvx_sleeper.exe", dir_ + "\\kvxsample.exe", false),
              platform::kOk);
    ASSERT_EQ(fs.CopyFile(folder_ + "kvx_sleeper.exe", dir_ + "\\copies\\renamed.bin", false),
              platform::kOk);
    sample_ = platform::win32::LaunchProgram(dir_ + "\\kvxsample.exe");
    ASSERT_NE(sample_, 0u);
    const std::string text = "Test database\r\n[Start]\r\n[Sample.File]:" + dir_ +
                             "\\sample.txt\r\n[Sample.Folder]:" + dir_ +
                             "\\nest\\\\\r\n[Sample.Program]:" + dir_ +
                             "\\kvxsample.exe\r\n_end\r\n";
    platform::WriteWholeFile(fs, dir_ + "\\test.dat",
                             engine::PackDatabase(text, update::LanguageKey()));
  }
  void TearDown() override {
    program.reset();
    host.reset();
    machine->Procs().Terminate(sample_, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    auto& fs = machine->Files();
    for (const char* f : {"\\nest\\inner.txt", "\\copies\\renamed.bin", "\\sample.txt",
                          "\\kvxsample.exe", "\\test.dat", "\\report.json"})
      fs.DeleteFile(dir_ + f);
    for (const char* d : {"\\nest", "\\copies", ""}) fs.RemoveDirectory(dir_ + d);
  }
  bool SampleRunning() {
    for (const auto& e : machine->Procs().Snapshot())
      if (e.pid == sample_) return true;
    return false;
  }

  // The program's window on its findings page.
  bool StartWindow() {
    host = platform::win32::CreateHost();
    program = std::make_unique<app::Program>(*machine, *host);
    if (!program->Start()) return false;
    program->form1->Show();
    program->form1->ShowPage(1);
    return true;
  }

  std::unique_ptr<platform::Machine> machine = platform::win32::CreateMachine();
  std::unique_ptr<platform::win32::Win32Host> host;
  std::unique_ptr<app::Program> program;
  std::string folder_, dir_;
  std::uint32_t sample_ = 0;
};

TEST_F(Win32Scan, RealScanFindsTerminatesAndLists) {
  ASSERT_TRUE(StartWindow());
  app::Program& p = *program;
  auto& f = *p.form1;
  ASSERT_EQ(f.database.Load(machine->Files(), dir_ + "\\test.dat", update::LanguageKey()),
            engine::LoadResult::Ok);
  app::RunQuickScan(p, false);
  host->ProcessMessages();

  const std::vector<std::string> lines = {"Infected with Sample.File", "Infected with Sample.Folder",
                                          "Infected with Sample.Program"};
  EXPECT_EQ(host->WindowRows(*f.List1), lines);
  EXPECT_TRUE(f.scan.findings.Contains(dir_ + "\\nest\\inner.txt"));
  EXPECT_EQ(f.sb1->PanelText(0), "Scan process finished.");
  for (int i = 0; i < 50 && SampleRunning(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(SampleRunning());

  // The full scan over the test's folder finds the renamed copy.
  app::WindowScanHost scanHost(p);
  engine::FullScanWalk(*machine, f.scan, scanHost).Walk(dir_);
  bool copy = false;
  for (const auto& r : f.scan.findings.Records())
    if (r.FromFullScan && platform::SameText(r.Path, dir_ + "\\copies\\renamed.bin")) {
      copy = true;
      EXPECT_EQ(r.Name, "Sample.Program");
    }
  EXPECT_TRUE(copy);
  f.Close();
}

TEST_F(Win32Scan, CleanLineCannotBeTicked) {
  ASSERT_TRUE(StartWindow());
  app::Program& p = *program;
  auto& f = *p.form1;
  const std::string text = "Test database\r\n[Start]\r\n[Nothing]:" + dir_ + "\\none.exe\r\n_end\r\n";
  f.database.SetText(text);
  app::RunQuickScan(p, false);
  host->ProcessMessages();
  ASSERT_EQ(host->WindowRows(*f.List1), std::vector<std::string>{"Your computer is clean..."});
  host->ToggleWindowCheck(*f.List1, 0);
  host->ProcessMessages();
  EXPECT_EQ(host->WindowChecks(*f.List1), std::vector<bool>{false});
  EXPECT_FALSE(f.List1->Checked(0));
  f.Close();
}

TEST_F(Win32Scan, UnattendedScanAsItsOwnProcess) {
  const std::string exe = folder_ + "klaruvex.exe";
  const std::string report = dir_ + "\\report.json";
  EXPECT_EQ(platform::win32::RunAndWait(exe, "/bogus", 60000), 2);
  EXPECT_EQ(platform::win32::RunAndWait(
                exe, "/SCAN /db \"" + dir_ + "\\test.dat\" /report \"" + report + "\"", 120000),
            1);
  std::string bytes;
  ASSERT_EQ(platform::ReadWholeFile(machine->Files(), report, bytes), platform::kOk);
  auto r = nlohmann::json::parse(bytes, nullptr, false);
  EXPECT_EQ(r["result"], "infected");
  EXPECT_EQ(r["databaseDate"], "Test database");
  bool terminated = false;
  for (const auto& f : r["findings"])
    if (f["threat"] == "Sample.Program") terminated = f["processTerminated"].get<bool>();
  EXPECT_TRUE(terminated);
  EXPECT_FALSE(SampleRunning());
  EXPECT_EQ(platform::win32::RunAndWait(exe, "/scan /db C:\\no-such.dat", 60000), 2);
}

TEST_F(Win32Scan, UnattendedFixAsItsOwnProcess) {
  const std::string report = dir_ + "\\report.json";
  EXPECT_EQ(platform::win32::RunAndWait(folder_ + "klaruvex.exe",
                                        "/fix /db \"" + dir_ + "\\test.dat\" /report \"" + report + "\"",
                                        120000),
            1);
  std::string bytes;
  ASSERT_EQ(platform::ReadWholeFile(machine->Files(), report, bytes), platform::kOk);
  auto r = nlohmann::json::parse(bytes, nullptr, false);
  EXPECT_EQ(r["fixed"], true) << bytes;
  // The running sample was ended and its file deleted, with the file and the
  // folder the other rules named; the copy no rule names stays.
  EXPECT_FALSE(SampleRunning());
  auto& fs = machine->Files();
  for (const char* gone : {"\\sample.txt", "\\kvxsample.exe", "\\nest\\inner.txt"})
    EXPECT_FALSE(platform::FileExists(fs, dir_ + gone)) << gone;
  EXPECT_TRUE(platform::FileExists(fs, dir_ + "\\copies\\renamed.bin"));
}

}  // namespace
