// The WinINet network code against real loopback servers started by
// tests/win32/net_servers.sh (drive S: is the served folder), and the whole
// self-upgrade hand-over with a served copy of the program.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "app/all_windows.h"
#include "app/program.h"
#include "engine/threat_database.h"
#include "platform/text.h"
#include "platform/win32/machine.h"
#include "update/http_get.h"
#include "update/unattended_update.h"
#include "update/update_list.h"
#include "update/updater.h"
#include "tests/net/update_scenarios.h"
#include "tests/win32/served_drive.h"

namespace {

using kvxtest::DateLine;
using kvxtest::Port;

class WinNet : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!Port("KVX_HTTP_PORT")) GTEST_SKIP() << "run by tests/win32/net_servers.sh";
    http = "127.0.0.1:" + std::to_string(Port("KVX_HTTP_PORT"));
  }
  void Put(const std::string& path, std::string_view bytes) {
    ASSERT_TRUE(kvxtest::Put(m->Files(), path, bytes)) << path;
  }
  std::string Read(const std::string& path) { return kvxtest::Read(m->Files(), path); }
  std::vector<std::string> Requests() {
    auto lines = kvxtest::Requests(m->Files(), true);
    m->Files().DeleteFile("S:\\_requests.log");
    return lines;
  }

  std::unique_ptr<platform::Machine> m = platform::win32::CreateMachine();
  std::unique_ptr<platform::win32::Win32Host> host = platform::win32::CreateHost();
  std::string http;
};

TEST_F(WinNet, DownloadWorkerThroughWinInet) {
  update::THTTPGet get(*host, m->Net(), m->Files());
  get.Agent = "UtilMind HTTPGet";
  get.BinaryData = true;
  get.WaitThread = true;
  get.FileName = "C:\\kvx\\got.bin";
  std::vector<std::string> events;
  get.OnDoneFile = [&](const std::string&, std::uint64_t size) {
    events.push_back("done " + std::to_string(size));
  };
  get.OnError = [&] { events.push_back("error"); };
  Put("S:\\file.bin", std::string(10000, 'w'));
  struct Case {
    const char* what;
    const char* scenario;
    const char* event;
  };
  const Case cases[] = {
      {"whole", "{}", "done 10000"},
      {"404", R"({"/file.bin": {"status": 404}})", "error"},
      {"short body", R"({"/file.bin": {"declare": 20000}})", "error"},
      {"no Content-Length", R"({"/file.bin": {"no_length": true}})", "error"},
      // WinINet alone waits forever for a stalled body.
      {"stalled body", R"({"/file.bin": {"stall_after": 100}})", "error"},
      {"stalled head", R"({"/file.bin": {"stall_head": true}})", "error"},
  };
  get.stallLimitMs = 2000;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    events.clear();
    Put("S:\\_scenario.json", c.scenario);
    get.URL = "http://" + http + "/file.bin";
    get.GetFile();
    EXPECT_EQ(events, std::vector<std::string>{c.event});
  }
  const auto requests = Requests();
  ASSERT_FALSE(requests.empty());
  EXPECT_EQ(requests[0], "GET /file.bin HTTP/1.0\tAccept: */*\tUtilMind HTTPGet\tno-cache");
}

