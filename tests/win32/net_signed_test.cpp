// The real klaruvex.exe against the loopback servers of
// tests/win32/net_servers.sh: the default build's bounded downloads, the
// signed channel of the same program built with the tests' key
// (klaruvex_testkey.exe), and an unattended scan that hands over to a new
// program when it is done.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <process.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "app/options.h"
#include "engine/threat_database.h"
#include "platform/text.h"
#include "platform/win32/machine.h"
#include "tests/net/update_scenarios.h"
#include "tests/win32/served_drive.h"

namespace {

using kvxtest::DatabaseText;
using kvxtest::DateLine;
using kvxtest::Package;
using kvxtest::Port;
using kvxtest::SignList;

constexpr const char* kFolder = "C:\\sgn\\";

class WinNetSigned : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!Port("KVX_HTTP_PORT")) GTEST_SKIP() << "run by tests/win32/net_servers.sh";
    http = "127.0.0.1:" + std::to_string(Port("KVX_HTTP_PORT"));
    Put("S:\\_scenario.json", "{}");
    m->Files().DeleteFile("S:\\_requests.log");
    m->Files().DeleteFile("S:\\updr2\\list.sig");
    m->Reg()
        .Create(platform::Hive::CurrentUser, app::kOptionsKey, platform::keyaccess::kAllAccess)
        ->DeleteValue("UpdateSerial");
  }
  void Put(const std::string& path, std::string_view bytes) {
    ASSERT_TRUE(kvxtest::Put(m->Files(), path, bytes)) << path;
  }
  std::string Read(const std::string& path) { return kvxtest::Read(m->Files(), path); }
  bool Exists(const std::string& name) { return platform::FileExists(m->Files(), kFolder + name); }
  // The program folder with the program of this build ("klaruvex.exe") or
  // the one with the tests' key, and a database of the given text.
  void Install(const char* program, const std::string& text) {
    Put(std::string(kFolder) + "klaruvex.exe", Read(std::string("C:\\kvx\\") + program));
    Put(std::string(kFolder) + "files.dat", engine::PackDatabase(text, update::LanguageKey()));
    for (const char* name : {"kvxup.exe", "r.json"}) m->Files().DeleteFile(kFolder + std::string(name));
  }
  // Runs the installed program to its end; its exit code.
  int Run(std::vector<std::string> args) {
    const std::string exe = std::string(kFolder) + "klaruvex.exe";
    args.insert(args.end(), {"/server", http, "/report", std::string(kFolder) + "r.json"});
    std::vector<const char*> argv{exe.c_str()};
    for (const auto& a : args) argv.push_back(a.c_str());
    argv.push_back(nullptr);
    return static_cast<int>(_spawnv(_P_WAIT, exe.c_str(), argv.data()));
  }
  nlohmann::json Report() { return nlohmann::json::parse(Read(std::string(kFolder) + "r.json"), nullptr, false); }
  std::string DiskText() {
    std::string text;
    engine::UnpackDatabase(Read(std::string(kFolder) + "files.dat"), update::LanguageKey(), text);
    return text;
  }
  std::string List(const std::string& date, const std::string& base = "",
                   const std::string& version = update::kBuiltInVersion,
                   const std::string& line4 = "") {
    return "Klaruvex Pro\r\n" + date + "\r\n" + version + "\r\n" + line4 + "\r\n0\r\n" + base + "\r\n";
  }
  void Publish(const kvxtest::SignedList& l) {
    Put("S:\\updr2\\list.htm", l.list);
    Put("S:\\updr2\\list.sig", l.signature);
  }

  std::unique_ptr<platform::Machine> m = platform::win32::CreateMachine();
  std::string http;
};

TEST_F(WinNetSigned, TheDefaultBuildHoldsEveryDownloadToItsCap) {
  Install("klaruvex.exe", DatabaseText(DateLine(120)));
  const std::string before = Read(std::string(kFolder) + "files.dat");
  Put("S:\\updr2\\list.htm", List(DateLine(123)));
  Put("S:\\updr2\\files2.htm", engine::PackDatabase(DatabaseText(DateLine(123)), update::LanguageKey()));
  // An answer to the list without a length that never ends.
  Put("S:\\_scenario.json", R"({"/updr2/list.htm": {"endless": true}})");
  auto start = std::chrono::steady_clock::now();
  auto elapsed = [&start] {
    return static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                      std::chrono::steady_clock::now() - start)
                                      .count());
  };
  EXPECT_EQ(Run({"/update"}), 2);
  const long long ms = elapsed();
  EXPECT_EQ(Report()["signed"], false);
  EXPECT_EQ(Report()["error"],
            "The update failed: the update list could not be downloaded; the database in use is "
            "kept.");
  EXPECT_FALSE(Exists("list.htm"));
  EXPECT_EQ(Read(std::string(kFolder) + "files.dat"), before);
  const std::string sent = Read("S:\\_endless.log");
  ASSERT_EQ(sent.rfind("/updr2/list.htm ", 0), 0u) << sent;
  EXPECT_LT(std::stoull(sent.substr(16)), 64ull << 20);
  std::printf("endless list: /update ended after %lld ms, the server sent %s", ms,
              sent.substr(16).c_str());

  // A complete database announced at 3 GiB.
  Put("S:\\_scenario.json", R"({"/updr2/files2.htm": {"declare": 3221225472}})");
  start = std::chrono::steady_clock::now();
  EXPECT_EQ(Run({"/update"}), 2);
  // For comparison: a whole run whose list is read at once.
  std::printf("database announced at 3 GiB: /update ended after %lld ms\n", elapsed());
  EXPECT_FALSE(Exists("filess.dat"));
  EXPECT_EQ(Read(std::string(kFolder) + "files.dat"), before);
  EXPECT_EQ(kvxtest::Requests(m->Files(), false).back(), "GET /updr2/files2.htm HTTP/1.0");
}

