// The database update and the self-upgrade against a real HTTP server on the
// loopback interface.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "app/console.h"
#include "app/options.h"
#include "app/unattended.h"
#include "platform/sim/sim_clock.h"
#include "tests/unit/allocation_failure.h"
#include "tests/unit/loopback_servers.h"
#include "tests/net/update_scenarios.h"
#include "tests/unit/program_fixture.h"
#include "update/unattended_update.h"
#include "update/update_list.h"
#include "update/updater.h"
#include "update/upgrade_window.h"

namespace {

using update::kBuiltInVersion;

using kvxtest::DatabaseText;
using kvxtest::DateLine;
using kvxtest::Package;
using kvxtest::SignList;

class UpdateTest : public ProgramFixture {
 protected:
  UpdateTest() {
    auto key = machine.Reg().Create(platform::Hive::CurrentUser, app::kOptionsKey,
                                    platform::keyaccess::kAllAccess);
    key->WriteString("UpdateServer", server.Address());
  }

  void UseDatabase(const std::string& text) {
    WriteFile(Path("files.dat"), engine::PackDatabase(text, update::LanguageKey()));
  }
  void ServeList(const std::string& date, const std::string& version = kBuiltInVersion,
                 const std::string& base = "", const std::string& line4 = "",
                 const std::string& upload = "0") {
    www.Put("/updr2/list.htm", std::string("Klaruvex Pro\r\n") + date + "\r\n" + version + "\r\n" +
                                   line4 + "\r\n" + upload + "\r\n" + base + "\r\n");
  }
  static std::string Path(const std::string& name) { return std::string(kFolder) + name; }
  std::string Disk(const std::string& name) {
    std::string bytes;
    platform::ReadWholeFile(machine.Files(), Path(name), bytes);
    return bytes;
  }
  std::string DiskDatabaseText() {
    std::string text;
    engine::UnpackDatabase(Disk("files.dat"), update::LanguageKey(), text);
    return text;
  }

  void Check(app::Program& p) { kvxtest::Check(p, host); }
  void WaitIdle(app::Program& p) { kvxtest::WaitIdle(p, host); }
  void AnswerDatabaseQuestion(app::Program& p, const std::string& date, int answer) {
    host.Answer(answer, p.msg[104] + "\r" + p.msg[105] + date, p.msg[23]);
  }
  void ExpectUpdated(app::Program& p, const std::string& date) {
    host.Answer(ui::kIdOk, p.msg[91] + date, "Klaruvex Pro Info");
  }
  void ExpectFailed(app::Program& p) { host.Answer(ui::kIdOk, p.msg[95], p.msg[2]); }

