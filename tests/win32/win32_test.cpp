// What only the real Windows layer shows: the system's own records and the
// forms as real windows.
#include <gtest/gtest.h>

#include "app/main_window.h"
#include "app/program.h"
#include "app/winver.h"
#include "platform/text.h"
#include "platform/win32/machine.h"

namespace {

TEST(Win32System, VersionTextOfTheRunningSystem) {
  auto m = platform::win32::CreateMachine();
  auto v = m->Sys().Version();
  ASSERT_TRUE(v);
  const std::string text = app::WindowsVersionText(m->Sys(), m->Reg());
  std::printf("version text: %s\n", text.c_str());
  EXPECT_EQ(text.rfind("Microsoft Windows ", 0), 0u);
  EXPECT_NE(text.find(" (Build " + std::to_string(v->build & 0xFFFF) + ")"), std::string::npos);
  if (v->major == 6 && v->minor == 1) {  // Wine's default: Windows 7 SP1 workstation
    EXPECT_EQ(text, "Microsoft Windows NT Professional Service Pack 1 (Build 7601)");
  }
}

TEST(Win32System, LowerCaseMatchesTheSystem) {
  std::string all;
  for (int c = 1; c < 256; ++c) all += static_cast<char>(c);
  const std::string system = platform::win32::SystemLowerCase(all);
  // Our table is Windows-1252; compare all of it when the system uses that
  // code page, the ASCII half otherwise.
  const bool cp1252 = static_cast<unsigned char>(system[0xC0 - 1]) == 0xE0 &&
                      static_cast<unsigned char>(system[0x8A - 1]) == 0x9A;
  const std::size_t n = cp1252 ? all.size() : 127;
  EXPECT_EQ(platform::LowerCase(all).substr(0, n), system.substr(0, n));
}

TEST(Win32Host, MainWindowIsARealWindow) {
  auto machine = platform::win32::CreateMachine();
  auto host = platform::win32::CreateHost();
  app::Program p(*machine, *host);
  ASSERT_TRUE(p.Start());
  auto& f = *p.form1;
  f.Show();
  host->ProcessMessages();

  EXPECT_TRUE(host->WindowShown(f));
  EXPECT_EQ(host->WindowText(f), "Klaruvex Pro v4 - SE");
  EXPECT_EQ(host->WindowText(*f.Find("Button4")), "Scan for viruses");
  EXPECT_TRUE(host->WindowShown(*f.Find("Button4")));
  EXPECT_FALSE(host->WindowShown(*f.Find("Button19")));
  EXPECT_FALSE(host->WindowEnabled(*f.Find("Button2")));
  EXPECT_NE(host->WindowText(*f.sb1).find("|Klaruvex Pro - SE|Last Update: "), std::string::npos);
  EXPECT_EQ(host->WindowRows(*f.List2), std::vector<std::string>{});
  EXPECT_FALSE(host->WindowShown(*p.form2));

  // A real click goes through the window to the model and back.
  host->ClickWindow(*f.Find("Button18"));
  host->ProcessMessages();
  EXPECT_EQ(f.Note1->ActivePage(), 4);
  EXPECT_TRUE(host->WindowShown(*f.Find("Button19")));
  EXPECT_FALSE(host->WindowShown(*f.Find("Button4")));

  f.List2->AddItem("c:\\windows\\explorer.exe");
  f.ListView2->AddItem("Spooler", {"c:\\windows\\system32\\spoolsv.exe", "Running", "Automatic"});
  EXPECT_EQ(host->WindowRows(*f.List2), std::vector<std::string>{"c:\\windows\\explorer.exe"});
  EXPECT_EQ(host->WindowRows(*f.ListView2),
            std::vector<std::string>{"Spooler|c:\\windows\\system32\\spoolsv.exe|Running|Automatic"});

  f.Find("Button2")->SetEnabled(true);
  EXPECT_TRUE(host->WindowEnabled(*f.Find("xpButton5")));

  host->ClickWindow(*f.Find("Button19"));
  host->ClickWindow(*f.Find("Button17"));
  host->ProcessMessages();
  EXPECT_TRUE(p.app.Terminated());
  EXPECT_FALSE(host->WindowShown(f));
}

}  // namespace
