// Windows that let messages run in the middle of a command, against faults a
// careful reviewer found: the quarantine's rows, the start-up manager's
// question, the services' menu and waits, the start-up value removal and the
// ignore lists' files.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "app/fix_ui.h"
#include "engine/startup_registry.h"
#include "ignore/ignore_window.h"
#include "startup/services.h"
#include "startup/u_svc.h"
#include "tests/unit/startup_fixture.h"
#include "undo/undo_journal.h"

namespace {

using platform::Hive;
using Texts = std::vector<std::string>;
const std::string kRun = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

class WindowGuardTest : public StartupFixture {
 protected:
  std::string Read(const std::string& path) {
    std::string bytes;
    platform::ReadWholeFile(machine.Files(), path, bytes);
    return bytes;
  }
  bool Exists(const std::string& path) { return platform::FileExists(machine.Files(), path); }
  void WriteRegBase(const std::string& text) { WriteFile(std::string(kFolder) + "RegBase.rgk", text); }
};

// Rows A and B checked, C not; a refresh while A is copied back rebuilds the
// rows (all checked again). The restore still acts on A and B alone, and
// never writes over what now lies at C's path.
TEST_F(WindowGuardTest, QuarantineRestoreActsOnTheEntriesThatWereChecked) {
  for (const char* name : {"a", "b", "c"}) WriteFile(std::string("C:\\q\\") + name + ".txt", name);
  auto p = StartProgram();
  auto& f = *p->form9;
  for (const char* name : {"a", "b", "c"}) {
    const std::string path = std::string("C:\\q\\") + name + ".txt";
    ASSERT_TRUE(f.store.Add(path, "Task", ""));
    machine.Files().DeleteFile(path);
  }
  WriteFile("C:\\q\\c.txt", "the user's new c");
  f.Show();
  f.List1->SetChecked(2, false);
  bool refreshed = false;
  f.store.pump = [&] {
    if (!refreshed) {
      refreshed = true;
      f.Refresh();
    }
  };
  host.Answer(ui::kIdYes, "Do you want to restore selected tasks?", "Question");
  host.Answer(ui::kIdOk, "Selected tasks have been restored!", "Information");
  f.xpButton2Click();
  EXPECT_TRUE(refreshed);
  EXPECT_EQ(Read("C:\\q\\a.txt"), "a");
  EXPECT_EQ(Read("C:\\q\\b.txt"), "b");
  EXPECT_EQ(Read("C:\\q\\c.txt"), "the user's new c");
  EXPECT_FALSE(f.store.Contains("C:\\q\\a.txt"));
  EXPECT_FALSE(f.store.Contains("C:\\q\\b.txt"));
  EXPECT_TRUE(f.store.Contains("C:\\q\\c.txt"));
  Texts captions;
  for (const auto& r : f.List1->Items()) captions.push_back(r.caption);
  EXPECT_EQ(captions, (Texts{"File restored...", "File restored...", "C:\\q\\c.txt"}));
}

// Clear deletes every copy even when each deletion's messages re-read the
// list.
TEST_F(WindowGuardTest, QuarantineClearWhileTheListIsReadAgain) {
  for (const char* name : {"a", "b", "c"}) WriteFile(std::string("C:\\q\\") + name + ".txt", name);
  auto p = StartProgram();
  auto& f = *p->form9;
  std::vector<std::string> copies;
  for (const char* name : {"a", "b", "c"}) {
    ASSERT_TRUE(f.store.Add(std::string("C:\\q\\") + name + ".txt", "Task", ""));
    copies.push_back(f.store.Entries().back().StoredPath);
  }
  f.Show();
  f.store.pump = [&] { f.Refresh(); };
  host.Answer(ui::kIdYes, "Do you want to clear quarantine?", "Question");
  host.Answer(ui::kIdOk, "Quarantine cleared!", "Klaruvex Pro v4 - SE");
  f.xpButton5Click();
  for (const auto& c : copies) EXPECT_FALSE(Exists(c)) << c;
  EXPECT_FALSE(Exists(f.store.IndexPath()));
  EXPECT_TRUE(f.List1->Items().empty());
}

// A refresh while the question before Remove is open puts another entry at
// the row's place: the entry the user was asked about is the one removed.
TEST_F(WindowGuardTest, StartupRemoveFindsItsRowAgainAfterTheQuestion) {
  Set(Hive::CurrentUser, kRun, "a", "C:\\a.exe");
  Set(Hive::LocalMachine, kRun, "z", "C:\\z.exe");
  auto p = StartProgram();
  auto& m = *p->frmMain;
  m.Show();
  m.PageControl->SetActivePage(0);
  m.ListView1->ClickRow(1, false);
  host.AnswerAfter(
      [&] {
        Set(Hive::CurrentUser, kRun, "b", "C:\\b.exe");
        m.LoadStartupPrograms();
      },
      ui::kIdYes, "Remove [z] from this list?", "This action can not be undone!");
  m.Find("mnuDel")->Click();
  EXPECT_FALSE(Get(Hive::LocalMachine, kRun, "z"));
  EXPECT_EQ(Get(Hive::CurrentUser, kRun, "a"), "C:\\a.exe");
  EXPECT_EQ(Get(Hive::CurrentUser, kRun, "b"), "C:\\b.exe");
  EXPECT_EQ(Rows(*m.ListView1), (Texts{"[x] a|C:\\a.exe|HKCU|c:\\a.exe", "[x] b|C:\\b.exe|HKCU|c:\\b.exe"}));

  // A row gone meanwhile is not looked for elsewhere.
  m.ListView1->ClickRow(0, false);
  host.AnswerAfter([&] { m.ListView1->RemoveItem(0); }, ui::kIdYes, "Remove [a] from this list?",
                   "This action can not be undone!");
  m.Find("mnuDel")->Click();
  EXPECT_EQ(Get(Hive::CurrentUser, kRun, "a"), "C:\\a.exe");
  EXPECT_EQ(Get(Hive::CurrentUser, kRun, "b"), "C:\\b.exe");
}

// The services list's right-click menu changes no start type where the
// "Startup mode" button is off (the program's own service).
TEST_F(WindowGuardTest, ServiceMenuFollowsTheStartupModeButton) {
  platform::sim::SimService own;
  own.displayName = "Velmorix";
  own.keyName = "vx";
  own.binaryPath = "C:\\vx.exe";
  own.state = platform::svc::kRunning;
  own.startType = platform::svc::kAutoStart;
  machine.SimSvc().Add(own);
  auto p = StartProgram();
  auto& m = *p->frmMain;
  m.Show();
  m.PageControl->SetActivePage(1);
  auto& tab = m.Get<ui::ListView>("ListView2");
  ASSERT_EQ(tab.Items().size(), 1u);
  tab.SetSelected(0, true);
  EXPECT_FALSE(m.Find("cmdServiceChangeStartupMode")->Enabled());
  tab.popupMenu->Popup();
  for (const char* item : {"mnuAutomatic", "mnuManual", "mnuDisabled"}) {
    EXPECT_FALSE(m.Find(item)->Enabled()) << item;
    m.Find(item)->Click();
  }
  startup::mnuServiceStartupTypeClick(m, platform::svc::kDisabled);
  EXPECT_EQ(machine.SimSvc().Get("vx")->startType, platform::svc::kAutoStart);
  EXPECT_TRUE(machine.SimSvc().Log().empty());
  EXPECT_EQ(tab.Items()[0].subItems[2], "Automatic");
}

// A service whose program crashes while it starts, having reported no
// progress, is stopped for good: the wait ends at the first look that says
// so, not after thirty seconds.
TEST_F(WindowGuardTest, ServiceWaitEndsWhenNoLongerPending) {
  platform::sim::SimService s;
  s.displayName = s.keyName = "Crashes";
  s.binaryPath = "C:\\crash.exe";
  s.pendingQueries = 3;
  s.endsAs = platform::svc::kStopped;
  s.checkPointStays = true;
  machine.SimSvc().Add(s);
  std::uint32_t slept = 0;
  EXPECT_FALSE(startup::SvcStart(machine.SimSvc(), "", "Crashes", [&](std::uint32_t ms) { slept += ms; }));
  EXPECT_EQ(slept, 3 * startup::kSvcMinPollMs);
}

// A registry whose start-up value is written back as soon as it is deleted,
// as a watchdog does.
class WatchdogRegistry final : public platform::Registry {
 public:
  explicit WatchdogRegistry(platform::Registry& inner) : inner_(inner) {}
  int deletes = 0;
  std::unique_ptr<platform::RegistryKey> Open(Hive hive, std::string_view path, std::uint32_t access,
                                              platform::Status* error) override {
    auto k = inner_.Open(hive, path, access, error);
    return k ? std::make_unique<Key>(std::move(k), deletes) : nullptr;
  }
  std::unique_ptr<platform::RegistryKey> Create(Hive hive, std::string_view path,
                                                std::uint32_t access, platform::Status* error) override {
    return inner_.Create(hive, path, access, error);
  }
  platform::Status DeleteKey(Hive hive, std::string_view path) override {
    return inner_.DeleteKey(hive, path);
  }

