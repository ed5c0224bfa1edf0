// Every command that removes or changes something for the user keeps it in
// the undo journal first, and undo puts it back: Fix and the unattended
// /fix, /quarantine and /undo, the Report Manager, the start-up manager, the
// services, the process page and the main window's start-up values; and the
// Quarantine Manager's list of backups.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "app/fix_ui.h"
#include "app/language.h"
#include "app/unattended.h"
#include "engine/helpers.h"
#include "platform/sim/sim_clock.h"
#include "tests/unit/startup_fixture.h"
#include "undo/undo_journal.h"

namespace {

using platform::Hive;
using platform::ValueType;
namespace svc = platform::svc;
using Texts = std::vector<std::string>;

const std::string kRun = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::string kBackups = std::string(kFolder) + "Backups";
const std::string kClass =
    "SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E96B-E325-11CE-BFC1-08002BE10318}";

class UndoActionsTest : public StartupFixture {
 public:
  // The cases of a table reach these through a reference to the fixture.
  using ProgramFixture::host;
  using SimFixture::machine;
  using SimFixture::WriteFile;
  using StartupFixture::Get;
  using StartupFixture::Set;

  UndoActionsTest() {
    platform::sim::SetLocalTime(platform::LocalTime{2026, 12, 7, 13, 5, 12});
    WriteFile(std::string(kFolder) + "RegBase.rgk", "1\r\n1\r\n" + kRun + "\r\nuser\r\n");
  }
  ~UndoActionsTest() override { platform::sim::SetLocalTime(std::nullopt); }