  ServedFolder www;
  LoopbackServer server{"http_scenario.py", {"--root", www.dir.string()}};
};

TEST_F(UpdateTest, EqualVersionsAskNothingAndUpdateThenSaysAlreadyUpgraded) {
  UseDatabase(DatabaseText(DateLine(5)));
  ServeList(DateLine(5));
  auto p = StartProgram();
  Check(*p);
  EXPECT_EQ(p->updater->updateState, 1);
  EXPECT_TRUE(host.Boxes().empty());
  EXPECT_FALSE(platform::FileExists(machine.Files(), Path("list.htm")));

  host.Answer(ui::kIdOk, p->msg[63], p->msg[23]);
  p->form1->Find("Button7")->Click();
  WaitIdle(*p);
  EXPECT_EQ(host.PendingAnswers(), 0u);
  EXPECT_EQ(www.Requests(), (std::vector<std::string>{"GET /updr2/list.htm HTTP/1.0",
                                                      "GET /updr2/list.htm HTTP/1.0"}));
}

TEST_F(UpdateTest, NoListIsSilentAndAForeignListMeansConnectionError) {
  UseDatabase(DatabaseText(DateLine(5)));
  auto p = StartProgram();
  Check(*p);  // 404: silent, the state stays
  EXPECT_EQ(p->updater->updateState, 0);
  www.Put("/updr2/list.htm", "<html>Some portal</html>\r\n");
  Check(*p);
  EXPECT_EQ(p->updater->updateState, 3);
  host.Answer(ui::kIdOk,
              "Cannot upgrade, please check your internet connection.\r\rTips:\r1. Check if some "
              "firewall is disable Klaruvex Pro internet connection.\r2. Open Microsoft Internet "
              "Explorer and Turn off option Work offline if it is active.\r3. Make sure that you "
              "have latest Microsoft Internet Explorer version.",
              "Connection error");
  p->form1->Find("Button7")->Click();
  WaitIdle(*p);
  EXPECT_EQ(host.PendingAnswers(), 0u);
  EXPECT_EQ(host.Boxes().size(), 1u);
}

TEST_F(UpdateTest, OutdatedProgramDeclinedBlocksTheDatabaseUpdate) {
  UseDatabase(DatabaseText(DateLine(5)));
  ServeList(DateLine(6), "Klaruvex Pro v8 - SE (Build date: 1.1.2027)");
  auto p = StartProgram();
  host.Answer(ui::kIdNo,
              p->msg[100] + "\r" + p->msg[101] + kBuiltInVersion + "\r" + p->msg[102] +
                  "Klaruvex Pro v8 - SE (Build date: 1.1.2027)",
              p->msg[23]);
  host.Answer(ui::kIdOk, p->msg[103], p->msg[23]);
  Check(*p);
  EXPECT_EQ(host.PendingAnswers(), 0u);
  EXPECT_EQ(host.Boxes()[1].spec.icon, ui::Icon::Error);
  EXPECT_EQ(www.Requests(), std::vector<std::string>{"GET /updr2/list.htm HTTP/1.0"});
  EXPECT_TRUE(p->form1->Enabled());
}

TEST_F(UpdateTest, IncrementalChainRequestsEachPackageAndSavesOnce) {
  UseDatabase(DatabaseText(DateLine(120)));
  ServeList(DateLine(123), kBuiltInVersion, "100");
  for (int n : {121, 122, 123}) www.Put("/updr2/upd/" + std::to_string(n) + ".htm", Package(n));
  auto p = StartProgram();
  AnswerDatabaseQuestion(*p, DateLine(123), ui::kIdYes);
  ExpectUpdated(*p, DateLine(123));
  Check(*p);
  EXPECT_EQ(host.PendingAnswers(), 0u);
  EXPECT_EQ(www.Requests(),
            (std::vector<std::string>{"GET /updr2/list.htm HTTP/1.0", "GET /updr2/upd/121.htm HTTP/1.0",
                                      "GET /updr2/upd/122.htm HTTP/1.0",
                                      "GET /updr2/upd/123.htm HTTP/1.0"}));
  const std::string merged = DateLine(123) +
                             "\r\n[Start]\r\n[A]:c:\\a.exe\r\n[Pkg121]:c:\\p121.exe\r\n" +
                             std::string(60, ';') + "\r\n[Pkg122]:c:\\p122.exe\r\n" +
                             std::string(60, ';') + "\r\n[Pkg123]:c:\\p123.exe\r\n" +
                             std::string(60, ';') + "\r\n_end\r\n";
  EXPECT_EQ(p->form1->database.Text(), merged);
  EXPECT_EQ(DiskDatabaseText(), merged);
  EXPECT_EQ(p->form1->Label2->Caption(), p->msg[90] + DateLine(123));
  EXPECT_EQ(p->form1->sb1->PanelText(2), p->msg[62] + DateLine(123));
  EXPECT_EQ(p->form1->sb1->PanelText(0), p->msg[92] + std::to_string(Package(123).size()) + p->msg[93]);
  EXPECT_TRUE(p->form1->Find("Button4")->Enabled());
  EXPECT_TRUE(p->form1->Find("Button7")->Enabled());
  // Each package was shown as it merged.
  std::vector<std::string> finished;
  for (const auto& s : host.StatusLog())
    if (s.form == "TForm1" && s.panel == 0 && s.text.rfind(p->msg[92], 0) == 0) finished.push_back(s.text);
  EXPECT_EQ(finished[0], p->msg[92] + "121/123");
}

TEST_F(UpdateTest, CompleteDownloadWhenNoChainIsPossibleOrAPackageFails) {
  const std::string served = DatabaseText(DateLine(123), "[New]:c:\\new.exe");
  struct Case {
    const char* what;
    std::string local;
    std::string base;
    const char* scenario;
  };
  const Case cases[] = {
      {"L = 0", DatabaseText("Database date: 2026-12-01"), "100", "{}"},
      {"B greater than L", DatabaseText(DateLine(120)), "121", "{}"},
      {"line 6 empty", DatabaseText(DateLine(120)), "", "{}"},
      {"99-byte package", DatabaseText(DateLine(120)), "100",
       R"({"/updr2/upd/122.htm": {"declare": 99}})"},
      {"failed package", DatabaseText(DateLine(120)), "100",
       R"({"/updr2/upd/122.htm": {"status": 404}})"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    UseDatabase(c.local);
    www.Put("/updr2/files2.htm", engine::PackDatabase(served, update::LanguageKey()));
    for (int n : {121, 123}) www.Put("/updr2/upd/" + std::to_string(n) + ".htm", Package(n));
    www.Put("/updr2/upd/122.htm", std::string(c.what) == "99-byte package"
                                      ? std::string(99, 'z')
                                      : Package(122));
    www.Scenario(c.scenario);
    ServeList(DateLine(123), kBuiltInVersion, c.base);
    std::filesystem::remove(www.dir / "_requests.log");
    auto p = StartProgram();
    AnswerDatabaseQuestion(*p, DateLine(123), ui::kIdYes);
    ExpectUpdated(*p, DateLine(123));
    Check(*p);
    EXPECT_EQ(host.PendingAnswers(), 0u);
    EXPECT_EQ(www.Requests().back(), "GET /updr2/files2.htm HTTP/1.0");
    EXPECT_EQ(p->form1->database.Text(), served);
    EXPECT_EQ(DiskDatabaseText(), served);
    EXPECT_FALSE(platform::FileExists(machine.Files(), Path("filess.dat")));
  }
}

TEST_F(UpdateTest, AFailedOrDamagedDownloadKeepsTheDatabase) {
  const std::string local = DatabaseText(DateLine(120));
  struct Case {
    const char* what;
    std::string served;
    const char* scenario;
  };
  std::string noEnd = engine::PackDatabase(DateLine(123) + "\r\n[Start]\r\n", update::LanguageKey());
  const Case cases[] = {
      {"404 page", std::string(500, 'x'), R"({"/updr2/files2.htm": {"status": 404}})"},
      {"not a database", "BZh9" + std::string(500, 'x'), "{}"},
      {"no end line", noEnd + std::string(100 - std::min<std::size_t>(noEnd.size(), 100), '\0'), "{}"},
      {"short body", std::string(500, 'x'), R"({"/updr2/files2.htm": {"declare": 900}})"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    UseDatabase(local);
    const std::string before = Disk("files.dat");
    std::string served = c.served;
    update::EncipherInPlace(served, update::LanguageKey());
    www.Put("/updr2/files2.htm", std::string(c.what) == "no end line" ? c.served : served);
    www.Scenario(c.scenario);
    ServeList(DateLine(123));
    auto p = StartProgram();
    AnswerDatabaseQuestion(*p, DateLine(123), ui::kIdYes);
    ExpectFailed(*p);
    Check(*p);
    EXPECT_EQ(host.PendingAnswers(), 0u);
    EXPECT_EQ(Disk("files.dat"), before);
    EXPECT_EQ(p->form1->database.Text(), local);
    EXPECT_EQ(p->form1->Label2->Caption(), p->msg[62] + DateLine(120));
    EXPECT_TRUE(p->form1->Find("Button4")->Enabled());
  }
}

TEST_F(UpdateTest, AnUnwritableDatabaseAfterTheChainIsReportedAndKept) {
  const std::string local = DatabaseText(DateLine(120));
  UseDatabase(local);
  const std::string before = Disk("files.dat");
  ServeList(DateLine(121), kBuiltInVersion, "100");
  www.Put("/updr2/upd/121.htm", Package(121));
  auto p = StartProgram();
  machine.SimFiles().FailWrites(Path("files.dat"));
  machine.SimFiles().FailWrites(platform::ReplacementTempPath(Path("files.dat")));
  AnswerDatabaseQuestion(*p, DateLine(121), ui::kIdYes);
  ExpectFailed(*p);
  Check(*p);
  EXPECT_EQ(host.PendingAnswers(), 0u);
  EXPECT_EQ(Disk("files.dat"), before);
  EXPECT_EQ(p->form1->database.Text(), local);
  // No complete download after a reported failure.
  EXPECT_EQ(www.Requests().back(), "GET /updr2/upd/121.htm HTTP/1.0");
}

TEST_F(UpdateTest, StartupCheckRunsTwoSecondsAfterTheWindowShows) {
  UseDatabase(DatabaseText(DateLine(5)));
  ServeList(DateLine(5));
  auto p = StartProgram();
  EXPECT_TRUE(p->form1->startupUpdateCheck);
  host.Advance(1999);
  EXPECT_FALSE(p->updater->Get2.Running());
  host.Advance(1);
  WaitIdle(*p);
  EXPECT_EQ(www.Requests(), std::vector<std::string>{"GET /updr2/list.htm HTTP/1.0"});
  EXPECT_EQ(p->updater->updateState, 1);

  // After a check that offered an update, the action dialog's timer follows
  // its check box.
  p->updater->updateState = 2;
  p->form2->c1->SetChecked(false);
  p->form2->Timer1->SetEnabled(true);
  p->updater->Timer3Timer();
  WaitIdle(*p);
  EXPECT_FALSE(p->form2->Timer1->Enabled());
}

// A start-up check whose list arrives while another job runs (a fix, in
// another window) asks nothing and replaces nothing: the list goes, and the
// check comes again once the job is over.
TEST_F(UpdateTest, AListArrivingDuringAnotherJobIsCheckedAgainLater) {
  UseDatabase(DatabaseText(DateLine(120)));
  ServeList(DateLine(123));
  auto p = StartProgram();
  ASSERT_TRUE(p->BeginJob(app::Job::Fix, false));
  Check(*p);
  EXPECT_TRUE(host.Boxes().empty());
  EXPECT_FALSE(platform::FileExists(machine.Files(), Path("list.htm")));
  EXPECT_TRUE(p->form1->Timer3->Enabled());
  EXPECT_EQ(p->RunningJob(), app::Job::Fix);
  // While it runs, the timer's turn waits too, without asking for the list.
  p->updater->Timer3Timer();
  EXPECT_FALSE(p->updater->Get2.Running());

  p->EndJob(app::Job::Fix);
  AnswerDatabaseQuestion(*p, DateLine(123), ui::kIdNo);
  p->updater->Timer3Timer();
  WaitIdle(*p);
  EXPECT_EQ(host.PendingAnswers(), 0u);
  EXPECT_EQ(p->RunningJob(), app::Job::None);
  EXPECT_EQ(www.Requests().size(), 2u);
}

TEST_F(UpdateTest, ProgramUpgradeDownloadsAndHandsOverToTheCopy) {
  UseDatabase(DatabaseText(DateLine(5)));
  const std::string newProgram = "MZ the new program " + std::string(300, 'n');
  www.Put("/updr2/kvxup.htm", newProgram);
  for (bool digestMatches : {true, false}) {
    SCOPED_TRACE(digestMatches);
    std::string digest = update::Sha256Hex(digestMatches ? newProgram : "something else");
    ServeList(DateLine(5), "Klaruvex Pro v8", "", "sha256=" + digest);
    auto p = StartProgram();
    const std::size_t calls = machine.SimSh().Calls().size();
    host.Answer(ui::kIdYes);
    if (digestMatches) {
      host.Answer(ui::kIdOk, p->msg[149], p->msg[150]);
    } else {
      host.Answer(ui::kIdOk, std::nullopt, p->msg[2]);
    }
    Check(*p);
    EXPECT_EQ(host.PendingAnswers(), 0u);
    EXPECT_EQ(p->form4->Label1->Caption(), p->msg[102] + "Klaruvex Pro v8");
    if (digestMatches) {
      EXPECT_EQ(Disk("kvxup.exe"), newProgram);
      ASSERT_EQ(machine.SimSh().Calls().size(), calls + 1);
      EXPECT_EQ(machine.SimSh().Calls().back().file, Path("kvxup.exe"));
      EXPECT_EQ(machine.SimSh().Calls().back().verb, "open");
      EXPECT_TRUE(p->app.Terminated());
      EXPECT_EQ(p->app.ExitCode(), 1);
      EXPECT_EQ(p->form4->Label2->Caption(), p->msg[148]);
    } else {
      EXPECT_FALSE(platform::FileExists(machine.Files(), Path("kvxup.exe")));
      EXPECT_EQ(machine.SimSh().Calls().size(), calls);
      EXPECT_FALSE(p->app.Terminated());
    }
  }
}

TEST_F(UpdateTest, CancelAsksAndLeavesNoCopyBehind) {
  UseDatabase(DatabaseText(DateLine(5)));
  www.Put("/updr2/kvxup.htm", std::string(5000, 'n'));
  www.Scenario(R"({"/updr2/kvxup.htm": {"stall_after": 1000}})");
  ServeList(DateLine(5), "Klaruvex Pro v8");
  auto p = StartProgram();
  host.Answer(ui::kIdYes);
  p->updater->StartListCheck();
  while (!p->form4->Visible() || !platform::FileExists(machine.Files(), Path("kvxup.exe"))) {
    host.ProcessMessages();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_FALSE(p->form1->Enabled());
  auto& cancel = *p->form4->Find("xpButton1");
  host.Answer(ui::kIdNo, p->msg[151], p->msg[28]);
  cancel.Click();
  EXPECT_TRUE(p->form4->Get1.Running());
  EXPECT_TRUE(p->form4->Visible());
  // Yes to Cancel, and Yes again to closing the window.
  host.Answer(ui::kIdYes, p->msg[151], p->msg[28]);
  host.Answer(ui::kIdYes, p->msg[151], p->msg[28]);
  cancel.Click();
  WaitIdle(*p);
  EXPECT_EQ(host.PendingAnswers(), 0u);
  EXPECT_FALSE(p->form4->Visible());
  EXPECT_TRUE(p->form1->Enabled());
  EXPECT_FALSE(platform::FileExists(machine.Files(), Path("kvxup.exe")));
}

TEST_F(UpdateTest, UnattendedUpdateExitCodes) {
  const std::string served = DatabaseText(DateLine(123), "[New]:c:\\new.exe");
  struct Case {
    const char* what;
    std::string list;
    const char* scenario;
    int code;
    bool updated;
  };
  const Case cases[] = {
      {"up to date", DateLine(120), "{}", 0, false},
      {"updated", DateLine(123), "{}", 0, true},
      {"no list", "", R"({"/updr2/list.htm": {"status": 404}})", 2, false},
      {"database 404", DateLine(123), R"({"/updr2/files2.htm": {"status": 404}})", 2, false},
      {"stalled database", DateLine(123), R"({"/updr2/files2.htm": {"stall_after": 50}})", 2, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    UseDatabase(DatabaseText(DateLine(120)));
    ServeList(c.list);
    www.Put("/updr2/files2.htm", engine::PackDatabase(served, update::LanguageKey()));
    www.Scenario(c.scenario);
    app::Program p(machine, host);
    ASSERT_TRUE(p.Start());
    p.updater->Get1.stallLimitMs = 1000;
    EXPECT_EQ(update::RunUnattendedUpdate(p, server.Address()), c.code);
    EXPECT_TRUE(host.Boxes().empty());
    EXPECT_EQ(DiskDatabaseText(), c.updated ? served : DatabaseText(DateLine(120)));
  }
}

TEST_F(UpdateTest, UnattendedUpdateThenScanFromTheCommandLine) {
  UseDatabase(DatabaseText(DateLine(120)));
  ServeList(DateLine(123));
  www.Put("/updr2/files2.htm",
          engine::PackDatabase(DatabaseText(DateLine(123), "[New]:C:\\new.exe"),
                               update::LanguageKey()));
  WriteFile("C:\\new.exe", "MZ only the new database knows this one");
  auto run = [&](std::vector<std::string> args) {
    return app::RunProgram(machine, args, [] { return std::unique_ptr<ui::Host>(); });
  };
  EXPECT_EQ(run({"/scan", "/Update", "/SERVER", server.Address()}), app::kExitFound);
  EXPECT_EQ(DiskDatabaseText(), DatabaseText(DateLine(123), "[New]:C:\\new.exe"));
  EXPECT_EQ(run({"/update", "/server", server.Address()}), app::kExitClean);  // now up to date
  www.Scenario(R"({"/updr2/list.htm": {"status": 404}})");
  EXPECT_EQ(run({"/update", "/server", server.Address()}), app::kExitFailed);
}

TEST_F(UpdateTest, UpgradeWhoseNewProgramCannotStartFailsAndKeepsRunning) {
  UseDatabase(DatabaseText(DateLine(5)));
  const std::string newProgram = "MZ the new program " + std::string(300, 'n');
  www.Put("/updr2/kvxup.htm", newProgram);
  ServeList(DateLine(5), "Klaruvex Pro v8", "", "sha256=" + update::Sha256Hex(newProgram));
  machine.SimSh().FailWith(platform::kFileNotFound);
  auto run = [&](std::vector<std::string> args) {
    return app::RunProgram(machine, args, [] { return std::unique_ptr<ui::Host>(); });
  };
  EXPECT_EQ(run({"/update", "/server", server.Address()}), app::kExitFailed);
  EXPECT_FALSE(platform::FileExists(machine.Files(), Path("kvxup.exe")));

  auto p = StartProgram();
  host.Answer(ui::kIdYes);
  host.Answer(ui::kIdOk, p->msg[149], p->msg[150]);
  host.Answer(ui::kIdOk,
              "The new program could not be started, nothing was upgraded. Please try the "
              "update again later.",
              p->msg[2]);
  Check(*p);
  EXPECT_EQ(host.PendingAnswers(), 0u);
  EXPECT_FALSE(p->app.Terminated());
  EXPECT_EQ(p->form4->Label2->Caption(), p->msg[94]);
  EXPECT_FALSE(platform::FileExists(machine.Files(), Path("kvxup.exe")));
}

// The signed channel: the tests' key given where the program's entry gives
// the build's.
class SignedUpdateTest : public UpdateTest {
 protected:
  int Run(std::vector<std::string> args, const std::string& key = KVX_TEST_UPDATE_PUBLIC) {
    args.insert(args.end(), {"/server", server.Address(), "/report", Path("r.json")});
    return app::RunProgram(machine, args, [] { return std::unique_ptr<ui::Host>(); }, key);
  }
  nlohmann::json Report() { return nlohmann::json::parse(Disk("r.json"), nullptr, false); }
  std::optional<std::uint32_t> StoredSerial() {
    auto key = machine.Reg().Open(platform::Hive::CurrentUser, app::kOptionsKey,
                                  platform::keyaccess::kRead);
    return key ? key->ReadDword("UpdateSerial") : std::nullopt;
  }
  void StoreSerial(std::uint32_t serial) {
    machine.Reg()
        .Create(platform::Hive::CurrentUser, app::kOptionsKey, platform::keyaccess::kAllAccess)
        ->WriteDword("UpdateSerial", serial);
  }
  void Publish(const kvxtest::SignedList& l) {
    www.Put("/updr2/list.htm", l.list);
    www.Put("/updr2/list.sig", l.signature);
  }
  std::string List(const std::string& date, const std::string& base = "",
                   const std::string& version = kBuiltInVersion, const std::string& line4 = "") {
    return "Klaruvex Pro\r\n" + date + "\r\n" + version + "\r\n" + line4 + "\r\n0\r\n" + base +
           "\r\n";
  }
  // Nothing of a download stays in the program folder.
  void ExpectNoLeftovers() {
    for (const char* name : {"list.htm", "list.sig", "filess.dat", "Upd.dat", "kvxup.exe"})
      EXPECT_FALSE(platform::FileExists(machine.Files(), Path(name))) << name;
  }
};

TEST_F(SignedUpdateTest, OnlyAListSignedWithTheKeyUpdates) {
  const std::string served = DatabaseText(DateLine(123), "[New]:c:\\new.exe");
  const std::string complete = engine::PackDatabase(served, update::LanguageKey());
  std::vector<std::pair<std::string, std::string>> files = {{"/updr2/files2.htm", complete}};
  for (int n : {121, 122, 123}) files.emplace_back(update::PackagePath(n), Package(n));
  auto without = [&](const std::string& path) {
    auto less = files;
    std::erase_if(less, [&](const auto& f) { return f.first == path; });
    return less;
  };
  const auto good = SignList(List(DateLine(123), "100"), 40, files);
  auto otherKey = update::GenerateKeyPair();
  ASSERT_TRUE(otherKey);
  const std::string notSigned = "the update list is not signed";
  struct Case {
    const char* what;
    kvxtest::SignedList list;
    const char* scenario;
    std::uint32_t stored;
    int code;
    const char* error;  // in the report's error; nullptr: updated
    const char* lastRequest;
  };
  const Case cases[] = {
      {"a good chain", good, "{}", 0, app::kExitClean, nullptr, "GET /updr2/upd/123.htm HTTP/1.0"},
      {"the same serial again", good, "{}", 40, app::kExitClean, nullptr,
       "GET /updr2/upd/123.htm HTTP/1.0"},
      {"no signature", good, R"({"/updr2/list.sig": {"status": 404}})", 0, app::kExitFailed,
       notSigned.c_str(), "GET /updr2/list.sig HTTP/1.0"},
      {"a signature of another list", {good.list, SignList(List(DateLine(124)), 40, files).signature},
       "{}", 0, app::kExitFailed, notSigned.c_str(), "GET /updr2/list.sig HTTP/1.0"},
      {"signed with another key",
       {good.list, update::SignHex(otherKey->secretHex, good.list) + "\r\n"}, "{}", 0,
       app::kExitFailed, notSigned.c_str(), "GET /updr2/list.sig HTTP/1.0"},
      {"a signature that is no signature", {good.list, "signed, honestly\r\n"}, "{}", 0,
       app::kExitFailed, notSigned.c_str(), "GET /updr2/list.sig HTTP/1.0"},
      {"a list changed after signing", {good.list + "\r\n", good.signature}, "{}", 0,
       app::kExitFailed, notSigned.c_str(), "GET /updr2/list.sig HTTP/1.0"},
      {"no serial", SignList(List(DateLine(123), "100"), std::nullopt, files), "{}", 0,
       app::kExitFailed, "the update list carries no serial number", "GET /updr2/list.sig HTTP/1.0"},
      {"a serial below the one taken before", good, "{}", 41, app::kExitFailed,
       "the update list is older than one used before", "GET /updr2/list.sig HTTP/1.0"},
      {"expired", SignList(List(DateLine(123), "100") + "expires=2026-12-06\r\n", 40, files), "{}", 0,
       app::kExitFailed, "the update list has expired", "GET /updr2/list.sig HTTP/1.0"},
      {"expiring today", SignList(List(DateLine(123), "100") + "expires=2026-12-07\r\n", 40, files),
       "{}", 0, app::kExitClean, nullptr, "GET /updr2/upd/123.htm HTTP/1.0"},
      {"a package without its hash line: the complete database",
       SignList(List(DateLine(123), "100"), 40, without(update::PackagePath(122))), "{}", 0,
       app::kExitClean, nullptr, "GET /updr2/files2.htm HTTP/1.0"},
      {"the complete database differs from its hash line",
       SignList(List(DateLine(123)), 40, {{"/updr2/files2.htm", complete + "x"}}), "{}", 0,
       app::kExitFailed, "the downloaded database does not match the update list",
       "GET /updr2/files2.htm HTTP/1.0"},
      {"the complete database without a hash line", SignList(List(DateLine(123)), 40, {}), "{}", 0,
       app::kExitFailed, "the downloaded database does not match the update list",
       "GET /updr2/files2.htm HTTP/1.0"},
  };
  platform::sim::SetLocalTime(platform::LocalTime{2026, 12, 7, 13, 5, 12});
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    machine.Reg().Create(platform::Hive::CurrentUser, app::kOptionsKey,
                         platform::keyaccess::kAllAccess)->DeleteValue("UpdateSerial");
    if (c.stored) StoreSerial(c.stored);
    UseDatabase(DatabaseText(DateLine(120)));
    const std::string before = Disk("files.dat");
    www.Put("/updr2/files2.htm", complete);
    for (int n : {121, 122, 123}) www.Put("/updr2/upd/" + std::to_string(n) + ".htm", Package(n));
    Publish(c.list);
    www.Scenario(c.scenario);
    std::filesystem::remove(www.dir / "_requests.log");
    EXPECT_EQ(Run({"/update"}), c.code);
    const auto report = Report();
    EXPECT_EQ(report["signed"], true);
    EXPECT_EQ(www.Requests().back(), c.lastRequest);
    ExpectNoLeftovers();
    if (c.error) {
      EXPECT_EQ(report["update"], "failed");
      EXPECT_EQ(report["error"], std::string("The update failed: ") + c.error +
                                     "; the database in use is kept.");
      EXPECT_EQ(Disk("files.dat"), before);
      // A list that was taken keeps its serial, whatever became of its files.
      const bool listTaken = std::string(c.lastRequest) != "GET /updr2/list.sig HTTP/1.0";
      EXPECT_EQ(StoredSerial().value_or(0), listTaken ? 40u : c.stored);
    } else {
      EXPECT_EQ(report["update"], "done");
      EXPECT_EQ(DiskDatabaseText().substr(0, DateLine(123).size()), DateLine(123));
      EXPECT_EQ(StoredSerial(), 40u);
    }
  }
  platform::sim::SetLocalTime(std::nullopt);
}

TEST_F(SignedUpdateTest, TheDefaultBuildSaysItIsNotSignedAndStillChecksWhatTheListVouchesFor) {
  UseDatabase(DatabaseText(DateLine(120)));
  const std::string complete = engine::PackDatabase(DatabaseText(DateLine(123)), update::LanguageKey());
  www.Put("/updr2/files2.htm", complete);
  www.Put("/updr2/list.htm", List(DateLine(123)));
  EXPECT_EQ(Run({"/update"}, ""), app::kExitClean);
  EXPECT_EQ(Report()["signed"], false);
  EXPECT_EQ(www.Requests(), (std::vector<std::string>{"GET /updr2/list.htm HTTP/1.0",
                                                      "GET /updr2/files2.htm HTTP/1.0"}));
  // A hash line the download does not match fails it even without a key.
  UseDatabase(DatabaseText(DateLine(120)));
  const std::string before = Disk("files.dat");
  www.Put("/updr2/list.htm", SignList(List(DateLine(123)), 1, {{"/updr2/files2.htm", "other"}}).list);
  EXPECT_EQ(Run({"/update"}, ""), app::kExitFailed);
  EXPECT_EQ(Disk("files.dat"), before);
}

TEST_F(SignedUpdateTest, TheWindowTakesARefusedListForNoList) {
  UseDatabase(DatabaseText(DateLine(5)));
  www.Put("/updr2/list.htm", List(DateLine(6)));  // unsigned
  auto p = StartProgram();
  p->updater->publicKey = KVX_TEST_UPDATE_PUBLIC;
  Check(*p);
  EXPECT_EQ(p->updater->updateState, 3);
  EXPECT_TRUE(host.Boxes().empty());
  host.Answer(ui::kIdOk, std::nullopt, "Connection error");
  p->form1->Find("Button7")->Click();
  WaitIdle(*p);
  EXPECT_EQ(host.PendingAnswers(), 0u);
  ExpectNoLeftovers();
}

TEST_F(SignedUpdateTest, AProgramTheListDoesNotVouchForIsDeletedAndNeverStarted) {
  UseDatabase(DatabaseText(DateLine(5)));
  const std::string newProgram = "MZ the new program " + std::string(300, 'n');
  www.Put("/updr2/kvxup.htm", newProgram);
  struct Case {
    const char* what;
    std::vector<std::pair<std::string, std::string>> files;
    std::string line4;
  };
  const Case cases[] = {
      {"hash line of other bytes", {{"/updr2/kvxup.htm", "MZ another program"}}, ""},
      {"no hash line", {}, ""},
      {"hash line right, line 4 wrong", {{"/updr2/kvxup.htm", newProgram}},
       "sha256=" + update::Sha256Hex("MZ another program")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Publish(SignList(List(DateLine(5), "", "Klaruvex Pro v8", c.line4), 3, c.files));
    const std::size_t calls = machine.SimSh().Calls().size();
    EXPECT_EQ(Run({"/update"}), app::kExitFailed);
    EXPECT_EQ(Report()["error"],
              "The update failed: the downloaded program does not match the update list; the "
              "database in use is kept.");
    EXPECT_EQ(machine.SimSh().Calls().size(), calls);
    ExpectNoLeftovers();

    // The window says so.
    auto p = StartProgram();
    p->updater->publicKey = KVX_TEST_UPDATE_PUBLIC;
    host.Answer(ui::kIdYes);
    host.Answer(ui::kIdOk,
                "The downloaded program does not match the update list and has been deleted. "
                "Please try the update again later.",
                p->msg[2]);
    Check(*p);
    EXPECT_EQ(host.PendingAnswers(), 0u);
    EXPECT_EQ(machine.SimSh().Calls().size(), calls);
    EXPECT_FALSE(p->app.Terminated());
    ExpectNoLeftovers();
  }
}

// Every download has a bound by what it is; one that fails leaves nothing.
TEST_F(UpdateTest, DownloadsAreBoundedAndLeaveNothingWhenTheyFail) {
  auto run = [&] {
    return app::RunProgram(machine, {"/update", "/server", server.Address()},
                           [] { return std::unique_ptr<ui::Host>(); });
  };
  UseDatabase(DatabaseText(DateLine(120)));
  const std::string before = Disk("files.dat");
  const std::string complete = engine::PackDatabase(DatabaseText(DateLine(123)), update::LanguageKey());
  www.Put("/updr2/files2.htm", complete);
  ServeList(DateLine(123));
  struct Case {
    const char* what;
    const char* scenario;
  };
  const Case cases[] = {
      // An answer without a length that never ends: cut off past 64 KiB.
      {"endless list", R"({"/updr2/list.htm": {"endless": true}})"},
      // Refused at the head: nothing is read, nothing is written.
      {"database announced at 3 GiB", R"({"/updr2/files2.htm": {"declare": 3221225472}})"},
      {"database announced at 64 MiB and a byte", R"({"/updr2/files2.htm": {"declare": 67108865}})"},
      {"short database", R"({"/updr2/files2.htm": {"declare": 5000}})"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    www.Scenario(c.scenario);
    std::filesystem::remove(www.dir / "_requests.log");
    EXPECT_EQ(run(), app::kExitFailed);
    EXPECT_EQ(Disk("files.dat"), before);
    for (const char* name : {"list.htm", "filess.dat"})
      EXPECT_FALSE(platform::FileExists(machine.Files(), Path(name))) << name;
  }
  const std::string sent = ReadHostFile(www.dir / "_endless.log");
  ASSERT_EQ(sent.rfind("/updr2/list.htm ", 0), 0u) << sent;
  // What the server pushed before the client left: the cap and what the
  // loopback's buffers hold, not the endless rest.
  EXPECT_LT(std::stoull(sent.substr(16)), 64ull << 20);
}

TEST_F(UpdateTest, APackageAnnouncedAboveItsCapEndsTheChain) {
  UseDatabase(DatabaseText(DateLine(120)));
  const std::string served = DatabaseText(DateLine(122), "[New]:c:\\new.exe");
  www.Put("/updr2/files2.htm", engine::PackDatabase(served, update::LanguageKey()));
  for (int n : {121, 122}) www.Put("/updr2/upd/" + std::to_string(n) + ".htm", Package(n));
  www.Scenario(R"({"/updr2/upd/122.htm": {"declare": 16777217}})");
  ServeList(DateLine(122), kBuiltInVersion, "100");
  app::Program p(machine, host);
  ASSERT_TRUE(p.Start());
  EXPECT_EQ(update::RunUnattendedUpdate(p, server.Address()), update::kUpdateDone);
  EXPECT_EQ(www.Requests().back(), "GET /updr2/files2.htm HTTP/1.0");
  EXPECT_EQ(DiskDatabaseText(), served);
  EXPECT_FALSE(platform::FileExists(machine.Files(), Path("Upd.dat")));
}

// "/update /scan" with a new program announced: the scan runs first, with
// the program and database in use, then the new program takes over.
TEST_F(UpdateTest, UnattendedScanRunsBeforeTheUpgradeHandsOver) {
  UseDatabase(DatabaseText(DateLine(5), "[Worm]:C:\\worm.exe"));
  WriteFile("C:\\worm.exe", "MZ a planted sample");
  const std::string newProgram = "MZ the new program " + std::string(300, 'n');
  www.Put("/updr2/kvxup.htm", newProgram);
  ServeList(DateLine(6), "Klaruvex Pro v8", "", "sha256=" + update::Sha256Hex(newProgram));
  auto run = [&](std::vector<std::string> args) {
    args.insert(args.end(), {"/server", server.Address(), "/report", Path("r.json")});
    return app::RunProgram(machine, args, [] { return std::unique_ptr<ui::Host>(); });
  };
  auto report = [&] { return nlohmann::json::parse(Disk("r.json"), nullptr, false); };
  EXPECT_EQ(run({"/update", "/scan"}), app::kExitFound);
  auto r = report();
  EXPECT_EQ(r["update"], "upgrade started");
  EXPECT_EQ(r["result"], "infected");
  ASSERT_EQ(r["findings"].size(), 1u);
  EXPECT_EQ(r["findings"][0]["path"], "C:\\worm.exe");
  EXPECT_EQ(r["databaseDate"], DateLine(5));  // the database in use, not a newer one
  EXPECT_EQ(Disk("kvxup.exe"), newProgram);
  ASSERT_EQ(machine.SimSh().Calls().size(), 1u);
  EXPECT_EQ(machine.SimSh().Calls()[0].file, Path("kvxup.exe"));
  EXPECT_EQ(machine.SimSh().Calls()[0].params, "/handover");
  EXPECT_EQ(www.Requests(), (std::vector<std::string>{"GET /updr2/list.htm HTTP/1.0",
                                                      "GET /updr2/kvxup.htm HTTP/1.0"}));

  // Clean, and the update alone: exit 0, the hand-over told it is unattended.
  std::filesystem::remove(root / "worm.exe");
  EXPECT_EQ(run({"/update", "/scan"}), app::kExitClean);
  EXPECT_EQ(report()["update"], "upgrade started");
  EXPECT_EQ(run({"/update"}), app::kExitClean);
  EXPECT_EQ(report()["update"], "upgrade started");
  ASSERT_EQ(machine.SimSh().Calls().size(), 3u);
  EXPECT_EQ(machine.SimSh().Calls()[2].params, "/handover");

  // A copy that does not start: the scan's code, or 2 when it found nothing.
  machine.SimSh().FailWith(platform::kFileNotFound);
  EXPECT_EQ(run({"/update", "/scan"}), app::kExitFailed);
  EXPECT_EQ(report()["update"], "failed");
  EXPECT_EQ(report()["error"],
            "The update failed: the new program could not be started; the database in use is "
            "kept.");
  EXPECT_FALSE(platform::FileExists(machine.Files(), Path("kvxup.exe")));
}

// The console twin's /update: the database alone; a new program is only
// announced, and the protocol keeps a newer database for the newer program.
TEST_F(UpdateTest, ConsoleUpdatesTheDatabaseAndOnlyAnnouncesANewProgram) {
  const std::string newer = DatabaseText(DateLine(6), "[New]:C:\\new.exe");
  www.Put("/updr2/files2.htm", engine::PackDatabase(newer, update::LanguageKey()));
  std::vector<std::string> out, err;
  auto run = [&] {
    out.clear();
    err.clear();
    return app::RunConsole(
        machine, {"/update", "/server", server.Address(), "/report", Path("r.json")},
        [&](std::string_view l) { out.emplace_back(l); },
        [&](std::string_view l) { err.emplace_back(l); });
  };
  const std::string announced =
      "A new program is announced: version Klaruvex Pro v8; \"klaruvex.exe /update\" installs it.";
  struct Case {
    const char* what;
    int listDate;
    const char* version;
    int code;
    std::vector<std::string> out;
    bool updated;
  } cases[] = {
      {"same program, newer database", 6, kBuiltInVersion, app::kExitClean,
       {"Update: done", "Result: done"}, true},
      {"new program, same database", 5, "Klaruvex Pro v8", app::kExitClean,
       {"Update: done", announced, "Result: done"}, false},
      {"new program, newer database", 6, "Klaruvex Pro v8", app::kExitFailed,
       {"Update: failed", announced, "Result: failed"}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    UseDatabase(DatabaseText(DateLine(5)));
    ServeList(DateLine(c.listDate), c.version);
    EXPECT_EQ(run(), c.code);
    EXPECT_EQ(out, c.out);
    EXPECT_EQ(DiskDatabaseText(), c.updated ? newer : DatabaseText(DateLine(5)));
    const auto r = nlohmann::json::parse(Disk("r.json"), nullptr, false);
    EXPECT_EQ(r["newProgram"], c.version == kBuiltInVersion ? nlohmann::json() : nlohmann::json(c.version));
  }
  EXPECT_EQ(err, (std::vector<std::string>{
                     "klaruvexc: The update failed: the program is out of date; the database in "
                     "use is kept."}));
  // Never a program downloaded, never one started.
  EXPECT_TRUE(machine.SimSh().Calls().empty());
  EXPECT_FALSE(platform::FileExists(machine.Files(), Path("kvxup.exe")));
  for (const auto& request : www.Requests()) EXPECT_EQ(request.find("kvxup"), std::string::npos);
}

// The runs the hand-over starts: the copy puts itself in place and starts the
// new program, which only deletes the copy. No window, update or scan, so a
// server that keeps announcing a newer program cannot make them loop.
TEST_F(UpdateTest, HandOverRunsOnlyCompleteTheUpgrade) {
  UseDatabase(DatabaseText(DateLine(5), "[Worm]:C:\\worm.exe"));
  WriteFile("C:\\worm.exe", "MZ a planted sample");
  const auto worm = machine.SimProcs().Start("C:\\worm.exe");
  ServeList(DateLine(6), "Klaruvex Pro v8");
  auto run = [&](std::vector<std::string> args) {
    return app::RunProgram(machine, args, [] {
      ADD_FAILURE() << "a window host was made";
      return std::unique_ptr<ui::Host>();
    });
  };
  // The copy.
  machine.SimSys().SetModulePath(Path("kvxup.exe"));
  WriteFile(Path("kvxup.exe"), "MZ the new program");
  EXPECT_EQ(run({"/handover", "/update", "/scan", "/server", server.Address()}), 0);
  EXPECT_EQ(Disk("klaruvex.exe"), "MZ the new program");
  ASSERT_EQ(machine.SimSh().Calls().size(), 1u);
  EXPECT_EQ(machine.SimSh().Calls()[0].file, Path("klaruvex.exe"));
  EXPECT_EQ(machine.SimSh().Calls()[0].params, "/handover");
  // The new program.
  machine.SimSys().SetModulePath(Path("klaruvex.exe"));
  EXPECT_EQ(run({"/HANDOVER", "/scan"}), 0);
  EXPECT_FALSE(platform::FileExists(machine.Files(), Path("kvxup.exe")));
  EXPECT_EQ(machine.SimSh().Calls().size(), 1u);
  EXPECT_TRUE(www.Requests().empty());
  EXPECT_TRUE(machine.SimProcs().Get(worm));  // no scan ran
  // Anywhere but first it is no switch of the command line.
  EXPECT_EQ(run({"/scan", "/handover"}), app::kExitFailed);
  EXPECT_TRUE(machine.SimProcs().Get(worm));
}

// The general error report: an exception that escapes a handler of the
// update (memory running out as a package merges) is an error box in the
// window, and ends an unattended run with 2 and the message.
TEST_F(UpdateTest, AnExceptionInAHandlerIsReportedAndTheProgramGoesOn) {
  // A database and a package of 600 KiB each: both load, their merge does not.
  const std::string rule = "[Big]:c:\\" + std::string(200, 'b') + "\r\n";
  std::string big;
  while (big.size() < (600u << 10)) big += rule;
  WriteFile(Path("files.dat"), engine::PackDatabase(DateLine(120) + "\r\n[Start]\r\n" + big +
                                                    "_end\r\n", update::LanguageKey(), false));
  const std::string before = Disk("files.dat");
  std::string package = DateLine(121) + "\r\n" + big + "_end\r\n";
  update::EncipherInPlace(package, update::LanguageKey());
  www.Put("/updr2/upd/121.htm", package);
  www.Scenario(R"({"/updr2/files2.htm": {"status": 404}})");
  ServeList(DateLine(121), kBuiltInVersion, "100");
  int code;
  {
    FailAllocations fail(1u << 20);
    code = app::RunProgram(machine, {"/update", "/server", server.Address(), "/report", Path("r.json")},
                           [] { return std::unique_ptr<ui::Host>(); });
  }
  EXPECT_EQ(code, app::kExitFailed);
  const auto r = nlohmann::json::parse(Disk("r.json"), nullptr, false);
  EXPECT_EQ(r["result"], "failed");
  EXPECT_EQ(r["error"], "Out of memory.");
  EXPECT_EQ(Disk("files.dat"), before);

  auto p = StartProgram();
  AnswerDatabaseQuestion(*p, DateLine(121), ui::kIdYes);
  host.Answer(ui::kIdOk, "Out of memory.", "Klaruvex Pro v4 - SE");
  ExpectFailed(*p);  // the complete database, which the server does not have
  {
    FailAllocations fail(1u << 20);
    Check(*p);
  }
  EXPECT_EQ(host.PendingAnswers(), 0u);
  EXPECT_EQ(host.Boxes()[1].spec.icon, ui::Icon::Error);
  EXPECT_EQ(Disk("files.dat"), before);
  EXPECT_TRUE(p->form1->Find("Button7")->Enabled());
}

TEST(UpdateList, UpdateNumbers) {
  struct Case {
    const char* date;
    std::uint32_t number;
  };
  const Case cases[] = {
      {"Database date: 2026-12-01, Upd 1.234", 1234},
      {"Database date: 2026-12-01, Upd 120", 120},
      {"x, Upd 1, Upd 2", 12},
      {"Database date: 2026-12-01", 0},
      {"x, Upd 12a", 0},
      {"x, Upd ", 0},
      {"x, Upd 99999999999", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(update::UpdateNumber(c.date), c.number) << c.date;
}

TEST(UpdateList, HostileListsReadSafely) {
  auto l = update::ParseUpdateList(std::string("Klaruvex Pro\n") + std::string(100000, '\x01'));
  EXPECT_TRUE(l.Usable());
  EXPECT_EQ(l.date.size(), update::kListLineLimit);
  EXPECT_EQ(l.version, "");
  EXPECT_FALSE(update::ParseUpdateList("").Usable());
  EXPECT_FALSE(update::ParseUpdateList("Klaruvex Pro ").Usable());
  auto full = update::ParseUpdateList("Klaruvex Pro\r\nd\r\nv\r\nsha256=" + std::string(64, 'A') +
                                      "\r\n1\r\n100\r\n");
  EXPECT_EQ(full.ProgramDigest(), std::string(64, 'a'));
  EXPECT_TRUE(full.UploadAllowed());
  EXPECT_EQ(full.base, "100");
  EXPECT_EQ(update::ParseUpdateList("Klaruvex Pro\r\n\r\n\r\nsha256=xyz\r\n").ProgramDigest(), "");
}

TEST(UpdateList, PackagesMergeOnlyWhenWhole) {
  const std::string db = "date 1\r\n[S]\r\nr1\r\n_end\r\n";
  struct Case {
    const char* what;
    std::string package;
    bool merges;
  };
  const Case cases[] = {
      {"whole", "date 2\r\nr2\r\n_end\r\n", true},
      {"only a date line", "date 2\r\n_end", true},
      {"no line end", "date 2 r2 _end", false},
      {"no end line", "date 2\r\nr2\r\n", false},
      {"empty", "", false},
  };
  for (const auto& c : cases) {
    std::string merged = db;
    EXPECT_EQ(update::MergePackage(merged, c.package), c.merges) << c.what;
    if (!c.merges) {
      EXPECT_EQ(merged, db) << c.what;
    }
  }
  std::string merged = db;
  ASSERT_TRUE(update::MergePackage(merged, "date 2\r\nr2\r\n_end\r\n"));
  EXPECT_EQ(merged, "date 2\r\n[S]\r\nr1\r\nr2\r\n_end\r\n");
}

TEST(UpgradeProgress, Positions) {
  struct Case {
    std::uint64_t total, readed;
    int position;
  };
  const Case cases[] = {{10000, 0, 0},   {10000, 99, 0},   {10000, 100, 1}, {10000, 101, 1},
                        {10000, 200, 1}, {10000, 201, 2},  {10000, 10000, 99}, {50, 25, 50},
                        {0, 0, 0}};
  for (const auto& c : cases)
    EXPECT_EQ(update::ProgressPosition(c.total, c.readed), c.position) << c.total << " " << c.readed;
}

TEST_F(ProgramFixture, CopyRoleRetriesWhileTheProgramRunsAndGivesUpAfterItsBound) {
  machine.SimSys().SetModulePath(std::string(kFolder) + "kvxup.exe");
  WriteFile(std::string(kFolder) + "kvxup.exe", "MZ new program");
  const std::string target = std::string(kFolder) + "klaruvex.exe";
  {
    app::Program copy(machine, host);
    EXPECT_FALSE(copy.Start());
    machine.SimFiles().Lock(target);
    std::thread release([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      machine.SimFiles().Unlock(target);
    });
    EXPECT_EQ(update::RunUpgradeCopy(copy, {1000, std::chrono::milliseconds(5)}), 0);
    release.join();
    std::string bytes;
    platform::ReadWholeFile(machine.Files(), target, bytes);
    EXPECT_EQ(bytes, "MZ new program");
    ASSERT_EQ(machine.SimSh().Calls().size(), 1u);
    EXPECT_EQ(machine.SimSh().Calls()[0].file, target);
  }
  {
    app::Program copy(machine, host);
    EXPECT_FALSE(copy.Start());
    machine.SimFiles().Lock(target);
    host.Answer(ui::kIdOk, std::nullopt, "Klaruvex Pro");
    EXPECT_EQ(update::RunUpgradeCopy(copy, {3, std::chrono::milliseconds(1)}), 1);
    EXPECT_EQ(host.PendingAnswers(), 0u);
    EXPECT_EQ(machine.SimSh().Calls().size(), 1u);
  }
  {
    // Copied, but the new program does not start: not a success.
    app::Program copy(machine, host);
    EXPECT_FALSE(copy.Start());
    machine.SimFiles().Unlock(target);
    machine.SimSh().FailWith(platform::kAccessDenied);
    host.Answer(ui::kIdOk,
                "Klaruvex Pro has been upgraded but could not be started: start \"" + target +
                    "\" again.",
                "Klaruvex Pro");
    EXPECT_EQ(update::RunUpgradeCopy(copy, {3, std::chrono::milliseconds(1)}), 1);
    EXPECT_EQ(host.PendingAnswers(), 0u);
  }
}

}  // namespace