 private:
  class Key final : public platform::RegistryKey {
   public:
    Key(std::unique_ptr<platform::RegistryKey> k, int& deletes) : k_(std::move(k)), deletes_(deletes) {}
    std::vector<std::string> SubkeyNames() override { return k_->SubkeyNames(); }
    std::vector<std::string> ValueNames() override { return k_->ValueNames(); }
    std::optional<platform::RegValue> Query(std::string_view name) override { return k_->Query(name); }
    platform::Status Set(std::string_view name, platform::ValueType type, std::string_view data) override {
      return k_->Set(name, type, data);
    }
    platform::Status DeleteValue(std::string_view name) override {
      const auto was = k_->Query(name);
      const platform::Status s = k_->DeleteValue(name);
      // Stops after a thousand, so an unbounded removal ends too.
      if (s == platform::kOk && was && ++deletes_ < 1000) k_->Set(name, was->type, was->data);
      return s;
    }

   private:
    std::unique_ptr<platform::RegistryKey> k_;
    int& deletes_;
  };
  platform::Registry& inner_;
};

class WatchdogMachine final : public platform::Machine {
 public:
  explicit WatchdogMachine(platform::sim::SimMachine& m) : m_(m), reg(m.Reg()) {}
  platform::Registry& Reg() override { return reg; }
  platform::FileSystem& Files() override { return m_.Files(); }
  platform::Processes& Procs() override { return m_.Procs(); }
  platform::SystemInfo& Sys() override { return m_.Sys(); }
  platform::Shell& Sh() override { return m_.Sh(); }
  platform::Services& Svc() override { return m_.Svc(); }
  platform::Network& Net() override { return m_.Net(); }

