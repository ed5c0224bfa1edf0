// The full report log from the real machine: "klaruvex.exe /log FILE" as its
// own process, with a running sample program in the process section.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/text.h"
#include "platform/win32/machine.h"

namespace {

TEST(Win32FullReport, UnattendedLogFromTheRealMachine) {
  auto machine = platform::win32::CreateMachine();
  auto& fs = machine->Files();
  const std::string folder = platform::ExtractFilePath(machine->Sys().ModulePath());
  const std::string dir = "C:\\kvxlog" + std::to_string(machine->Procs().CurrentPid());
  fs.CreateDirectory(dir);
  const std::string sample = dir + "\\Log Sample.exe";
  ASSERT_EQ(fs.CopyFile(folder + "kvx_sleeper.exe", sample, false), platform::kOk);
  const auto pid = platform::win32::LaunchProgram(sample);
  ASSERT_NE(pid, 0u);

  const std::string log = dir + "\\Information.txt";
  EXPECT_EQ(platform::win32::RunAndWait(folder + "klaruvex.exe", "/log \"" + log + "\"", 120000), 0);
  std::string bytes;
  ASSERT_EQ(platform::ReadWholeFile(fs, log, bytes), platform::kOk);
  std::vector<std::string> lines;
  for (std::size_t at = 0, end; (end = bytes.find("\r\n", at)) != std::string::npos; at = end + 2)
    lines.push_back(bytes.substr(at, end - at));
  ASSERT_GE(lines.size(), 10u);
  EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n");
  EXPECT_EQ(lines[0], "Klaruvex Pro v7 - SE (Build date: 17.4.2010) full information log file.");
  EXPECT_EQ(lines[1].rfind("Generated at: ", 0), 0u) << lines[1];
  EXPECT_NE(lines[1].find(" on "), std::string::npos) << lines[1];
  EXPECT_EQ(lines[2].rfind("Microsoft Windows", 0), 0u) << lines[2];
  EXPECT_EQ(lines.back(), "Finished...");
  auto has = [&](const std::string& prefix) {
    for (const auto& l : lines)
      if (platform::LowerCase(l).rfind(platform::LowerCase(prefix), 0) == 0) return true;
    return false;
  };
  for (const char* section : {"Running processes: (", "Detail report: (", "Startup folder: (",
                              "Win.ini Startup: (", "Keyboard drivers: (", "Services: ("})
    EXPECT_TRUE(has(section)) << section;
  EXPECT_TRUE(has(sample)) << bytes;
  EXPECT_TRUE(has("Proc " + sample + "[")) << bytes;

  // A folder that does not exist: the log cannot be written.
  EXPECT_EQ(platform::win32::RunAndWait(folder + "klaruvex.exe", "/log C:\\kvx-no-such\\x.txt", 60000),
            2);

  machine->Procs().Terminate(pid, 0);
  for (int i = 0; i < 50 && fs.DeleteFile(sample) != platform::kOk; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  fs.DeleteFile(log);
  fs.RemoveDirectory(dir);
}

}  // namespace
