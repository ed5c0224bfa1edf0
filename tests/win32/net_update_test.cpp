// The database update, the upgrade window and the log upload on the real
// Win32 machine (WinINet, the real disk and registry) against the loopback
// servers of tests/win32/net_servers.sh; the boxes are answered by the
// headless host's script.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <regex>
#include <thread>

#include "app/all_windows.h"
#include "app/options.h"
#include "app/program.h"
#include "engine/threat_database.h"
#include "platform/win32/machine.h"
#include "ui/headless_host.h"
#include "update/log_upload.h"
#include "update/update_list.h"
#include "update/updater.h"
#include "tests/net/update_scenarios.h"
#include "tests/win32/served_drive.h"

namespace {

using update::kBuiltInVersion;

using kvxtest::DatabaseText;
using kvxtest::DateLine;
using kvxtest::Package;
using kvxtest::Port;

class WinNetUpdate : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!Port("KVX_HTTP_PORT")) GTEST_SKIP() << "run by tests/win32/net_servers.sh";
    host.onUnexpected = [](const std::string& what) { ADD_FAILURE() << what; };
    auto key = m->Reg().Create(platform::Hive::CurrentUser, app::kOptionsKey,
                               platform::keyaccess::kAllAccess);
    key->WriteString("UpdateServer", "127.0.0.1:" + std::to_string(Port("KVX_HTTP_PORT")));
    key->WriteString("UploadServer", "127.0.0.1:" + std::to_string(Port("KVX_FTP_PORT")));
    Put("S:\\_scenario.json", "{}");
    m->Files().DeleteFile("S:\\_requests.log");
  }
  void Put(const std::string& path, std::string_view bytes) {
    ASSERT_TRUE(kvxtest::Put(m->Files(), path, bytes)) << path;
  }
  std::string Read(const std::string& path) { return kvxtest::Read(m->Files(), path); }
  std::vector<std::string> Requests() { return kvxtest::Requests(m->Files(), false); }
  void ServeList(const std::string& date, const std::string& version = kBuiltInVersion,
                 const std::string& base = "", const std::string& upload = "0") {
    Put("S:\\updr2\\list.htm", "Klaruvex Pro\r\n" + date + "\r\n" + version + "\r\n\r\n" + upload +
                                   "\r\n" + base + "\r\n");
  }
  std::unique_ptr<app::Program> Start(const std::string& localText) {
    Put("C:\\kvx\\files.dat", engine::PackDatabase(localText, update::LanguageKey()));
    auto p = std::make_unique<app::Program>(*m, host);
    EXPECT_TRUE(p->Start());
    p->app.Run();
    return p;
  }
  void Check(app::Program& p) { kvxtest::Check(p, host); }
  void WaitIdle(app::Program& p) { kvxtest::WaitIdle(p, host); }
  std::string DiskText() {
    std::string text;
    engine::UnpackDatabase(Read("C:\\kvx\\files.dat"), update::LanguageKey(), text);
    return text;
  }
  void AnswerDatabaseQuestion(app::Program& p, const std::string& date) {
    host.Answer(ui::kIdYes, p.msg[104] + "\r" + p.msg[105] + date, p.msg[23]);
  }

  std::unique_ptr<platform::Machine> m = platform::win32::CreateMachine();
  ui::HeadlessHost host;
};

TEST_F(WinNetUpdate, EqualVersionsAndOutdatedProgramDeclined) {
  ServeList(DateLine(5));
  {
    auto p = Start(DatabaseText(DateLine(5)));
    Check(*p);
    EXPECT_EQ(p->updater->updateState, 1);
    host.Answer(ui::kIdOk, p->msg[63], p->msg[23]);
    p->form1->Find("Button7")->Click();
    WaitIdle(*p);
  }
  ServeList(DateLine(6), "Klaruvex Pro v8");
  {
    auto p = Start(DatabaseText(DateLine(5)));
    host.Answer(ui::kIdNo);
    host.Answer(ui::kIdOk, p->msg[103], p->msg[23]);
    Check(*p);
  }
  EXPECT_EQ(host.PendingAnswers(), 0u);
  EXPECT_EQ(Requests().size(), 3u);
}