 private:
  platform::sim::SimMachine& m_;

 public:
  WatchdogRegistry reg;
};

TEST_F(WindowGuardTest, StartupValueRemovalIsBoundedAndTellsWhatStays) {
  WriteRegBase("1\r\n1\r\n" + kRun + "\r\nnote\r\n");
  Set(Hive::CurrentUser, kRun, "w", "C:\\evil\\w.exe");
  Set(Hive::CurrentUser, kRun, "keep", "C:\\good.exe");
  WatchdogMachine watched(machine);
  std::vector<std::string> left;
  undo::Journal journal(watched, kFolder);
  undo::Backup backup(journal, "Delete start-up values");
  EXPECT_TRUE(engine::RemoveStartupValuesFor(watched, kFolder, "C:\\evil\\w.exe", backup, &left));
  EXPECT_EQ(watched.reg.deletes, engine::kMaxRemovalPasses - 1);
  // Each value deleted was kept first, the one written back each time too.
  EXPECT_EQ(backup.ItemCount(), std::size_t(engine::kMaxRemovalPasses - 1));
  EXPECT_EQ(left, Texts{"HKEY_CURRENT_USER\\" + kRun + "\\w"});
  EXPECT_EQ(Get(Hive::CurrentUser, kRun, "keep"), "C:\\good.exe");
}

// Fix names the start-up values it could not remove in the scan log.
TEST_F(WindowGuardTest, FixLogsTheStartupValuesThatStay) {
  WriteRegBase("1\r\n2\r\n" + kRun + "\r\nnote\r\n");
  WriteFile("C:\\evil\\w.exe", "MZ worm");
  Set(Hive::LocalMachine, kRun, "w", "C:\\evil\\w.exe");
  auto p = StartProgram();
  auto& f = *p->form1;
  f.scan.timeText = [] { return std::string("10:00:00"); };
  machine.SimReg().SetUserIsAdmin(false);
  AddCheckedFinding(*p, "C:\\evil\\w.exe", "W");
  app::FixOptions options;
  options.boxes = false;
  app::RunFix(*p, options);
  EXPECT_FALSE(Exists("C:\\evil\\w.exe"));
  const Texts log = f.Memo2->Lines();
  EXPECT_NE(std::find(log.begin(), log.end(),
                      "10:00:00: Cannot remove start-up value HKEY_LOCAL_MACHINE\\" + kRun + "\\w"),
            log.end());
}

class IgnoreRepairTest : public WindowGuardTest {
 protected:
  const std::string list = std::string(kFolder) + "FileIgnoreL.fil";
  const std::string entry = "Folder\r\nC:\\A;\r\n\r\n\r\n0\r\n0\r\n0\r\n1\r\n";
  std::string Question(const char* which, const std::string& path, const char* name, int count) {
    return std::string("The ") + which + " ignore list \"" + path +
           "\" could not be read whole, so changes to it are not saved.\r\rKeep the damaged file "
           "as \"" + name + ".damaged\" and save the list as it could be read (" +
           std::to_string(count) + (count == 1 ? " entry" : " entries") + ")?";
  }
};

// A damaged list file: the user is told when the window opens and when an
// entry is added; a repair keeps the damaged file and saves what was read.
TEST_F(IgnoreRepairTest, DamagedListIsToldAndRepairedOnRequest) {
  const std::string damaged = "2\r\n" + entry + "Folder\r\nC:\\B;\r\n";  // the second entry is cut
  WriteFile(list, damaged);
  auto p = StartProgram();
  auto& w = *p->formIG;
  host.Answer(ui::kIdNo, Question("file", list, "FileIgnoreL.fil", 1), "Question");
  w.Show();
  EXPECT_EQ(w.List1->Items(), Texts{"C:\\A;"});

  host.Answer(ui::kIdYes, Question("file", list, "FileIgnoreL.fil", 2), "Question");
  host.Answer(ui::kIdOk, "The list was saved; the damaged file is kept as \"" + list + ".damaged\".",
              "Information");
  w.AddFolder("C:\\New");
  EXPECT_EQ(Read(list + ".damaged"), damaged);
  std::vector<ignore::TFileIgnoreList> saved;
  ASSERT_TRUE(ignore::LoadFileIgnoreList(machine.Files(), list, saved));
  ASSERT_EQ(saved.size(), 2u);
  EXPECT_EQ(saved[1].IgnoredPath, "C:\\New;");
  // From now on the list is saved as usual.
  w.AddFolder("C:\\Later");
  w.Close();
  ASSERT_TRUE(ignore::LoadFileIgnoreList(machine.Files(), list, saved));
  EXPECT_EQ(saved.size(), 3u);
  EXPECT_EQ(host.PendingAnswers(), 0u);
}

// A list file that goes missing leaves the list as it was, and closing the
// window writes it again.
TEST_F(IgnoreRepairTest, MissingFileLeavesTheListInMemory) {
  WriteFile(list, "1\r\n" + entry);
  auto p = StartProgram();
  auto& w = *p->formIG;
  w.Show();
  w.Close();
  machine.Files().DeleteFile(list);
  w.Show();
  EXPECT_EQ(w.List1->Items(), Texts{"C:\\A;"});
  w.Close();
  EXPECT_EQ(Read(list), "1\r\n" + entry);
}

}  // namespace
