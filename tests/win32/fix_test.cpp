// Fix on the real layer under Wine: a running sample program (the test's
// sleeper, renamed) is ended and its file deleted.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "app/all_windows.h"
#include "app/fix_ui.h"
#include "engine/helpers.h"
#include "platform/text.h"
#include "platform/win32/machine.h"

namespace {

TEST(Win32Fix, RunningSampleIsEndedAndDeleted) {
  auto machine = platform::win32::CreateMachine();
  auto& fs = machine->Files();
  const std::string folder = platform::ExtractFilePath(machine->Sys().ModulePath());
  const std::string dir = "C:\\kvxfix" + std::to_string(machine->Procs().CurrentPid());
  const std::string sample = dir + "\\kvxfixsample.exe";
  fs.CreateDirectory(dir);
  ASSERT_EQ(fs.CopyFile(folder + "kvx_sleeper.exe", sample, false), platform::kOk);
  const auto pid = platform::win32::LaunchProgram(sample);
  ASSERT_NE(pid, 0u);

  auto host = platform::win32::CreateHost();
  app::Program p(*machine, *host);
  ASSERT_TRUE(p.Start());
  auto& f = *p.form1;
  f.Show();
  f.ShowPage(1);
  engine::TFileList r;
  r.Path = sample;
  r.Name = "Sample.Program";
  r.Md5 = engine::FileMd5(fs, sample);
  f.List1->Add("Infected with Sample.Program");
  f.List1->SetChecked(0, true);
  r.ListIndex = 0;
  f.scan.findings.Add(r);

  app::FixOptions options;
  options.boxes = false;
  app::RunFix(p, options);
  host->ProcessMessages();

  EXPECT_FALSE(platform::FileExists(fs, sample));
  bool running = false;
  for (const auto& e : machine->Procs().Snapshot()) running = running || e.pid == pid;
  EXPECT_FALSE(running);
  ASSERT_EQ(f.List1->Items().size(), 1u);
  EXPECT_EQ(f.List1->Items()[0].rfind("Clean...[", 0), 0u) << f.List1->Items()[0];
  const auto& log = f.Memo2->Lines();
  EXPECT_NE(std::find_if(log.begin(), log.end(),
                         [&](const std::string& l) {
                           return l.find(": File cleaned " + sample) != std::string::npos;
                         }),
            log.end());
  EXPECT_EQ(f.sb1->PanelText(0), "Fix process finished.");
  f.Close();

  machine->Procs().Terminate(pid, 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  fs.DeleteFile(sample);
  fs.RemoveDirectory(dir);
}

}  // namespace
