// The Report Manager on the real machine: its rows from the real system and
// its colours painted by the real list view.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "app/all_windows.h"
#include "app/program.h"
#include "platform/text.h"
#include "platform/win32/machine.h"

namespace {

struct Pixel {
  int r, g, b;
};

// The pixels of a 24-bit BMP as SaveWindowImage writes it.
std::vector<Pixel> ReadBmp(platform::FileSystem& fs, const std::string& path) {
  std::vector<Pixel> out;
  std::string bytes;
  if (platform::ReadWholeFile(fs, path, bytes) != platform::kOk || bytes.size() < 54) return out;
  auto u32 = [&](std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at])) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 2])) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 3])) << 24;
  };
  const std::size_t offset = u32(10), width = u32(18), height = u32(22);
  const std::size_t row = (width * 3 + 3) / 4 * 4;
  if (offset + row * height > bytes.size()) return out;
  for (std::size_t y = 0; y < height; ++y)
    for (std::size_t x = 0; x < width; ++x) {
      const auto* p = reinterpret_cast<const unsigned char*>(bytes.data() + offset + y * row + x * 3);
      out.push_back({p[2], p[1], p[0]});
    }
  return out;
}

// Run values naming a missing and an empty file; the Run key's path.
std::string Plant(platform::Machine& m, const std::string& folder) {
  m.Files().CreateDirectory(folder);
  platform::WriteWholeFile(m.Files(), folder + "\\empty.exe", "");
  const std::string run = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
  if (auto k = m.Reg().Create(platform::Hive::CurrentUser, run, platform::keyaccess::kAllAccess)) {
    k->WriteString("KvxReportMissing", folder + "\\missing.exe");
    k->WriteString("KvxReportEmpty", folder + "\\empty.exe");
  }
  return run;
}

void Cleanup(platform::Machine& m, const std::string& run, const std::string& folder) {
  if (auto k = m.Reg().Open(platform::Hive::CurrentUser, run, platform::keyaccess::kAllAccess)) {
    k->DeleteValue("KvxReportMissing");
    k->DeleteValue("KvxReportEmpty");
  }
  m.Files().DeleteFile(folder + "\\empty.exe");
  m.Files().RemoveDirectory(folder);
}

void Settle(platform::win32::Win32Host& host) {
  for (int i = 0; i < 10; ++i) {
    host.ProcessMessages();
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
  }
}

// The Report Manager opened from the main window over a few planted values.
class Win32ReportManager : public ::testing::Test {
 protected:
  void SetUp() override {
    run_ = Plant(*machine, folder_);
    ASSERT_TRUE(program.Start());
    program.form1->Button10Click();
  }
  void TearDown() override { Cleanup(*machine, run_, folder_); }

  const std::string folder_ = "C:\\kvxreportmgr";
  std::string run_;
  std::unique_ptr<platform::Machine> machine = platform::win32::CreateMachine();
  std::unique_ptr<platform::win32::Win32Host> host = platform::win32::CreateHost();
  app::Program program{*machine, *host};
};

TEST_F(Win32ReportManager, RowsOfTheRealSystem) {
  auto& r = *program.formR;
  Settle(*host);
  ASSERT_TRUE(host->WindowShown(r));
  const auto rows = host->WindowRows(*r.List1);
  const std::string hkcu = "HKEY_CURRENT_USER\\" + run_ + "\\";
  for (const std::string& want : {"RegStartup|" + folder_ + "\\missing.exe|0|" + hkcu,
                                  "RegStartup|" + folder_ + "\\empty.exe|0|" + hkcu})
    EXPECT_NE(std::find(rows.begin(), rows.end(), want), rows.end()) << want;
  // Our own process is running from a file the list can read.
  const std::string self = platform::LowerCase(machine->Sys().ModulePath());
  EXPECT_TRUE(std::any_of(rows.begin(), rows.end(), [&](const std::string& row) {
    return platform::LowerCase(row).rfind("proc|" + self + "|", 0) == 0;
  })) << ::testing::PrintToString(rows);
}

// The colours as painted, read back from the screen.
TEST_F(Win32ReportManager, ColoursOnScreen) {
  auto& fs = machine->Files();
  auto& r = *program.formR;
  r.List1->SetChecked(0, true);
  Settle(*host);
  const std::string bmp = fs.TempPath() + "kvx-report-manager.bmp";
  ASSERT_TRUE(host->SaveWindowImage(r, bmp));
  const auto pixels = ReadBmp(fs, bmp);
  fs.DeleteFile(bmp);
  ASSERT_FALSE(pixels.empty());
  auto count = [&](auto match) { return std::count_if(pixels.begin(), pixels.end(), match); };
  EXPECT_GT(count([](Pixel x) { return x.r == 255 && x.g == 255 && x.b == 0; }), 100);  // the ticked row
  EXPECT_GT(count([](Pixel x) { return x.r > 180 && x.g < 80 && x.b < 80; }), 10);       // "0" present
  EXPECT_GT(count([](Pixel x) { return x.b > 180 && x.r < 80 && x.g < 80; }), 10);       // "0" missing
  r.Close();
}

}  // namespace