  void Database(const std::vector<std::string>& rules) {
    std::string text = "Database date: 2026-12-01 (r0001)\r\n[Start]\r\n";
    for (const auto& r : rules) text += r + "\r\n";
    WriteFile(std::string(kFolder) + "files.dat",
              engine::PackDatabase(text + "_end\r\n", update::LanguageKey()));
  }
  int Unattended(std::vector<std::string> args, nlohmann::json* report = nullptr) {
    host.onUnexpected = nullptr;
    args.push_back("/report");
    args.push_back("C:\\report.json");
    const int code = app::RunProgram(machine, args, [] { return nullptr; });
    std::string text;
    EXPECT_EQ(platform::ReadWholeFile(machine.Files(), "C:\\report.json", text), platform::kOk);
    if (report) *report = nlohmann::json::parse(text, nullptr, false);
    return code;
  }
  std::string Read(const std::string& path) {
    std::string bytes;
    platform::ReadWholeFile(machine.Files(), path, bytes);
    return bytes;
  }
  bool Exists(const std::string& path) {
    return machine.Files().GetAttributes(path) != platform::FileSystem::kInvalidAttributes;
  }
  std::optional<platform::RegValue> Value(Hive hive, const std::string& key, const std::string& name) {
    auto k = machine.Reg().Open(hive, key, platform::keyaccess::kRead);
    return k ? k->Query(name) : std::nullopt;
  }
  std::vector<std::string> Backups(app::Program& p) {
    std::vector<std::string> out;
    for (const auto& b : p.journal->List())
      out.push_back(b.action + " " + std::to_string(b.items) + (b.error.empty() ? "" : " " + b.error));
    return out;
  }
  // Ticks the Report Manager's start-up value row naming `data`.
  void TickRegStartup(app::Program& p, const std::string& data) {
    auto& list = *p.formR->List1;
    for (std::size_t i = 0; i < list.Items().size(); ++i)
      if (list.Items()[i].caption == "RegStartup" && list.Items()[i].subItems[0] == data)
        list.ClickRow(static_cast<int>(i), true);
  }
};

// The planted findings of the unattended runs: a program, a file, a folder
// with its contents and a Run value that starts the program.
class UnattendedUndoTest : public UndoActionsTest {
 protected:
  void SetUp() override {
    WriteFile("C:\\bad\\worm.exe", kWorm);
    WriteFile("C:\\bad\\note.txt", "");
    WriteFile("C:\\bad\\nest\\a.dll", "nested library");
    WriteFile("C:\\bad\\nest\\deeper\\b.dat", std::string(100000, '\xB7'));
    auto k = machine.Reg().Create(Hive::CurrentUser, kRun, platform::keyaccess::kAllAccess);
    ASSERT_EQ(k->Set("Worm", ValueType::ExpandString, std::string("C:\\bad\\worm.exe -q\0", 19)),
              platform::kOk);
    Database({"[Worm]:C:\\bad\\worm.exe", "[Note]:C:\\bad\\note.txt", "[Nest]:C:\\bad\\nest\\\\"});
  }
  void ExpectEverythingInPlace() {
    EXPECT_EQ(Read("C:\\bad\\worm.exe"), kWorm);
    EXPECT_TRUE(platform::FileExists(machine.Files(), "C:\\bad\\note.txt"));
    EXPECT_EQ(Read("C:\\bad\\nest\\a.dll"), "nested library");
    EXPECT_EQ(Read("C:\\bad\\nest\\deeper\\b.dat"), std::string(100000, '\xB7'));
    auto v = Value(Hive::CurrentUser, kRun, "Worm");
    ASSERT_TRUE(v);
    EXPECT_EQ(v->type, ValueType::ExpandString);
    EXPECT_EQ(v->data, std::string("C:\\bad\\worm.exe -q\0", 19));
  }
  const std::string kWorm = std::string("MZ\x90\0\x03 harmless worm sample", 26);
};

TEST_F(UnattendedUndoTest, FixThenUndoPutsEverythingBack) {
  nlohmann::json r;
  ASSERT_EQ(Unattended({"/fix"}, &r), app::kExitFound);
  EXPECT_EQ(r["fixed"], true);
  EXPECT_EQ(r["backup"], "20261207-130512");
  EXPECT_FALSE(Exists("C:\\bad\\worm.exe"));
  EXPECT_FALSE(Exists("C:\\bad\\nest"));
  EXPECT_FALSE(Value(Hive::CurrentUser, kRun, "Worm"));
  EXPECT_TRUE(Exists(kBackups + "\\20261207-130512\\Registry.reg"));

  ASSERT_EQ(Unattended({"/UNDO"}, &r), app::kExitClean);
  EXPECT_EQ(r["result"], "undone");
  EXPECT_EQ(r["backup"], "20261207-130512");
  EXPECT_EQ(r["undo"]["action"], "Fix");
  EXPECT_EQ(r["undo"]["removed"], true);
  EXPECT_EQ(r["undo"]["items"].size(), 7u);  // four files, two folders, the Run value
  for (const auto& i : r["undo"]["items"]) EXPECT_EQ(i["result"], "restored") << i;
  ExpectEverythingInPlace();
  EXPECT_FALSE(Exists(kBackups + "\\20261207-130512"));

  ASSERT_EQ(Unattended({"/undo"}, &r), app::kExitFailed);
  EXPECT_EQ(r["result"], "nothing to undo");
  EXPECT_EQ(r["error"], "There is nothing to undo.");
  EXPECT_TRUE(r["backup"].is_null());
}

TEST_F(UnattendedUndoTest, BackupThatCannotBeWrittenLeavesEveryFindingInPlace) {
  WriteFile(kBackups, "a file where the folder should be");
  nlohmann::json r;
  ASSERT_EQ(Unattended({"/fix"}, &r), app::kExitFailed);
  EXPECT_EQ(r["result"], "failed");
  EXPECT_EQ(r["error"],
            "6 findings were left in place because they could not be backed up (see each "
            "finding's \"error\").");
  EXPECT_TRUE(r["backup"].is_null());
  EXPECT_EQ(r["fixed"], false);
  ASSERT_EQ(r["findings"].size(), 6u);
  const std::string why =
      "left in place: it could not be backed up: the backup folder " + kBackups +
      " cannot be made: a file of that name is in the way";
  for (const auto& f : r["findings"]) {
    EXPECT_EQ(f["error"], why) << f;
    EXPECT_EQ(f["action"], "none");
  }
  ExpectEverythingInPlace();
  EXPECT_EQ(Unattended({"/undo"}, &r), app::kExitFailed);
}

TEST_F(UnattendedUndoTest, UndoByNameAndConflictsExitOne) {
  nlohmann::json r;
  ASSERT_EQ(Unattended({"/fix"}, &r), app::kExitFound);
  // A later fix of something else is the newest; the first is undone by name.
  platform::sim::SetLocalTime(platform::LocalTime{2026, 12, 7, 14, 0, 0});
  WriteFile("C:\\later\\x.exe", "later sample");
  Database({"[Later]:C:\\later\\x.exe"});
  ASSERT_EQ(Unattended({"/fix"}, &r), app::kExitFound);
  EXPECT_EQ(r["backup"], "20261207-140000");
  WriteFile("C:\\bad\\worm.exe", "a new program at the same place");
  ASSERT_EQ(Unattended({"/undo", "20261207-130512"}, &r), app::kExitFound);
  EXPECT_EQ(r["result"], "conflicts");
  EXPECT_FALSE(r.contains("error"));
  EXPECT_EQ(r["undo"]["removed"], false);
  int conflicts = 0;
  for (const auto& i : r["undo"]["items"])
    if (i["result"] == "conflict") {
      ++conflicts;
      EXPECT_EQ(i["item"], "file C:\\bad\\worm.exe");
      EXPECT_EQ(i["reason"], "another file is there now");
    }
  EXPECT_EQ(conflicts, 1);
  EXPECT_EQ(Read("C:\\bad\\worm.exe"), "a new program at the same place");
  EXPECT_EQ(Read("C:\\bad\\nest\\a.dll"), "nested library");
  EXPECT_FALSE(Exists("C:\\later\\x.exe"));
  EXPECT_EQ(Unattended({"/undo", "20990101-000000"}, &r), app::kExitFailed);
  EXPECT_EQ(r["error"], "There is no backup 20990101-000000 to undo.");
}

TEST_F(UnattendedUndoTest, UndoStandsAlone) {
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"/undo", "/scan"}, {"/fix", "/undo"}, {"/undo", "/log"}, {"/undo", "/db", "x.dat"}})
    EXPECT_FALSE(app::ParseCommandLine(args)) << args[1];
  const auto undo = app::ParseCommandLine({"/undo", "20261207-130512", "/report", "C:\\r.json"});
  ASSERT_TRUE(undo);
  EXPECT_EQ(undo->undoId, "20261207-130512");
  EXPECT_FALSE(undo->scan);
}

