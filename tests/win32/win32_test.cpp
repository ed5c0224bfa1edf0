// What only the real Windows layer shows: the system's own records and the
// forms as real windows.
#include <gtest/gtest.h>

#include <chrono>
#include <new>
#include <stdexcept>
#include <thread>

#include "app/all_windows.h"
#include "app/options.h"
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

// The program started from the test's folder with the demo data beside it,
// its main window shown as a real window.
class Win32Host : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(p.Start());
    p.form1->Show();
    host->ProcessMessages();
  }
  std::unique_ptr<platform::Machine> machine = platform::win32::CreateMachine();
  std::unique_ptr<platform::win32::Win32Host> host = platform::win32::CreateHost();
  app::Program p{*machine, *host};
};

TEST_F(Win32Host, MainWindowIsARealWindow) {
  auto& f = *p.form1;

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
  f.ListView2->Clear();  // the services listed at start-up make way for the test's own row
  f.ListView2->AddItem("Spooler", {"c:\\windows\\system32\\spoolsv.exe", "Running", "Automatic"});
  EXPECT_EQ(host->WindowRows(*f.List2), std::vector<std::string>{"c:\\windows\\explorer.exe"});
  EXPECT_EQ(host->WindowRows(*f.ListView2),
            std::vector<std::string>{"Spooler|c:\\windows\\system32\\spoolsv.exe|Running|Automatic"});

  // Rows and lines added one by one, as a scan adds them.
  f.Memo2->Add("10:00:00: Scanning, please wait...");
  f.Memo2->Add("10:00:01: Infected file (Trojan.X) c:\\x.exe");
  EXPECT_EQ(host->WindowText(*f.Memo2),
            "10:00:00: Scanning, please wait...\r\n10:00:01: Infected file (Trojan.X) c:\\x.exe\r\n");
  f.List1->Add("Infected with Trojan.X");
  f.List1->SetChecked(0, true);
  EXPECT_EQ(host->WindowRows(*f.List1), std::vector<std::string>{"Infected with Trojan.X"});
  f.Memo2->Clear();
  EXPECT_EQ(host->WindowText(*f.Memo2), "");

  f.Find("Button2")->SetEnabled(true);
  EXPECT_TRUE(host->WindowEnabled(*f.Find("xpButton5")));

  host->ClickWindow(*f.Find("Button19"));
  host->ClickWindow(*f.Find("Button17"));
  host->ProcessMessages();
  EXPECT_TRUE(p.app.Terminated());
  EXPECT_FALSE(host->WindowShown(f));
}

// The general error report on the real windows: an exception that escapes a
// click or a worker's synchronised call reaches it, never the system's
// frames, and the windows go on.
TEST_F(Win32Host, AnExceptionInAHandlerReachesTheErrorReportAndTheWindowsGoOn) {
  std::vector<std::string> seen;
  p.app.OnException = [&](const std::string& message) { seen.push_back(message); };
  auto& f = *p.form1;
  auto* about = f.Find("Button18");
  const auto click = about->OnClick;
  about->OnClick = [] { throw std::runtime_error("The command broke."); };
  host->ClickWindow(*about);
  host->ProcessMessages();
  std::thread worker([&] { host->Synchronize([] { throw std::bad_alloc(); }); });
  for (int i = 0; i < 10000 && seen.size() < 2; ++i) {
    host->ProcessMessages();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  worker.join();
  EXPECT_EQ(seen, (std::vector<std::string>{"The command broke.", "Out of memory."}));
  about->OnClick = click;
  host->ClickWindow(*about);
  host->ProcessMessages();
  EXPECT_EQ(f.Note1->ActivePage(), 4);
}

TEST_F(Win32Host, EveryPageAndDialogRendersAndTheTranslationApplies) {
  auto& f = *p.form1;

  // Each page shows its own controls and none of the others'.
  const std::vector<std::vector<const char*>> pages = {
      {"Button4", "Button17", "Memo1", "Label2"},
      {"Button1", "Button2", "List1", "Memo2", "xpButton5"},
      {"Button11", "List2", "cbx1"},
      {"Button14", "List3", "xpButton14"},
      {"Label5", "xpButton25", "Button19"},
      {"ListView2", "xpButton9", "xpButton13"}};
  for (int page = 0; page < 6; ++page) {
    f.ShowPage(page);
    host->ProcessMessages();
    for (int other = 0; other < 6; ++other)
      for (const char* name : pages[other])
        EXPECT_EQ(host->WindowShown(*f.Find(name)), other == page) << name << " on page " << page;
  }
  EXPECT_EQ(host->WindowText(*f.Find("cbx1")), "Delete process from your hard drive!");

  // The action dialog: a real window that disables the main one.
  p.form2->Show();
  host->ProcessMessages();
  EXPECT_TRUE(host->WindowShown(*p.form2));
  EXPECT_FALSE(host->WindowEnabled(f));
  host->ClickWindow(*p.form2->c1);  // the user clears the check box
  EXPECT_FALSE(p.form2->c1->Checked());
  host->ClickWindow(*p.form2->Find("Button2"));
  host->ProcessMessages();
  EXPECT_FALSE(host->WindowShown(*p.form2));
  EXPECT_TRUE(host->WindowEnabled(f));
  EXPECT_EQ(app::ReadActionDialogOption(machine->Reg()), false);

  // The language window lists the shipped translation; applying it changes
  // the real captions.
  f.ShowPage(4);
  host->ClickWindow(*f.Find("xpButton25"));
  host->ProcessMessages();
  EXPECT_TRUE(host->WindowShown(*p.formL));
  EXPECT_FALSE(host->WindowEnabled(*p.formL->xpButton1));
  EXPECT_EQ(host->WindowRows(*p.formL->List1), std::vector<std::string>{"German.vlng"});
  p.formL->List1->SetItemIndex(0);
  EXPECT_TRUE(host->WindowEnabled(*p.formL->xpButton1));
  host->ClickWindow(*p.formL->xpButton1);
  host->ProcessMessages();
  EXPECT_FALSE(host->WindowShown(*p.formL));
  EXPECT_EQ(host->WindowText(*f.Find("Button19")), "Zur\xFC" "ck");
  EXPECT_EQ(host->WindowText(*f.Find("xpButton25")), "Sprache w\xE4" "hlen");
  EXPECT_NE(host->WindowText(*f.sb1).find("Letzte Aktualisierung: "), std::string::npos);
  EXPECT_EQ(app::ReadLanguageOption(machine->Reg()), "German.vlng");

  // Leave the prefix's profile as a fresh one.
  machine->Reg().Open(platform::Hive::CurrentUser, app::kOptionsKey, platform::keyaccess::kAllAccess)
      ->DeleteValue("Language");
  machine->Reg().Open(platform::Hive::CurrentUser, app::kActionDialogKey,
                      platform::keyaccess::kAllAccess)
      ->DeleteValue("0");
}

}  // namespace
