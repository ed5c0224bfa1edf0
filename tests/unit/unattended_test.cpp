// "klaruvex.exe /scan [/db FILE] [/report FILE]": no window, no box, a JSON
// report and the exit code.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "app/unattended.h"
#include "engine/helpers.h"
#include "tests/unit/scan_fixture.h"

namespace {

class UnattendedTest : public ScanFixture {
 protected:
  int Run(std::vector<std::string> args) {
    return app::RunProgram(machine, args, [] {
      ADD_FAILURE() << "a window host was made";
      return std::unique_ptr<ui::Host>();
    });
  }
  nlohmann::json Report(const std::string& path = "C:\\out\\report.json") {
    std::string bytes;
    EXPECT_EQ(platform::ReadWholeFile(machine.Files(), path, bytes), platform::kOk);
    return nlohmann::json::parse(bytes, nullptr, false);
  }
  void SetUp() override { std::filesystem::create_directories(root / "out"); }
};

TEST_F(UnattendedTest, CleanMachineExitsZero) {
  Database({"[Start]", "[Nothing]:C:\\nowhere.exe"});
  WriteFile("C:\\Apps\\app.exe", "MZ an ordinary program");
  machine.SimProcs().Start("C:\\Apps\\app.exe");
  EXPECT_EQ(Run({"/SCAN", "/Report", "C:\\out\\report.json"}), app::kExitClean);
  auto r = Report();
  EXPECT_EQ(r["result"], "clean");
  EXPECT_EQ(r["program"], "Klaruvex Pro v4 - SE");
  EXPECT_EQ(r["databaseDate"], "Database date: 2026-12-01 (r0001)");
  EXPECT_EQ(r["databaseFile"], std::string(kFolder) + "files.dat");
  EXPECT_TRUE(r["findings"].empty());
  EXPECT_EQ(r["inventory"], nlohmann::json::array(
                                {"Proc C:\\Apps\\app.exe[" + engine::Md5Hex("MZ an ordinary program") +
                                 "][22]"}));
  EXPECT_FALSE(r.contains("error"));
  EXPECT_EQ(r["started"].get<std::string>().size(), 20u);  // 2026-12-10T04:00:00Z
  EXPECT_TRUE(host.Boxes().empty());
}

TEST_F(UnattendedTest, InfectedMachineReportsEveryFinding) {
  WriteFile("C:\\bad\\w\xE9rm.exe", "MZ worm");
  WriteFile("C:\\bad\\nest\\a.txt", "a");
  const auto pid = machine.SimProcs().Start("C:\\bad\\w\xE9rm.exe");
  WriteFile("C:\\other.dat",
            engine::PackDatabase("Other date\r\n[Start]\r\n[Worm]:C:\\bad\\w\xE9rm.exe\r\n"
                                 "[Nest]:C:\\bad\\nest\\\\\r\n_end\r\n",
                                 update::LanguageKey()));
  EXPECT_EQ(Run({"/scan", "/db", "C:\\other.dat", "/report", "C:\\out\\report.json"}),
            app::kExitFound);
  EXPECT_FALSE(machine.SimProcs().Get(pid));
  auto r = Report();
  EXPECT_EQ(r["result"], "infected");
  EXPECT_EQ(r["databaseDate"], "Other date");
  const auto want = nlohmann::json::parse(R"([
    {"threat": "Worm", "path": "C:\\bad\\w\u00e9rm.exe", "type": "file", "inInfectedFolder": false,
     "size": 7, "md5": ")" + engine::Md5Hex("MZ worm") + R"(", "processTerminated": true},
    {"threat": "Nest", "path": "C:\\bad\\nest", "type": "folder", "inInfectedFolder": false,
     "size": null, "md5": null, "processTerminated": false},
    {"threat": "Nest", "path": "C:\\bad\\nest\\a.txt", "type": "file", "inInfectedFolder": true,
     "size": 1, "md5": ")" + engine::Md5Hex("a") + R"(", "processTerminated": false}])");
  EXPECT_EQ(r["findings"], want);
}

TEST_F(UnattendedTest, ScanThatCannotRunExitsTwoWithTheReason) {
  std::string broken = engine::PackDatabase("date\r\n[A]:c:\\a.exe\r\n_end\r\n", update::LanguageKey());
  broken.resize(broken.size() / 2);
  WriteFile("C:\\broken.dat", broken);
  // A bzip2 bomb: a few bytes that would unpack past the cap.
  WriteFile("C:\\bomb.dat", engine::PackDatabase(std::string(engine::kMaxDatabaseBytes + 1, 'A'),
                                                 update::LanguageKey()));
  struct Case {
    const char* db;
    const char* error;
  } cases[] = {
      {"C:\\missing.dat", "The threat database \"C:\\missing.dat\" is missing or cannot be read."},
      {"C:\\broken.dat", "The threat database \"C:\\broken.dat\" is damaged."},
      {"C:\\bomb.dat", "The threat database \"C:\\bomb.dat\" is larger than 64 MB, far more than "
                       "any threat database, and was not loaded."},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Run({"/scan", "/db", c.db, "/report", "C:\\out\\report.json"}), app::kExitFailed);
    auto r = Report();
    EXPECT_EQ(r["result"], "failed") << c.db;
    EXPECT_EQ(r["error"], c.error);
  }
}

TEST_F(UnattendedTest, BadCommandLinesTouchNothing) {
  WriteFile("C:\\bad\\worm.exe", "MZ worm");
  const auto pid = machine.SimProcs().Start("C:\\bad\\worm.exe");
  Database({"[Start]", "[Worm]:C:\\bad\\worm.exe"});
  const std::vector<std::vector<std::string>> bad = {
      {"/scan", "/bogus"}, {"/scan", "/db"}, {"/report", "C:\\out\\report.json"},
      {"scan"},            {"/scan", "/report", "C:\\nofolder\\r.json"},
      {"/server", "h"},    {"/update", "/server"}, {"/update", "/db", "C:\\x.dat"}};
  for (const auto& args : bad) EXPECT_EQ(Run(args), app::kExitFailed) << args.back();
  EXPECT_TRUE(machine.SimProcs().Get(pid));
  EXPECT_FALSE(platform::FileExists(machine.Files(), "C:\\out\\report.json"));
  // Without /report the exit code alone tells.
  EXPECT_EQ(Run({"/scan"}), app::kExitFound);
  EXPECT_FALSE(machine.SimProcs().Get(pid));
}

TEST(CodePage, Cp1252BecomesUtf8) {
  EXPECT_EQ(app::Cp1252ToUtf8("a\x80\xE9\x9F\x81"), "a\xE2\x82\xAC\xC3\xA9\xC5\xB8\xEF\xBF\xBD");
}

}  // namespace