TEST_F(WinNetUpdate, ChainAndItsFallbacks) {
  const std::string served = DatabaseText(DateLine(123), "[New]:c:\\new.exe");
  Put("S:\\updr2\\files2.htm", engine::PackDatabase(served, update::LanguageKey()));
  for (int n : {121, 122, 123}) Put("S:\\updr2\\upd\\" + std::to_string(n) + ".htm", Package(n));
  struct Case {
    const char* what;
    int local;
    const char* scenario;
    const char* last;
  };
  const Case cases[] = {
      {"chain", 120, "{}", "GET /updr2/upd/123.htm HTTP/1.0"},
      {"L = 0", 0, "{}", "GET /updr2/files2.htm HTTP/1.0"},
      {"99-byte package", 120, R"({"/updr2/upd/122.htm": {"declare": 99}})",
       "GET /updr2/files2.htm HTTP/1.0"},
      {"failed package", 120, R"({"/updr2/upd/122.htm": {"status": 404}})",
       "GET /updr2/files2.htm HTTP/1.0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ServeList(DateLine(123), kBuiltInVersion, "100");
    Put("S:\\_scenario.json", c.scenario);
    m->Files().DeleteFile("S:\\_requests.log");
    auto p = Start(DatabaseText(c.local ? DateLine(c.local) : "Database date: 2026-12-01"));
    AnswerDatabaseQuestion(*p, DateLine(123));
    host.Answer(ui::kIdOk, p->msg[91] + DateLine(123), "Klaruvex Pro Info");
    Check(*p);
    EXPECT_EQ(host.PendingAnswers(), 0u);
    EXPECT_EQ(Requests().back(), c.last);
    EXPECT_EQ(DiskText().substr(0, DateLine(123).size()), DateLine(123));
    EXPECT_EQ(p->form1->DatabaseDateText(), DateLine(123));
  }
}

TEST_F(WinNetUpdate, FailedAndDamagedDownloadsKeepTheDatabase) {
  struct Case {
    const char* what;
    std::string served;
    const char* scenario;
  };
  const Case cases[] = {
      {"404", std::string(500, 'x'), R"({"/updr2/files2.htm": {"status": 404}})"},
      {"damaged", std::string(500, 'x'), "{}"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Put("S:\\updr2\\files2.htm", c.served);
    Put("S:\\_scenario.json", c.scenario);
    ServeList(DateLine(123));
    auto p = Start(DatabaseText(DateLine(120)));
    const std::string before = Read("C:\\kvx\\files.dat");
    AnswerDatabaseQuestion(*p, DateLine(123));
    host.Answer(ui::kIdOk, p->msg[95], p->msg[2]);
    Check(*p);
    EXPECT_EQ(host.PendingAnswers(), 0u);
    EXPECT_EQ(Read("C:\\kvx\\files.dat"), before);
    EXPECT_EQ(p->form1->DatabaseDateText(), DateLine(120));
  }
}

TEST_F(WinNetUpdate, CancelLeavesNoCopyBehind) {
  Put("S:\\updr2\\kvxup.htm", std::string(5000, 'n'));
  Put("S:\\_scenario.json", R"({"/updr2/kvxup.htm": {"stall_after": 1000}})");
  ServeList(DateLine(5), "Klaruvex Pro v8");
  auto p = Start(DatabaseText(DateLine(5)));
  p->form4->Get1.stallLimitMs = 3000;
  host.Answer(ui::kIdYes);
  p->updater->StartListCheck();
  while (!p->form4->Visible() || !platform::FileExists(m->Files(), "C:\\kvx\\kvxup.exe")) {
    host.ProcessMessages();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  host.Answer(ui::kIdYes, p->msg[151], p->msg[28]);
  host.Answer(ui::kIdYes, p->msg[151], p->msg[28]);
  p->form4->Find("xpButton1")->Click();
  WaitIdle(*p);
  EXPECT_EQ(host.PendingAnswers(), 0u);
  EXPECT_TRUE(p->form1->Enabled());
  EXPECT_FALSE(platform::FileExists(m->Files(), "C:\\kvx\\kvxup.exe"));
}

TEST_F(WinNetUpdate, LogUploadStoresTheFileAndARefusedLoginSaysSo) {
  auto p = Start(DatabaseText(DateLine(5)));
  p->updater->logLines = [] { return update::LogLines{{"c:\\b.exe|md5|20"}, {"Infected: x"}}; };
  p->updater->logUploadSwitch = true;
  host.Answer(ui::kIdYes, p->msg[27], p->msg[28]);
  host.Answer(ui::kIdOk, p->msg[123], p->msg[23]);
  update::OfferLogUpload(*p, false);
  EXPECT_EQ(host.PendingAnswers(), 0u);
  EXPECT_EQ(p->form1->sb1->PanelText(0), p->msg[124]);
  const std::string log = "c:\\b.exe|md5|20\r\nInfected: x\r\n";
  std::vector<std::string> stored;
  platform::FindData d;
  if (auto h = m->Files().FindFirst("S:\\ftp\\home\\*.txt", d)) {
    do stored.push_back(d.name);
    while (h->Next(d));
  }
  const std::string user = m->Sys().UserName();
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_TRUE(std::regex_match(stored[0], std::regex(user + "[0-9]{1,4}\\.txt"))) << stored[0];
  EXPECT_EQ(Read("S:\\ftp\\home\\" + stored[0]), log);
  const std::string commands = Read("S:\\ftp\\_commands.log");
  EXPECT_LT(commands.find("ALLO " + std::to_string(log.size())), commands.find("STOR " + stored[0]));

  // A server that does not know the account.
  auto key = m->Reg().Create(platform::Hive::CurrentUser, app::kOptionsKey,
                             platform::keyaccess::kAllAccess);
  key->WriteString("UploadServer", "127.0.0.1:" + std::to_string(Port("KVX_FTP_REFUSING_PORT")));
  p->updater->logUploadSwitch = true;
  host.Answer(ui::kIdYes, p->msg[27], p->msg[28]);
  host.Answer(ui::kIdOk, p->msg[125], p->msg[2]);
  update::OfferLogUpload(*p, false);
  EXPECT_EQ(host.PendingAnswers(), 0u);
  EXPECT_EQ(p->form1->sb1->PanelText(0), p->msg[126]);
}

}  // namespace
