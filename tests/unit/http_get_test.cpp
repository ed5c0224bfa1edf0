// The download worker against a real HTTP server on the loopback interface.
#include <gtest/gtest.h>

#include "tests/unit/loopback_servers.h"
#include "tests/unit/sim_fixture.h"
#include "ui/headless_host.h"
#include "update/http_get.h"

namespace {

class HttpGetTest : public SimFixture {
 protected:
  HttpGetTest() {
    get.Agent = "UtilMind HTTPGet";
    get.URL = "http://" + server.Address() + "/file.bin";
    get.FileName = "C:\\file.bin";
    get.OnProgress = [this](std::uint64_t total, std::uint64_t readed) {
      progress.push_back({total, readed});
    };
    get.OnDoneFile = [this](const std::string& name, std::uint64_t size) {
      events.push_back("done " + name + " " + std::to_string(size));
    };
    get.OnError = [this] { events.push_back("error"); };
  }

  void WaitUntilIdle() {
    while (get.Running()) {
      host.ProcessMessages();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  // One waiting download of /file.bin over an old "C:\file.bin".
  void Fetch(const char* scenario) {
    events.clear();
    progress.clear();
    WriteFile("C:\\file.bin", "old");
    www.Scenario(scenario);
    get.WaitThread = true;
    get.GetFile();
  }
  std::string Saved() {
    std::string bytes;
    platform::ReadWholeFile(machine.Files(), "C:\\file.bin", bytes);
    return bytes;
  }

  ServedFolder www;
  LoopbackServer server{"http_scenario.py", {"--root", www.dir.string()}};
  ui::HeadlessHost host;
  update::THTTPGet get{host, machine.Net(), machine.Files()};
  std::vector<std::string> events;
  std::vector<std::pair<std::uint64_t, std::uint64_t>> progress;
};

TEST_F(HttpGetTest, WaitingDownloadSavesTheBodyAndSendsTheRequestOfTheProgram) {
  const std::string body(10000, 'x');
  www.Put("/file.bin", body);
  get.WaitThread = true;
  get.GetFile();
  // With WaitThread the done handler has run when GetFile returns.
  EXPECT_EQ(events, std::vector<std::string>{"done C:\\file.bin 10000"});
  EXPECT_FALSE(get.Running());
  EXPECT_TRUE(get.Succeeded());
  EXPECT_EQ(Saved(), body);
  ASSERT_FALSE(progress.empty());
  EXPECT_EQ(progress.back(), (std::pair<std::uint64_t, std::uint64_t>{10000, 10000}));
  EXPECT_EQ(www.Requests(true),
            std::vector<std::string>{"GET /file.bin HTTP/1.0\tAccept: */*\tUtilMind HTTPGet\tno-cache"});
}

TEST_F(HttpGetTest, PostQueryMakesAPost) {
  www.Put("/file.bin", std::string(150, 'p'));
  get.PostQuery = "name=value";
  get.WaitThread = true;
  get.GetFile();
  EXPECT_EQ(events, std::vector<std::string>{"done C:\\file.bin 150"});
  EXPECT_EQ(www.Requests(), std::vector<std::string>{"POST /file.bin HTTP/1.0"});
}

TEST_F(HttpGetTest, AnswersThatAreNotTheWholeFileAreErrors) {
  struct Case {
    const char* what;
    const char* scenario;
    bool binaryData;
    const char* event;
  };
  const Case cases[] = {
      {"whole file", "{}", true, "done C:\\file.bin 300"},
      {"no Content-Length, empty allowed only", R"({"/file.bin": {"no_length": true}})", false, "error"},
      {"no Content-Length, binary", R"({"/file.bin": {"no_length": true}})", true, "error"},
      {"short body", R"({"/file.bin": {"declare": 5000}})", true, "error"},
      // A status other than 200 is an error page, never the file.
      {"404 of the announced length", R"({"/file.bin": {"status": 404}})", true, "error"},
      {"500", R"({"/file.bin": {"status": 500}})", false, "error"},
  };
  www.Put("/file.bin", std::string(300, 'b'));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    get.BinaryData = c.binaryData;
    Fetch(c.scenario);
    EXPECT_EQ(events, std::vector<std::string>{c.event});
    if (std::string(c.scenario).find("status") != std::string::npos) {
      EXPECT_EQ(Saved(), "old");
    }
  }
}

TEST_F(HttpGetTest, UrlWithoutSchemeAndSecondStartWhileRunning) {
  www.Put("/file.bin", std::string(200, 'c'));
  www.Scenario(R"({"/file.bin": {"stall_after": 100}})");
  get.URL = server.Address() + "/file.bin";
  get.stallLimitMs = 1000;
  get.GetFile();  // returns at once
  EXPECT_TRUE(get.Running());
  get.URL = server.Address() + "/other.bin";
  get.GetFile();  // ignored
  WaitUntilIdle();
  // The stalled body ran into the no-progress limit.
  EXPECT_EQ(events, std::vector<std::string>{"error"});
  EXPECT_EQ(www.Requests(), std::vector<std::string>{"GET /file.bin HTTP/1.0"});

  www.Scenario("{}");
  events.clear();
  get.URL = server.Address() + "/file.bin";
  get.WaitThread = true;
  get.GetFile();
  EXPECT_EQ(events, std::vector<std::string>{"done C:\\file.bin 200"});
}

TEST_F(HttpGetTest, AbortEndsAStalledDownloadWithTheErrorHandler) {
  for (const char* scenario : {R"({"/file.bin": {"stall_head": true}})",
                               R"({"/file.bin": {"stall_after": 10}})"}) {
    SCOPED_TRACE(scenario);
    events.clear();
    www.Put("/file.bin", std::string(200, 'd'));
    www.Scenario(scenario);
    get.GetFile();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    get.Abort();
    WaitUntilIdle();
    EXPECT_EQ(events, std::vector<std::string>{"error"});
    EXPECT_FALSE(get.Succeeded());
  }
}

TEST_F(HttpGetTest, ClosedPortAndMissingHostFail) {
  for (const char* url : {"http://127.0.0.1:1/file.bin", "file.bin", "http://127.0.0.1:99999/x"}) {
    SCOPED_TRACE(url);
    events.clear();
    get.URL = url;
    get.WaitThread = true;
    get.GetFile();
    EXPECT_EQ(events, std::vector<std::string>{"error"});
  }
}

TEST_F(HttpGetTest, EveryDownloadIsHeldToItsCapAndAFailedOneLeavesNoFile) {
  www.Put("/file.bin", std::string(300, 'b'));
  struct Case {
    const char* what;
    const char* scenario;
    std::uint64_t cap;
    const char* event;
    bool anyProgress;
  };
  const Case cases[] = {
      {"at the cap", "{}", 300, "done C:\\file.bin 300", true},
      // Refused at the head: not a byte is read or written.
      {"announced above the cap", "{}", 299, "error", false},
      {"announced at 3 GiB", R"({"/file.bin": {"declare": 3221225472}})", 64ull << 20, "error", false},
      // No length: held to the cap while it comes.
      {"endless without a length", R"({"/file.bin": {"endless": true}})", 64 << 10, "error", true},
      {"short body", R"({"/file.bin": {"declare": 5000}})", 64 << 10, "error", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    get.MaxSize = c.cap;
    Fetch(c.scenario);
    EXPECT_EQ(events, std::vector<std::string>{c.event});
    EXPECT_EQ(!progress.empty(), c.anyProgress);
    for (const auto& [total, readed] : progress) EXPECT_LE(readed, c.cap);
    if (c.event == std::string("error")) {
      // A refused head leaves the file alone; a failed body takes it away whole.
      EXPECT_EQ(platform::FileExists(machine.Files(), "C:\\file.bin"), !c.anyProgress);
    }
  }
}

// A network call that ignores the stop request until the test lets it go,
// as a read blocked in the system does.
class BlockingNetwork final : public platform::Network {
 public:
  platform::Status HttpTransfer(const platform::HttpRequest&, const platform::HttpSink& sink,
                                const std::atomic<bool>&) override {
    sink.onHead(200, 10);
    sink.onData("abcde", 5);
    entered = true;
    while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    returned = true;
    return platform::neterr::kConnectionAborted;
  }
  std::unique_ptr<platform::FtpSession> FtpLogin(const platform::FtpServer&,
                                                 platform::Status*) override {
    return nullptr;
  }
  std::atomic<bool> entered{false}, release{false}, returned{false};
};

TEST_F(HttpGetTest, AComponentGoesAwayOnlyOnceItsWorkerHasLetGo) {
  BlockingNetwork net;
  auto blocked = std::make_unique<update::THTTPGet>(host, net, machine.Files());
  blocked->URL = "http://127.0.0.1:1/file.bin";
  blocked->FileName = "C:\\blocked.bin";
  bool handled = false;
  blocked->OnDoneFile = [&](const std::string&, std::uint64_t) { handled = true; };
  blocked->OnError = [&] { handled = true; };
  blocked->GetFile();
  while (!net.entered) host.ProcessMessages();
  std::thread release([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    net.release = true;
  });
  blocked.reset();
  // The worker had returned from the network and removed its partial file.
  EXPECT_TRUE(net.returned);
  EXPECT_FALSE(platform::FileExists(machine.Files(), "C:\\blocked.bin"));
  release.join();
  host.ProcessMessages();
  EXPECT_FALSE(handled);
}

TEST(UrlSplit, HostPortAndPath) {
  struct Case {
    const char* url;
    const char* host;
    int port;
    const char* path;
    bool valid;
  };
  const Case cases[] = {
      {"http://www.example/updr2/list.htm", "www.example", 80, "/updr2/list.htm", true},
      {"www.example/updr2/list.htm", "www.example", 80, "/updr2/list.htm", true},
      {"HTTP://127.0.0.1:8080/a", "127.0.0.1", 8080, "/a", true},
      {"list.htm", "", 80, "list.htm", false},
      {"http://h:0/a", "", 80, "/a", false},
      {"http://:80/a", "", 80, "/a", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.url);
    auto u = update::SplitUrl(c.url);
    EXPECT_EQ(u.valid, c.valid);
    if (c.valid) {
      EXPECT_EQ(u.host, c.host);
      EXPECT_EQ(u.port, c.port);
    }
    EXPECT_EQ(u.path, c.path);
  }
}

}  // namespace
