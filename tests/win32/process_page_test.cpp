// The process page on the real machine: running programs by their full path.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/all_windows.h"
#include "app/program.h"
#include "platform/text.h"
#include "platform/win32/machine.h"

namespace {

TEST(Win32ProcessPage, ListsRunningProgramsByFullPath) {
  auto machine = platform::win32::CreateMachine();
  auto host = platform::win32::CreateHost();
  app::Program p{*machine, *host};
  ASSERT_TRUE(p.Start());
  auto& f = *p.form1;
  f.Show();
  host->ProcessMessages();

  auto& fs = machine->Files();
  const std::string folder = "C:\\kvxprocpage";
  fs.CreateDirectory(folder);
  const std::string copy = folder + "\\Page Worker.exe";
  const std::string sleeper =
      platform::ExtractFilePath(machine->Sys().ModulePath()) + "kvx_sleeper.exe";
  ASSERT_EQ(fs.CopyFile(sleeper, copy, false), platform::kOk);
  const auto pid = platform::win32::LaunchProgram(copy);
  ASSERT_NE(pid, 0u);

  host->ClickWindow(*f.Find("Button8"));
  host->ProcessMessages();
  EXPECT_EQ(f.Note1->ActivePage(), 2);
  auto rows = host->WindowRows(*f.List2);
  auto lower = [](std::string s) { return platform::LowerCase(s); };
  EXPECT_TRUE(std::any_of(rows.begin(), rows.end(),
                          [&](const std::string& r) { return lower(r) == lower(copy); }))
      << ::testing::PrintToString(rows);
  EXPECT_EQ(host->WindowText(*f.Find("Label3")),
            "Active processes (" + std::to_string(rows.size()) + ").");

  machine->Procs().Terminate(pid, 0);
  for (int i = 0; i < 50 && fs.DeleteFile(copy) != platform::kOk; ++i) host->ProcessMessages();
  fs.RemoveDirectory(folder);
}

}  // namespace