TEST_F(WinNetSigned, TheSignedProgramTakesOnlyWhatTheSignedListVouchesFor) {
  const std::string complete =
      engine::PackDatabase(DatabaseText(DateLine(123), "[New]:c:\\new.exe"), update::LanguageKey());
  std::vector<std::pair<std::string, std::string>> files = {{"/updr2/files2.htm", complete}};
  for (int n : {121, 122, 123}) {
    Put("S:\\updr2\\upd\\" + std::to_string(n) + ".htm", Package(n));
    files.emplace_back(update::PackagePath(n), Package(n));
  }
  Put("S:\\updr2\\files2.htm", complete);
  const auto chain = SignList(List(DateLine(123), "100"), 7, files);
  const auto noChain = SignList(List(DateLine(123)), 7, {{"/updr2/files2.htm", complete + "x"}});
  struct Case {
    const char* what;
    kvxtest::SignedList list;
    std::uint32_t stored;
    int code;
  };
  const Case cases[] = {
      {"a good signed chain", chain, 0, 0},
      {"a bad signature", {chain.list, SignList(List(DateLine(124)), 7, {}).signature}, 0, 2},
      {"no signature", {chain.list, ""}, 0, 2},
      {"a database whose hash differs", noChain, 0, 2},
      {"a serial below the one taken before", chain, 8, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Install("klaruvex_testkey.exe", DatabaseText(DateLine(120)));
    const std::string before = Read(std::string(kFolder) + "files.dat");
    if (c.stored)
      m->Reg().Create(platform::Hive::CurrentUser, app::kOptionsKey, platform::keyaccess::kAllAccess)
          ->WriteDword("UpdateSerial", c.stored);
    Publish(c.list);
    if (c.list.signature.empty()) m->Files().DeleteFile("S:\\updr2\\list.sig");
    EXPECT_EQ(Run({"/update"}), c.code);
    EXPECT_EQ(Report()["signed"], true);
    if (c.code == 0) {
      EXPECT_EQ(DiskText().substr(0, DateLine(123).size()), DateLine(123));
      EXPECT_EQ(kvxtest::Requests(m->Files(), false).back(), "GET /updr2/upd/123.htm HTTP/1.0");
    } else {
      EXPECT_EQ(Read(std::string(kFolder) + "files.dat"), before);
    }
    for (const char* name : {"list.htm", "list.sig", "filess.dat", "Upd.dat"}) EXPECT_FALSE(Exists(name)) << name;
  }

  // A program whose hash differs is deleted and never started.
  const std::string installed = Read("C:\\kvx\\klaruvex_testkey.exe");
  Put("S:\\updr2\\kvxup.htm", installed + "KVX-SERVED-BUILD");
  Publish(SignList(List(DateLine(120), "", "Klaruvex Pro v8 - SE"), 9,
                   {{"/updr2/kvxup.htm", installed + "another build"}}));
  Install("klaruvex_testkey.exe", DatabaseText(DateLine(120)));
  EXPECT_EQ(Run({"/update"}), 2);
  EXPECT_EQ(Report()["error"],
            "The update failed: the downloaded program does not match the update list; the "
            "database in use is kept.");
  EXPECT_FALSE(Exists("kvxup.exe"));
  EXPECT_EQ(Read(std::string(kFolder) + "klaruvex.exe"), installed);
}

TEST_F(WinNetSigned, AnUnattendedScanHandsOverToTheNewProgramWhenItIsDone) {
  Put("C:\\planted\\sample.exe", "MZ a harmless planted sample");
  Install("klaruvex.exe", DatabaseText(DateLine(5), "[Sample]:C:\\planted\\sample.exe"));
  const std::string program = Read(std::string(kFolder) + "klaruvex.exe");
  const std::string served = program + "KVX-SERVED-BUILD";
  Put("S:\\updr2\\kvxup.htm", served);
  Put("S:\\updr2\\list.htm", List(DateLine(6), "", "Klaruvex Pro v8 - SE",
                                  "sha256=" + update::Sha256Hex(served)));
  EXPECT_EQ(Run({"/update", "/scan"}), 1);
  const auto r = Report();
  EXPECT_EQ(r["update"], "upgrade started");
  EXPECT_EQ(r["result"], "infected");
  ASSERT_EQ(r["findings"].size(), 1u);
  EXPECT_EQ(r["findings"][0]["path"], "C:\\planted\\sample.exe");
  // klaruvex.exe started kvxup.exe, which copied itself over klaruvex.exe and
  // started it; that one deleted kvxup.exe. Each ended by itself.
  bool done = false;
  for (int i = 0; i < 600 && !done; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    done = Read(std::string(kFolder) + "klaruvex.exe") == served && !Exists("kvxup.exe") &&
           !kvxtest::ProgramRunsFrom(*m, "c:\\sgn\\");
  }
  EXPECT_TRUE(done);
  EXPECT_EQ(kvxtest::Requests(m->Files(), false),
            (std::vector<std::string>{"GET /updr2/list.htm HTTP/1.0", "GET /updr2/kvxup.htm HTTP/1.0"}));
}

}  // namespace