// A read blocked in WinINet sees the abort at its next check point, which
// the no-progress limit guarantees.
TEST_F(WinNet, AbortEndsAStalledDownload) {
  update::THTTPGet get(*host, m->Net(), m->Files());
  get.stallLimitMs = 3000;
  get.FileName = "C:\\kvx\\got.bin";
  bool error = false;
  get.OnError = [&] { error = true; };
  Put("S:\\file.bin", std::string(10000, 'w'));
  Put("S:\\_scenario.json", R"({"/file.bin": {"stall_after": 100}})");
  get.URL = http + "/file.bin";
  get.GetFile();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  get.Abort();
  while (get.Running()) {
    host->ProcessMessages();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_TRUE(error);
}

TEST_F(WinNet, FtpLoginAllocateAndStoreInActiveMode) {
  platform::FtpServer server{"127.0.0.1", Port("KVX_FTP_PORT"), "tester", "secret"};
  platform::Status error = 0;
  auto session = m->Net().FtpLogin(server, &error);
  ASSERT_TRUE(session) << error;
  const std::string log = "line one\r\nline two\r\n";
  EXPECT_EQ(session->Allocate(log.size()), platform::kOk);
  EXPECT_EQ(session->Store("User1234.txt", log), platform::kOk);
  session.reset();
  EXPECT_EQ(Read("S:\\ftp\\home\\User1234.txt"), log);
  const std::string commands = Read("S:\\ftp\\_commands.log");
  EXPECT_NE(commands.find("ALLO " + std::to_string(log.size())), std::string::npos) << commands;
  EXPECT_NE(commands.find("PORT 127,0,0,1"), std::string::npos) << commands;
  EXPECT_NE(commands.find("STOR User1234.txt"), std::string::npos) << commands;

  server.password = "wrong";
  EXPECT_FALSE(m->Net().FtpLogin(server, &error));
  EXPECT_EQ(error, platform::neterr::kLoginFailure);
}

TEST_F(WinNet, UnattendedIncrementalUpdate) {
  const std::string local = DateLine(120) + "\r\n[Start]\r\n[A]:c:\\a.exe\r\n_end\r\n";
  Put("C:\\kvx\\files.dat", engine::PackDatabase(local, update::LanguageKey()));
  Put("S:\\_scenario.json", "{}");
  Put("S:\\updr2\\list.htm", "Klaruvex Pro\r\n" + DateLine(122) + "\r\n" +
                                 update::kBuiltInVersion + "\r\n\r\n0\r\n100\r\n");
  for (int n : {121, 122}) {
    std::string plain = DateLine(n) + "\r\n[P" + std::to_string(n) + "]:c:\\p.exe\r\n" +
                        std::string(80, ';') + "\r\n_end\r\n";
    update::EncipherInPlace(plain, update::LanguageKey());
    Put("S:\\updr2\\upd\\" + std::to_string(n) + ".htm", plain);
  }
  Requests();
  {
    app::Program p(*m, *host);
    ASSERT_TRUE(p.Start());
    EXPECT_EQ(update::RunUnattendedUpdate(p, http), update::kUpdateDone);
    EXPECT_EQ(p.form1->DatabaseDateText(), DateLine(122));
  }
  EXPECT_EQ(Requests(), (std::vector<std::string>{
                            "GET /updr2/list.htm HTTP/1.0\tAccept: */*\tUtilMind HTTPGet\tno-cache",
                            "GET /updr2/upd/121.htm HTTP/1.0\tAccept: */*\tUtilMind HTTPGet\tno-cache",
                            "GET /updr2/upd/122.htm HTTP/1.0\tAccept: */*\tUtilMind HTTPGet\tno-cache"}));
  std::string text;
  engine::UnpackDatabase(Read("C:\\kvx\\files.dat"), update::LanguageKey(), text);
  EXPECT_EQ(text.substr(0, DateLine(122).size()), DateLine(122));

  // A complete download answered with 404 keeps the database.
  const std::string before = Read("C:\\kvx\\files.dat");
  Put("S:\\updr2\\list.htm", "Klaruvex Pro\r\n" + DateLine(130) + "\r\n" +
                                 update::kBuiltInVersion + "\r\n\r\n0\r\n\r\n");
  {
    app::Program p(*m, *host);
    ASSERT_TRUE(p.Start());
    EXPECT_EQ(update::RunUnattendedUpdate(p, http), update::kUpdateFailed);
  }
  EXPECT_EQ(Read("C:\\kvx\\files.dat"), before);
}

TEST_F(WinNet, SelfUpgradeHandsOverToTheServedProgram) {
  const std::string program = Read("C:\\kvx\\klaruvex.exe");
  ASSERT_FALSE(program.empty());
  // The served program: the same build with bytes of its own at the end.
  const std::string served = program + "KVX-SERVED-BUILD";
  Put("C:\\upg\\klaruvex.exe", program);
  Put("C:\\upg\\files.dat", Read("C:\\kvx\\files.dat"));
  Put("S:\\_scenario.json", "{}");
  Put("S:\\updr2\\kvxup.htm", served);
  std::string date;
  engine::UnpackDatabase(Read("C:\\upg\\files.dat"), update::LanguageKey(), date);
  date = date.substr(0, date.find('\r'));
  Put("S:\\updr2\\list.htm", "Klaruvex Pro\r\n" + date +
                                 "\r\nKlaruvex Pro v8 - SE\r\nsha256=" + update::Sha256Hex(served) +
                                 "\r\n0\r\n\r\n");
  ASSERT_EQ(m->Sh().Execute("open", "C:\\upg\\klaruvex.exe", "/update /server " + http, "C:\\upg",
                            platform::kShowNormal),
            platform::kOk);
  // klaruvex.exe downloads kvxup.exe and starts it; kvxup.exe copies itself
  // over klaruvex.exe and starts it; the new klaruvex.exe deletes kvxup.exe.
  // Told that the run is unattended, each ends by itself, with no window.
  bool handedOver = false;
  for (int i = 0; i < 600 && !handedOver; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    handedOver = Read("C:\\upg\\klaruvex.exe") == served &&
                 !platform::FileExists(m->Files(), "C:\\upg\\kvxup.exe") &&
                 !kvxtest::ProgramRunsFrom(*m, "c:\\upg\\");
  }
  EXPECT_TRUE(handedOver);
}

}  // namespace