// One rule for the exit codes: a step asked for that could not be done
// gives 2 with its reason, whatever was found.
TEST_F(UnattendedUndoTest, AStepThatFailsExitsTwoWithTheFindingsKept) {
  nlohmann::json r;
  // The log cannot be written: 2, though something was found.
  ASSERT_EQ(Unattended({"/scan", "/log", "C:\\nofolder\\log.txt"}, &r), app::kExitFailed);
  EXPECT_EQ(r["findings"].size(), 6u);
  EXPECT_FALSE(r["error"].get<std::string>().empty());
  // Nothing found, a fix asked: 0, and no backup.
  Database({"[Nothing]:C:\\nowhere.exe"});
  ASSERT_EQ(Unattended({"/fix"}, &r), app::kExitClean);
  EXPECT_TRUE(r["backup"].is_null());
  EXPECT_TRUE(Backups(*StartProgram()).empty());
}

// An add refused because the path is in quarantine counts as stored only
// when the stored file is this one; otherwise the fix's backup keeps it.
TEST_F(UndoActionsTest, QuarantineThatHoldsThePathAlready) {
  struct Case {
    const char* name;
    std::string held;  // the file the quarantine holds from that path
    const char* action;
    bool note;
  } cases[] = {{"the same file", "MZ sample", "quarantined and removed", false},
               {"an older file", "MZ older sample", "removed", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(root / "Program Files" / "Klaruvex Pro" / "Quarantine");
    std::filesystem::remove_all(root / "Program Files" / "Klaruvex Pro" / "Backups");
    std::filesystem::remove(root / "Program Files" / "Klaruvex Pro" / "Quarantine.info");
    WriteFile("C:\\bad\\x.exe", c.held);
    {
      auto p = StartProgram();
      ASSERT_TRUE(p->form9->store.Add("C:\\bad\\x.exe", "X", engine::Md5Hex(c.held)));
    }
    WriteFile("C:\\bad\\x.exe", "MZ sample");
    Database({"[X]:C:\\bad\\x.exe"});
    nlohmann::json r;
    ASSERT_EQ(Unattended({"/quarantine"}, &r), app::kExitFound);
    ASSERT_EQ(r["findings"].size(), 1u);
    const auto& f = r["findings"][0];
    EXPECT_EQ(f["action"], c.action);
    EXPECT_TRUE(f["error"].is_null());
    EXPECT_EQ(f.contains("note"), c.note);
    if (c.note) {
      EXPECT_EQ(f["note"], "the quarantine already holds another file from this path (MD5 " +
                               engine::Md5Hex(c.held) +
                               "); this file is kept in the backup 20261207-130512");
    }
    EXPECT_FALSE(Exists("C:\\bad\\x.exe"));
    // The quarantine keeps its one entry for the path, as it was.
    auto p = StartProgram();
    p->form9->store.Reload();
    ASSERT_EQ(p->form9->store.Entries().size(), 1u);
    EXPECT_EQ(p->form9->store.Entries()[0].Checksum, engine::Md5Hex(c.held));
    // Undo brings back the file that was removed, not the stored one.
    EXPECT_EQ(p->journal->Undo("").status, undo::UndoReport::Status::Done);
    EXPECT_EQ(Read("C:\\bad\\x.exe"), "MZ sample");
  }
}

// A file that cannot be read whole has no digest: it is never taken for the
// one the quarantine holds, even when that one was empty.
TEST_F(UndoActionsTest, QuarantineNeverTakesAnUnreadableFileForTheOneItHolds) {
  WriteFile("C:\\bad\\x.exe", "");
  {
    auto p = StartProgram();
    ASSERT_TRUE(p->form9->store.Add("C:\\bad\\x.exe", "X", engine::Md5Hex("")));
  }
  WriteFile("C:\\bad\\x.exe", "MZ sample");
  machine.SimFiles().FailReads("C:\\bad\\x.exe", 4);
  Database({"[X]:C:\\bad\\x.exe"});
  nlohmann::json r;
  ASSERT_EQ(Unattended({"/quarantine"}, &r), app::kExitFailed);  // it could not be backed up
  ASSERT_EQ(r["findings"].size(), 1u);
  const auto& f = r["findings"][0];
  EXPECT_EQ(f["action"], "none");
  EXPECT_EQ(f["note"], "the quarantine already holds another file from this path (MD5 " +
                           engine::Md5Hex("") + "); this file was left in place");
  EXPECT_TRUE(Exists("C:\\bad\\x.exe"));
}

TEST_F(UndoActionsTest, FixKeepsWhatCannotBeBackedUpAndSaysWhy) {
  WriteFile("C:\\evil\\readable.exe", "MZ readable sample");
  WriteFile("C:\\evil\\unreadable.exe", "MZ sample on a failing disk");
  auto k = machine.Reg().Create(Hive::CurrentUser, kRun, platform::keyaccess::kAllAccess);
  k->WriteString("Readable", "C:\\evil\\readable.exe");
  auto p = StartProgram();
  p->form1->scan.timeText = [] { return std::string("10:00:00"); };
  AddCheckedFinding(*p, "C:\\evil\\unreadable.exe", "Bad.One");
  AddCheckedFinding(*p, "C:\\evil\\readable.exe", "Bad.Two");
  machine.SimFiles().FailReads("C:\\evil\\unreadable.exe", 5);
  host.Answer(ui::kIdYes, "Do you want to fix selected alerts?", "Question");
  host.Answer(ui::kIdOk,
              "These items were left in place because they could not be backed up:\r"
              "C:\\evil\\unreadable.exe: it cannot be copied into the backup: it could not be read whole",
              "Klaruvex Pro v4 - SE");
  host.Answer(ui::kIdOk, "1 alerts have been cleaned!\r\rNotes:\r" + p->msg[132], "Information");
  p->form1->Find("Button2")->Click();
  EXPECT_EQ(host.PendingAnswers(), 0u);
  EXPECT_EQ(p->form1->List1->Items()[0], "[Err] C:\\evil\\unreadable.exe");
  const auto& log = p->form1->Memo2->Lines();
  EXPECT_NE(std::find(log.begin(), log.end(),
                      "10:00:00: Cannot back up C:\\evil\\unreadable.exe (it cannot be copied into "
                      "the backup: it could not be read whole), it was left in place."),
            log.end());
  EXPECT_TRUE(Exists("C:\\evil\\unreadable.exe"));
  EXPECT_FALSE(Exists("C:\\evil\\readable.exe"));
  EXPECT_FALSE(Value(Hive::CurrentUser, kRun, "Readable"));
  EXPECT_EQ(Backups(*p), Texts{"Fix 2"});
  EXPECT_EQ(p->journal->Undo("").status, undo::UndoReport::Status::Done);
  EXPECT_EQ(Read("C:\\evil\\readable.exe"), "MZ readable sample");
  EXPECT_EQ(Value(Hive::CurrentUser, kRun, "Readable")->data,
            std::string("C:\\evil\\readable.exe\0", 21));
}

TEST_F(UndoActionsTest, FixOnAFullDiskRemovesNothing) {
  WriteFile("C:\\evil\\a.exe", "MZ first " + std::string(200, 'a'));
  WriteFile("C:\\evil\\b.exe", "MZ second " + std::string(200, 'b'));
  auto p = StartProgram();
  AddCheckedFinding(*p, "C:\\evil\\a.exe", "A");
  AddCheckedFinding(*p, "C:\\evil\\b.exe", "B");
  // The backup's first lines fit; the copies do not.
  machine.SimFiles().FailWrites(kBackups, 100);
  std::vector<app::FindingOutcome> outcomes;
  app::FixOptions o;
  o.boxes = false;
  o.outcomes = &outcomes;
  app::RunFix(*p, o);
  EXPECT_TRUE(Exists("C:\\evil\\a.exe"));
  EXPECT_TRUE(Exists("C:\\evil\\b.exe"));
  for (const auto& out : outcomes) {
    EXPECT_TRUE(out.notBackedUp);
    EXPECT_EQ(out.error,
              "left in place: it could not be backed up: it cannot be copied into the backup: the "
              "disk is full");
  }
  EXPECT_TRUE(Backups(*p).empty());
}

// The commands of the other windows, each with what it changes and what
// undo brings back.
// The commands of the other windows, each with what it changes and what
// undo brings back (which is what was there before).
struct WindowCommand {
  const char* action;
  std::function<void(UndoActionsTest&)> plant;
  std::function<void(UndoActionsTest&, app::Program&)> act;
  std::function<void(UndoActionsTest&)> changed;  // what the command did
  std::function<void(UndoActionsTest&)> back;     // as it was before
};

std::vector<WindowCommand> WindowCommands() {
  const std::string sys = "C:\\WINDOWS\\system32\\";
  return {
      {"Switch start-up entry off",
       [](UndoActionsTest& t) { t.Set(Hive::CurrentUser, kRun, "App", "c:\\app.exe /tray"); },
       [](UndoActionsTest&, app::Program& p) {
         p.frmMain->Show();
         p.frmMain->ListView1->ClickRow(0, true);
       },
       [](UndoActionsTest& t) {
         EXPECT_FALSE(t.Get(Hive::CurrentUser, kRun, "App"));
         EXPECT_EQ(t.Get(Hive::CurrentUser, kRun + "_Bak", "App"), "c:\\app.exe /tray");
       },
       [](UndoActionsTest& t) {
         EXPECT_EQ(t.Get(Hive::CurrentUser, kRun, "App"), "c:\\app.exe /tray");
         EXPECT_FALSE(t.Get(Hive::CurrentUser, kRun + "_Bak", "App"));
       }},
      {"Remove from start-up list",
       [](UndoActionsTest& t) {
         t.Set(Hive::CurrentUser, kRun, "App", "c:\\app.exe");
         t.Set(Hive::CurrentUser, kRun + "_Bak", "App", "c:\\old.exe");
       },
       [](UndoActionsTest& t, app::Program& p) {
         p.frmMain->Show();
         p.frmMain->ListView1->ClickRow(0, false);
         t.host.Answer(ui::kIdYes);
         p.frmMain->Find("mnuDel")->Click();
       },
       [](UndoActionsTest& t) {
         EXPECT_FALSE(t.Get(Hive::CurrentUser, kRun, "App"));
         EXPECT_FALSE(t.Get(Hive::CurrentUser, kRun + "_Bak", "App"));
       },
       [](UndoActionsTest& t) {
         EXPECT_EQ(t.Get(Hive::CurrentUser, kRun, "App"), "c:\\app.exe");
         EXPECT_EQ(t.Get(Hive::CurrentUser, kRun + "_Bak", "App"), "c:\\old.exe");
       }},
      {"Remove from start-up list",
       [](UndoActionsTest& t) {
         t.Set(Hive::CurrentUser, kRun.substr(0, kRun.size() - 3) + "Explorer\\Shell Folders",
               "Startup", "C:\\SU");
         t.WriteFile("C:\\SU\\tool.lnk", "link bytes");
       },
       [](UndoActionsTest& t, app::Program& p) {
         p.frmMain->Show();
         p.frmMain->ListView1_2->ClickRow(0, false);
         t.host.Answer(ui::kIdYes);
         p.frmMain->Find("mnuDel")->Click();
       },
       [](UndoActionsTest& t) { EXPECT_FALSE(t.Exists("C:\\SU\\tool.lnk")); },
       [](UndoActionsTest& t) { EXPECT_EQ(t.Read("C:\\SU\\tool.lnk"), "link bytes"); }},
      {"Change System.ini line",
       [](UndoActionsTest& t) {
         t.WriteFile("C:\\WINDOWS\\System.ini", "[boot]\r\n  Device=VMM32.VXD\r\nshell=x\r\n");
       },
       [](UndoActionsTest&, app::Program& p) {
         p.frmMain->Show();
         p.frmMain->PageControl->SetActivePage(2);
         p.frmMain->ListView4->ClickRow(0, true);
       },
       [](UndoActionsTest& t) {
         EXPECT_EQ(t.Read("C:\\WINDOWS\\System.ini"), "[boot]\r\n;device=vmm32.vxd\r\nshell=x\r\n");
       },
       [](UndoActionsTest& t) {
         EXPECT_EQ(t.Read("C:\\WINDOWS\\System.ini"), "[boot]\r\n  Device=VMM32.VXD\r\nshell=x\r\n");
       }},
      {"Disable keyboard filter",
       [sys](UndoActionsTest& t) {
         auto k = t.machine.Reg().Create(Hive::LocalMachine, kClass, platform::keyaccess::kAllAccess);
         k->Set("UpperFilters", ValueType::MultiString, std::string("kbdclass\0klog\0\0", 15));
         t.WriteFile(sys + "Drivers\\klog.sys", "driver");
       },
       [](UndoActionsTest& t, app::Program& p) {
         p.frmMain->Show();
         p.frmMain->PageControl->SetActivePage(2);
         p.frmMain->ListView3->ClickRow(0, false);
         t.host.Answer(ui::kIdYes, "Disable [klog] ?");
         p.frmMain->Find("mnuDel")->Click();
       },
       [sys](UndoActionsTest& t) {
         EXPECT_EQ(t.Value(Hive::LocalMachine, kClass, "UpperFilters")->data,
                   std::string("kbdclass\0\0", 10));
         EXPECT_EQ(t.Read(sys + "Drivers\\klog.sys.del"), "driver");
       },
       [sys](UndoActionsTest& t) {
         EXPECT_EQ(t.Value(Hive::LocalMachine, kClass, "UpperFilters")->data,
                   std::string("kbdclass\0klog\0\0", 15));
         EXPECT_EQ(t.Read(sys + "Drivers\\klog.sys"), "driver");
         EXPECT_FALSE(t.Exists(sys + "Drivers\\klog.sys.del"));
       }},
      {"Change start type",
       [](UndoActionsTest& t) {
         platform::sim::SimService s;
         s.keyName = "mail";
         s.displayName = "Mail";
         s.binaryPath = "C:\\mail.exe";
         s.startType = svc::kAutoStart;
         t.machine.SimSvc().Add(s);
       },
       [](UndoActionsTest&, app::Program& p) {
         p.frmMain->Show();
         p.frmMain->PageControl->SetActivePage(1);
         p.frmMain->Get<ui::ListView>("ListView2").SetSelected(0, true);
         p.frmMain->Find("mnuDisabled")->Click();
       },
       [](UndoActionsTest& t) { EXPECT_EQ(t.machine.SimSvc().Get("mail")->startType, svc::kDisabled); },
       [](UndoActionsTest& t) { EXPECT_EQ(t.machine.SimSvc().Get("mail")->startType, svc::kAutoStart); }},
      {"Delete process files",
       [](UndoActionsTest& t) {
         t.WriteFile("C:\\Apps\\tool.exe", "MZ a running tool");
         t.machine.SimProcs().Start("C:\\Apps\\tool.exe");
       },
       [](UndoActionsTest& t, app::Program& p) {
         auto& f = *p.form1;
         f.Find("Button8")->Click();
         f.cbx1->SetChecked(true);
         f.List2->SetChecked(0, true);
         t.host.Answer(ui::kIdYes, "Do you want to terminate selected processes?");
         f.Find("Button11")->Click();
       },
       [](UndoActionsTest& t) { EXPECT_FALSE(t.Exists("C:\\Apps\\tool.exe")); },
       [](UndoActionsTest& t) { EXPECT_EQ(t.Read("C:\\Apps\\tool.exe"), "MZ a running tool"); }},
      {"Delete start-up values",
       [](UndoActionsTest& t) { t.Set(Hive::CurrentUser, kRun, "Tray", "c:\\tray.exe"); },
       [](UndoActionsTest& t, app::Program& p) {
         auto& f = *p.form1;
         f.ShowPage(3);
         f.Button15Click();
         for (std::size_t i = 0; i < f.List3->Items().size(); ++i)
           f.List3->SetChecked(i, f.List3->Items()[i].caption == "Tray");
         t.host.Answer(ui::kIdYes, "Do you want to delete selected values?");
         t.host.Answer(ui::kIdOk, "Selected values successfully deleted!");
         f.Find("Button14")->Click();
       },
       [](UndoActionsTest& t) { EXPECT_FALSE(t.Get(Hive::CurrentUser, kRun, "Tray")); },
       [](UndoActionsTest& t) { EXPECT_EQ(t.Get(Hive::CurrentUser, kRun, "Tray"), "c:\\tray.exe"); }},
      {"Delete files",
       [](UndoActionsTest& t) {
         t.WriteFile("C:\\Tools\\tray.exe", "MZ tray program");
         t.Set(Hive::CurrentUser, kRun, "Tray", "C:\\Tools\\tray.exe");
       },
       [](UndoActionsTest& t, app::Program& p) {
         p.form1->Find("Button10")->Click();
         t.TickRegStartup(p, "C:\\Tools\\tray.exe");
         t.host.Answer(ui::kIdYes, "Do you want to delete selected items?");
         p.formR->Find("xpButton2")->Click();
       },
       [](UndoActionsTest& t) {
         EXPECT_FALSE(t.Exists("C:\\Tools\\tray.exe"));
         EXPECT_FALSE(t.Get(Hive::CurrentUser, kRun, "Tray"));
       },
       [](UndoActionsTest& t) {
         EXPECT_EQ(t.Read("C:\\Tools\\tray.exe"), "MZ tray program");
         EXPECT_EQ(t.Get(Hive::CurrentUser, kRun, "Tray"), "C:\\Tools\\tray.exe");
       }},
      {"Delete values",
       [](UndoActionsTest& t) { t.Set(Hive::CurrentUser, kRun, "Tray", "C:\\Tools\\tray.exe /x"); },
       [](UndoActionsTest& t, app::Program& p) {
         p.form1->Find("Button10")->Click();
         t.TickRegStartup(p, "C:\\Tools\\tray.exe /x");
         p.formR->Find("MenuItem1")->Click();
       },
       [](UndoActionsTest& t) { EXPECT_FALSE(t.Get(Hive::CurrentUser, kRun, "Tray")); },
       [](UndoActionsTest& t) {
         EXPECT_EQ(t.Get(Hive::CurrentUser, kRun, "Tray"), "C:\\Tools\\tray.exe /x");
       }},
  };
}

TEST_F(UndoActionsTest, EveryCommandOfTheWindowsCanBeUndone) {
  int n = 0;
  for (const auto& c : WindowCommands()) {
    SCOPED_TRACE(std::string(c.action) + " #" + std::to_string(n++));
    c.plant(*this);
    {
      auto p = StartProgram();
      c.act(*this, *p);
      EXPECT_EQ(host.PendingAnswers(), 0u);
      c.changed(*this);
      const auto list = p->journal->List();
      ASSERT_EQ(list.size(), 1u);
      EXPECT_EQ(list[0].action, c.action);
      const auto r = p->journal->Undo("");
      EXPECT_EQ(r.status, undo::UndoReport::Status::Done);
      c.back(*this);
      EXPECT_TRUE(p->journal->List().empty());
    }
  }
}

// The same commands when nothing can be backed up (a file named "Backups"
// where the folder should be): nothing changes, and a box says why.
TEST_F(UndoActionsTest, CommandsThatCannotBackUpChangeNothing) {
  WriteFile(kBackups, "in the way");
  host.onUnexpected = [](const std::string&) {};  // the boxes that tell why are looked at below
  int n = 0;
  for (const auto& c : WindowCommands()) {
    SCOPED_TRACE(std::string(c.action) + " #" + std::to_string(n++));
    c.plant(*this);
    {
      auto p = StartProgram();
      const std::size_t shown = host.Boxes().size();
      c.act(*this, *p);
      c.back(*this);
      bool told = false;
      for (std::size_t i = shown; i < host.Boxes().size(); ++i) {
        const auto& box = host.Boxes()[i].spec;
        if (box.text.find("could not be backed up") == std::string::npos) continue;
        told = true;
        EXPECT_EQ(box.icon, ui::Icon::Error);
        EXPECT_NE(box.text.find("a file of that name is in the way"), std::string::npos) << box.text;
      }
      EXPECT_TRUE(told);
      EXPECT_TRUE(p->journal->List().empty());
    }
  }
}

class BackupListTest : public UndoActionsTest {
 protected:
  std::vector<std::string> Rows(const ui::ListView& list) {
    std::vector<std::string> out;
    for (const auto& r : list.Items()) {
      std::string s = r.caption;
      for (const auto& sub : r.subItems) s += "|" + sub;
      out.push_back(s);
    }
    return out;
  }
  // A fix of one file as the user runs it, at the time given.
  void FixOne(app::Program& p, const std::string& path, platform::LocalTime when) {
    platform::sim::SetLocalTime(when);
    WriteFile(path, std::string(3000, 'x'));
    p.form1->scan.findings.Clear();
    p.form1->List1->Clear();
    AddCheckedFinding(p, path, "Sample");
    app::FixOptions o;
    o.boxes = false;
    app::RunFix(p, o);
  }
};

TEST_F(BackupListTest, ListUndoAndDeleteFromTheQuarantineManager) {
  auto p = StartProgram();
  FixOne(*p, "C:\\evil\\one.exe", {2026, 12, 7, 13, 5, 12});
  FixOne(*p, "C:\\evil\\two.exe", {2026, 12, 8, 9, 30, 0});
  auto& q = *p->form9;
  q.Show();
  std::vector<std::string> columns;
  for (const auto& c : q.ListBackups->Columns()) columns.push_back(c.caption);
  EXPECT_EQ(columns, (Texts{"Date and time", "Action", "Items", "Size"}));
  EXPECT_EQ(Rows(*q.ListBackups), (Texts{"08.12.2026, 09:30:00|Fix|1|3 KB",
                                         "07.12.2026, 13:05:12|Fix|1|3 KB"}));
  EXPECT_EQ(q.BackupIds(), (Texts{"20261208-093000", "20261207-130512"}));
  EXPECT_EQ(q.ListBackups->SelectedIndex(), 0);

  // Undo of the older one, chosen in the list; "No" first changes nothing.
  q.ListBackups->ClickRow(1, false);
  host.Answer(ui::kIdNo, "Do you want to put back everything the selected backup holds?", "Question");
  q.xpButtonUndo->Click();
  EXPECT_FALSE(Exists("C:\\evil\\one.exe"));
  host.Answer(ui::kIdYes, "Do you want to put back everything the selected backup holds?", "Question");
  host.Answer(ui::kIdOk, "Everything the backup held is back (1 items).", "Information");
  q.xpButtonUndo->Click();
  EXPECT_EQ(Read("C:\\evil\\one.exe"), std::string(3000, 'x'));
  EXPECT_EQ(Rows(*q.ListBackups), Texts{"08.12.2026, 09:30:00|Fix|1|3 KB"});
  EXPECT_EQ(q.Bar1->PanelText(0), "Backup undone.");

  // A conflict: the backup stays and the box says what was left alone.
  WriteFile("C:\\evil\\two.exe", "new");
  host.Answer(ui::kIdYes);
  host.Answer(ui::kIdOk,
              "0 of 1 items are back. These were left alone because something else is there now:\r"
              "file C:\\evil\\two.exe: another file is there now\r\rThe backup keeps them.",
              "Information");
  q.xpButtonUndo->Click();
  EXPECT_EQ(host.Boxes().back().spec.icon, ui::Icon::Warning);
  EXPECT_EQ(Rows(*q.ListBackups), Texts{"08.12.2026, 09:30:00|Fix|1|3 KB"});

  // Deleting it, after its question.
  host.Answer(ui::kIdYes,
              "Do you want to delete the selected backup? What it holds can no longer be put back "
              "afterwards.",
              "Question");
  q.xpButtonDeleteBackup->Click();
  EXPECT_TRUE(Rows(*q.ListBackups).empty());
  EXPECT_FALSE(Exists(kBackups + "\\20261208-093000"));
  // With no row, the buttons do nothing.
  q.xpButtonUndo->Click();
  q.xpButtonDeleteBackup->Click();
  EXPECT_EQ(host.PendingAnswers(), 0u);
}

TEST_F(BackupListTest, NewControlsTakeNoLanguageLines) {
  auto p = StartProgram();
  for (const char* name : {"LabelBackups", "xpButtonUndo", "xpButtonDeleteBackup"})
    EXPECT_FALSE(app::TakesLanguageLines(*p->form9->Find(name))) << name;
}

TEST_F(BackupListTest, OldBackupsGoAtStart) {
  {
    auto p = StartProgram();
    FixOne(*p, "C:\\evil\\old.exe", {2026, 10, 1, 8, 0, 0});
    FixOne(*p, "C:\\evil\\recent.exe", {2026, 11, 20, 8, 0, 0});
    FixOne(*p, "C:\\evil\\new.exe", {2026, 12, 7, 8, 0, 0});
  }
  platform::sim::SetLocalTime(platform::LocalTime{2026, 12, 8, 8, 0, 0});
  auto p = StartProgram();
  p->form9->Show();
  EXPECT_EQ(p->form9->BackupIds(), (Texts{"20261207-080000", "20261120-080000"}));
}

}  // namespace
