// klaruvex-rescue on installations that are not running: the report, the
// exit codes, what a fix changes and what it refuses to change.
#include <gtest/gtest.h>
#include <hivex.h>
#include <nlohmann/json.hpp>

#include <map>
#include <sstream>

#include "engine/helpers.h"
#include "engine/threat_database.h"
#include "app/unattended.h"
#include "platform/offline/shell_link.h"
#include "platform/sim/sim_machine.h"
#include "rescue/rescue.h"
#include "tests/unit/offline_fixture.h"
#include "update/ezcrypt.h"

namespace fs = std::filesystem;

namespace {

const std::string kRun = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::string kStartup =
    "Users\\Anna\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup\\";

// Every file of a folder with its bytes: the whole volume, for comparing.
std::map<std::string, std::string> Snapshot(const fs::path& dir) {
  std::map<std::string, std::string> out;
  for (const auto& e : fs::recursive_directory_iterator(dir)) {
    const std::string rel = fs::relative(e.path(), dir).string();
    out[rel] = e.is_regular_file() ? engine::Md5Hex(OfflineFixture::Read(e.path())) : "(folder)";
  }
  return out;
}

class RescueTest : public OfflineFixture {
 protected:
  void Database(const std::vector<std::string>& rules) {
    std::string text = "Database date: 2026-12-01 (r0001)\r\n";
    for (const auto& r : rules) text += r + "\r\n";
    text += "_end\r\n";
    std::ofstream(program / "files.dat", std::ios::binary)
        << engine::PackDatabase(text, update::LanguageKey());
    fs::copy_file(fs::path(KVX_DEMO_DATA_DIR) / "RegBase.rgk", program / "RegBase.rgk",
                  fs::copy_options::overwrite_existing);
  }
  // A few samples: a file with a Run value and a Startup shortcut pointing
  // at it, an infected folder, and an innocent program.
  void Plant() {
    auto& inst = *installation;
    inst.File("Bad\\evil.exe", "MZ evil sample");
    inst.File("Bad\\Nest\\payload.dat", "payload");
    inst.File("Good\\tool.exe", "MZ good tool");
    inst.Software().String("Microsoft\\Windows\\CurrentVersion\\Run", "Evil", "\"C:\\Bad\\evil.exe\" /quiet")
        .String("Microsoft\\Windows\\CurrentVersion\\Run", "Tool", "C:\\Good\\tool.exe");
    inst.User("Anna").String(kRun, "EvilToo", "C:\\Bad\\evil.exe").String(kRun, "Other", "C:\\Good\\tool.exe -x");
    inst.File(kStartup + "Evil.lnk", platform::offline::MakeShellLink(
                                         "C:\\Bad\\evil.exe", platform::offline::CodePage::Windows1252()));
  }
  int Run(std::vector<std::string> switches) {
    switches.insert(switches.begin(), volume.string());
    std::ostringstream o, e;
    Finish();
    const int code = rescue::RunRescue(switches, (program / "klaruvex-rescue").string(), o, e);
    out = o.str();
    err = e.str();
    return code;
  }
  // The hives written and handed over: the rescue's from now on.
  void Finish() {
    if (installation) installation->Save();
    installation.reset();
  }
  nlohmann::json Report() {
    return nlohmann::json::parse(Read(root / "report.json"), nullptr, false);
  }
  std::string ReportPath() const { return (root / "report.json").string(); }
  std::vector<std::string> FindingPaths(const nlohmann::json& r) {
    std::vector<std::string> paths;
    for (const auto& f : r["findings"]) paths.push_back(f["path"]);
    return paths;
  }

  std::string out, err;
};

TEST_F(RescueTest, AScanReportsFindingsAndChangesNothing) {
  Install();
  Plant();
  Database({"[Start]", "[Worm.Evil]:C:\\Bad\\evil.exe", "[Worm.Nest]:C:\\Bad\\Nest\\\\",
            "[Nothing]:C:\\nowhere.exe"});
  Finish();
  const auto before = Snapshot(volume);
  EXPECT_EQ(Run({"/scan", "/report", ReportPath()}), 1) << err;
  EXPECT_EQ(Snapshot(volume), before);
  EXPECT_FALSE(fs::exists(volume / "Klaruvex Rescue"));
  auto r = Report();
  EXPECT_EQ(r["result"], "infected");
  EXPECT_EQ(r["databaseFile"], (program / "files.dat").string());
  EXPECT_EQ(r["installation"]["windowsFolder"], "C:\\Windows");
  EXPECT_EQ(r["installation"]["windowsVersion"], "Microsoft Windows NT Professional Service Pack 1 (Build 7601)");
  EXPECT_EQ(r["installation"]["profiles"], nlohmann::json::array({"Anna"}));
  EXPECT_EQ(FindingPaths(r), (std::vector<std::string>{"C:\\Bad\\evil.exe", "C:\\Bad\\Nest",
                                                       "C:\\Bad\\Nest\\payload.dat"}));
  EXPECT_EQ(r["findings"][0]["md5"], engine::Md5Hex("MZ evil sample"));
  EXPECT_EQ(r["findings"][0]["profiles"], nlohmann::json::array({"Anna"}));
  const std::string evil = "c:\\bad\\evil.exe[" + engine::Md5Hex("MZ evil sample") + "][14]";
  const std::string tool = "c:\\good\\tool.exe[" + engine::Md5Hex("MZ good tool") + "][12]";
  for (const auto& entry : {"RegRun " + evil, "RegRun " + tool, "Startup " + evil})
    EXPECT_NE(std::find(r["inventory"].begin(), r["inventory"].end(), entry), r["inventory"].end())
        << entry << "\n" << r["inventory"].dump(1);
  EXPECT_TRUE(r["warnings"].empty());
  EXPECT_EQ(err, "");
}

TEST_F(RescueTest, ACleanInstallationExitsZero) {
  Install();
  Database({"[Start]", "[Nothing]:C:\\nowhere.exe"});
  EXPECT_EQ(Run({"/SCAN", "/report", ReportPath()}), 0) << err;
  EXPECT_EQ(Report()["result"], "clean");
  EXPECT_NE(out.find("nothing found"), std::string::npos);
}

TEST_F(RescueTest, EachProfileInTurnAndTheReportSaysWhose) {
  Install({.users = {"Anna", "Bert"}});
  installation->File("Bad\\evil.exe", "MZ evil");
  installation->File("Users\\Bert\\AppData\\Local\\Temp\\adware.exe", "adware");
  Database({"[Start]", "[Worm.Evil]:C:\\Bad\\evil.exe", "[Adware.Temp]:%%WinTemp%%\\adware.exe"});
  EXPECT_EQ(Run({"/scan", "/report", ReportPath()}), 1) << err;
  auto r = Report();
  ASSERT_EQ(r["findings"].size(), 2u) << r.dump(1);
  EXPECT_EQ(r["findings"][0]["path"], "C:\\Bad\\evil.exe");
  EXPECT_EQ(r["findings"][0]["profiles"], nlohmann::json::array({"Anna", "Bert"}));
  EXPECT_EQ(r["findings"][1]["path"], "C:\\Users\\Bert\\AppData\\Local\\Temp\\adware.exe");
  EXPECT_EQ(r["findings"][1]["profiles"], nlohmann::json::array({"Bert"}));

  EXPECT_EQ(Run({"/scan", "/user", "anna", "/report", ReportPath()}), 1) << err;
  r = Report();
  EXPECT_EQ(FindingPaths(r), std::vector<std::string>{"C:\\Bad\\evil.exe"});
  EXPECT_EQ(r["installation"]["profiles"], nlohmann::json::array({"Anna"}));
  EXPECT_EQ(Run({"/scan", "/user", "Carl", "/report", ReportPath()}), 2);
  EXPECT_EQ(Report()["error"], "there is no profile Carl on this installation; its profiles: Anna, Bert");
  EXPECT_EQ(err, "klaruvex-rescue: there is no profile Carl on this installation; its profiles: Anna, Bert\n");
}

TEST_F(RescueTest, TheFullReportLogOnePerProfile) {
  Install({.users = {"Anna", "Bert"}});
  installation->File("Bad\\evil.exe", "MZ evil");
  Database({"[Start]", "[Worm.Evil]:C:\\Bad\\evil.exe"});
  EXPECT_EQ(Run({"/scan", "/log", "/report", ReportPath()}), 1) << err;
  for (const char* name : {"Information-Anna.txt", "Information-Bert.txt"}) {
    const std::string log = Read(program / name);
    EXPECT_NE(log.find("Infected with Worm.Evil - File C:\\Bad\\evil.exe\r\n"), std::string::npos) << name;
    EXPECT_NE(log.find("Microsoft Windows NT Professional Service Pack 1 (Build 7601)\r\n"), std::string::npos);
  }
  EXPECT_EQ(Report()["logs"], nlohmann::json::array({(program / "Information-Anna.txt").string(),
                                                     (program / "Information-Bert.txt").string()}));
  EXPECT_EQ(Run({"/scan", "/user", "Bert", "/log", (root / "bert.txt").string()}), 1) << err;
  EXPECT_NE(Read(root / "bert.txt").find("Infected with Worm.Evil"), std::string::npos);
}

TEST_F(RescueTest, NotAWindowsInstallation) {
  fs::create_directories(volume / "data");
  Database({"[Start]"});
  EXPECT_EQ(Run({"/scan", "/report", ReportPath()}), 2);
  const std::string message = "not a Windows installation: " + volume.string() +
                              " has no Windows folder with the registry hives "
                              "System32\\config\\SOFTWARE and SYSTEM";
  EXPECT_EQ(Report()["error"], message);
  EXPECT_EQ(Report()["result"], "failed");
  EXPECT_EQ(err, "klaruvex-rescue: " + message + "\n");
}

TEST_F(RescueTest, CommandLinesTheRescueDoesNotTake) {
  for (std::vector<std::string> args : std::vector<std::vector<std::string>>{
           {}, {"/scan"}, {"/mnt/win"}, {"/mnt/win", "/scan", "/update"}, {"/mnt/win", "/scan", "/path", "C:\\x"},
           {"/mnt/win", "/fix", "/quarantine"}, {"/mnt/win", "/scan", "/bogus"}, {"/mnt/win", "/scan", "/user"}}) {
    std::string problem;
    if (!args.empty() && args[0] == "/scan") continue;  // a folder named "/scan" is a folder
    EXPECT_FALSE(rescue::ParseRescueCommandLine(args, &problem)) << ::testing::PrintToString(args);
    EXPECT_FALSE(problem.empty());
  }
  auto c = rescue::ParseRescueCommandLine({"/mnt/win", "/fix", "/user", "Anna", "/LOG"}, nullptr);
  ASSERT_TRUE(c);
  EXPECT_TRUE(c->command.fix && c->command.scan && c->command.log);
  EXPECT_EQ(c->user, "Anna");
  std::ostringstream o, e;
  EXPECT_EQ(rescue::RunRescue({"/mnt/win", "/scan", "/update"}, "/x/klaruvex-rescue", o, e), 2);
  EXPECT_NE(e.str().find("usage: klaruvex-rescue DIR /scan"), std::string::npos);
}

// Rows of a hive dump without the lines naming one of the values.
std::vector<std::string> Without(std::vector<std::string> rows, std::initializer_list<std::string> values) {
  rows.erase(std::remove_if(rows.begin(), rows.end(),
                            [&](const std::string& r) {
                              for (const auto& v : values)
                                if (r.find("|" + v + "=") != std::string::npos) return true;
                              return false;
                            }),
             rows.end());
  return rows;
}

TEST_F(RescueTest, AFixRemovesTheFilesAndTheirStartupValuesAndNothingElse) {
  Install();
  Plant();
  Database({"[Start]", "[Worm.Evil]:C:\\Bad\\evil.exe", "[Worm.Nest]:C:\\Bad\\Nest\\\\"});
  Finish();
  const auto software = Dump((volume / "Windows/System32/config/SOFTWARE").string());
  const auto user = Dump((volume / "Users/Anna/NTUSER.DAT").string());
  const std::string system = Read(volume / "Windows/System32/config/SYSTEM");
  EXPECT_EQ(Run({"/scan", "/fix", "/report", ReportPath()}), 1) << err;
  EXPECT_FALSE(fs::exists(volume / "Bad/evil.exe"));
  EXPECT_FALSE(fs::exists(volume / "Bad/Nest"));
  EXPECT_EQ(Read(volume / "Good/tool.exe"), "MZ good tool");
  // The hives open in hivex; only the values that started the sample are gone.
  EXPECT_EQ(Dump((volume / "Windows/System32/config/SOFTWARE").string()), Without(software, {"Evil"}));
  EXPECT_EQ(Dump((volume / "Users/Anna/NTUSER.DAT").string()), Without(user, {"EvilToo"}));
  EXPECT_EQ(Read(volume / "Windows/System32/config/SYSTEM"), system);
  EXPECT_FALSE(fs::exists(volume / "Windows/System32/config/SOFTWARE.kvxnew"));
  auto r = Report();
  EXPECT_EQ(r["fixed"], true);
  EXPECT_EQ(r["findings"][0]["action"], "removed");
  EXPECT_EQ(r["installation"]["changedHives"],
            nlohmann::json::array({"Windows\\System32\\config\\SOFTWARE", "Users\\Anna\\NTUSER.DAT"}));
}

TEST_F(RescueTest, QuarantineLivesAtTheVolumesRoot) {
  Install();
  Plant();
  Database({"[Start]", "[Worm.Evil]:C:\\Bad\\evil.exe"});
  EXPECT_EQ(Run({"/scan", "/quarantine", "/report", ReportPath()}), 1) << err;
  EXPECT_FALSE(fs::exists(volume / "Bad/evil.exe"));
  EXPECT_TRUE(fs::exists(volume / "Klaruvex Rescue/Quarantine.info"));
  EXPECT_FALSE(fs::is_empty(volume / "Klaruvex Rescue/Quarantine"));
  EXPECT_FALSE(fs::exists(program / "Quarantine"));
  EXPECT_EQ(Report()["findings"][0]["action"], "quarantined and removed");
}

// A rule naming the rescue's own folder, or the Windows folder, is listed
// and never acted on: the quarantine and backups of earlier fixes stay.
TEST_F(RescueTest, NoRuleRemovesTheRescuesFolderOrWindows) {
  Install();
  Plant();
  Database({"[Start]", "[Worm.Evil]:C:\\Bad\\evil.exe"});
  ASSERT_EQ(Run({"/scan", "/quarantine"}), 1) << err;
  const auto before = Snapshot(volume / "Klaruvex Rescue");
  Database({"[Start]", "[Bad.Rule]:C:\\Klaruvex Rescue\\\\", "[Bad.Store]:C:\\KLARUVEX RESCUE\\Quarantine\\\\",
            "[Bad.Win]:C:\\Windows\\\\"});
  EXPECT_EQ(Run({"/scan", "/fix", "/report", ReportPath()}), 1) << err;
  EXPECT_EQ(Snapshot(volume / "Klaruvex Rescue"), before);
  EXPECT_TRUE(fs::exists(volume / "Windows/System32/config/SOFTWARE"));
  auto r = Report();
  EXPECT_EQ(r["result"], "infected");
  EXPECT_TRUE(r["findings"].empty());
  EXPECT_TRUE(r["backup"].is_null());
  std::vector<std::string> kept;
  for (const auto& k : r["protected"]) kept.push_back(k["threat"].get<std::string>() + " " + k["path"].get<std::string>() + ": " + k["reason"].get<std::string>());
  EXPECT_EQ(kept, (std::vector<std::string>{
                      "Bad.Rule C:\\Klaruvex Rescue: the folder of the program's quarantine and backups",
                      "Bad.Store C:\\KLARUVEX RESCUE\\Quarantine: the program's quarantine",
                      "Bad.Win C:\\Windows: the Windows folder"}));
  EXPECT_NE(out.find("klaruvex-rescue: 0 findings, 3 protected\n"), std::string::npos) << out;
}

TEST_F(RescueTest, ADirtyHiveIsReadByAScanAndLeftAloneByAFix) {
  Install();
  Plant();
  Database({"[Start]", "[Worm.Evil]:C:\\Bad\\evil.exe"});
  Finish();
  std::string bytes = Read(volume / "Users/Anna/NTUSER.DAT");
  hivemake::SetSequenceNumbers(bytes, 12, 11);
  std::ofstream(volume / "Users/Anna/NTUSER.DAT", std::ios::binary | std::ios::trunc) << bytes;
  const auto before = Snapshot(volume);
  const std::string warning =
      "The registry hive Users\\Anna\\NTUSER.DAT was not closed cleanly (Windows crashed or lost "
      "power): its newest changes are still in its transaction logs and may be missing here.";

  EXPECT_EQ(Run({"/scan", "/report", ReportPath()}), 1) << err;
  EXPECT_EQ(Report()["warnings"], nlohmann::json::array({warning}));
  EXPECT_EQ(err, "klaruvex-rescue: warning: " + warning + "\n");
  EXPECT_EQ(Report()["installation"]["hives"][2], (nlohmann::json{{"hive", "Users\\Anna\\NTUSER.DAT"}, {"dirty", true}}));

  EXPECT_EQ(Run({"/scan", "/fix", "/report", ReportPath()}), 2);
  EXPECT_EQ(Snapshot(volume), before);
  const std::string error = Report()["error"];
  EXPECT_EQ(error,
            "the registry hive Users\\Anna\\NTUSER.DAT was not closed cleanly (Windows crashed or lost "
            "power): their newest changes are still in the transaction logs, and a fix would lose them. "
            "Nothing was changed. Start Windows once and shut it down normally, or replay the "
            "transaction logs (NTUSER.DAT.LOG1, NTUSER.DAT.LOG2) with a tool that can, then run the fix "
            "again. /scan reads the installation as it is.");
  EXPECT_NE(err.find("klaruvex-rescue: " + error), std::string::npos);
  // Nor does an undo write into it.
  EXPECT_EQ(Run({"/undo", "/report", ReportPath()}), 2);
  EXPECT_EQ(Snapshot(volume), before);
  EXPECT_NE(Report()["error"].get<std::string>().find("and an undo would lose them. Nothing was changed."),
            std::string::npos);
}

TEST_F(RescueTest, AFixThatCannotBeDoneChangesNothing) {
  struct Case {
    const char* what;
    std::function<void()> spoil;
    const char* error;  // the start of the message
  } cases[] = {
      {"a damaged hive",
       [&] {
         std::string b = Read(volume / "Windows/System32/config/SOFTWARE");
         b[0x1FC] ^= 0x01;  // the header checksum
         std::ofstream(volume / "Windows/System32/config/SOFTWARE", std::ios::binary | std::ios::trunc) << b;
       },
       "the registry hive Windows\\System32\\config\\SOFTWARE cannot be read: "},
      {"a truncated hive",
       [&] { fs::resize_file(volume / "Users/Anna/NTUSER.DAT", 6000); },
       "the registry hive Users\\Anna\\NTUSER.DAT cannot be read: "},
      {"a file where the rescue's folder must be",
       [&] { std::ofstream(volume / "Klaruvex Rescue") << "in the way"; },
       "the volume cannot be written (the folder C:\\Klaruvex Rescue cannot be made"},
      {"a folder where a hive's new file must be",
       [&] { fs::create_directories(volume / "Windows/System32/config/SYSTEM.kvxnew/x"); },
       "the registry hive Windows\\System32\\config\\SYSTEM cannot be replaced"},
      {"a file where the backups must go",
       [&] {
         fs::create_directories(volume / "Klaruvex Rescue");
         std::ofstream(volume / "Klaruvex Rescue/Backups") << "in the way";
       },
       "1 finding was left in place because it could not be backed up"},
  };
  for (const auto& c : cases) {
    fs::remove_all(volume);
    fs::create_directories(volume);
    Install();
    Plant();
    Database({"[Start]", "[Worm.Evil]:C:\\Bad\\evil.exe"});
    Finish();
    c.spoil();
    const auto before = Snapshot(volume);
    EXPECT_EQ(Run({"/scan", "/fix", "/report", ReportPath()}), 2) << c.what;
    EXPECT_EQ(Snapshot(volume), before) << c.what;
    const std::string error = Report()["error"];
    EXPECT_EQ(error.rfind(c.error, 0), 0u) << c.what << ": " << error;
    EXPECT_EQ(err, "klaruvex-rescue: " + error + "\n") << c.what;
  }
}

// The undo journal on the volume: what a fix removed comes back.
class RescueUndoTest : public RescueTest {
 protected:
  static constexpr const char* kSid = "S-1-5-21-1004336348-1177238915-682003330-";
  // Two profiles, a sample started from SOFTWARE's Run key (both views) and
  // from each profile's, with different value types, and an infected folder.
  void PlantAndFix() {
    Install({.users = {"Anna", "Bert"}});
    auto& inst = *installation;
    inst.File("Bad\\evil.exe", std::string("MZ\0evil sample", 14));
    inst.File("Bad\\Nest\\payload.dat", "payload");
    inst.File("Good\\tool.exe", "MZ good tool");
    inst.Software()
        .String("Microsoft\\Windows\\CurrentVersion\\Run", "Evil", "\"C:\\Bad\\evil.exe\" /quiet")
        .String("Microsoft\\Windows\\CurrentVersion\\Run", "Tool", "C:\\Good\\tool.exe")
        .String("Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run", "Evil32",
                "C:\\Bad\\evil.exe /wow");
    inst.User("Anna").String(kRun, "EvilToo", "C:\\Bad\\evil.exe").String(kRun, "Other", "C:\\Good\\tool.exe -x");
    inst.User("Bert").ExpandString(kRun, "EvilToo", "C:\\BAD\\EVIL.EXE");
    Database({"[Start]", "[Worm.Evil]:C:\\Bad\\evil.exe", "[Worm.Nest]:C:\\Bad\\Nest\\\\"});
    Finish();
    before = Volume();
    const struct {
      const char* hive;
      std::initializer_list<std::string> gone;
    } hives[] = {{"Windows/System32/config/SOFTWARE", {"Evil", "Evil32"}},
                 {"Users/Anna/NTUSER.DAT", {"EvilToo"}},
                 {"Users/Bert/NTUSER.DAT", {"EvilToo"}}};
    std::vector<std::vector<std::string>> rows;
    for (const auto& h : hives) rows.push_back(Dump(HivePath(h.hive)));
    ASSERT_EQ(Run({"/scan", "/fix", "/report", ReportPath()}), 1) << err;
    ASSERT_FALSE(fs::exists(volume / "Bad/evil.exe"));
    ASSERT_FALSE(fs::exists(volume / "Bad/Nest"));
    // Every profile's value went, though the second profile's scan no
    // longer found the file the first one's fix removed.
    for (std::size_t i = 0; i < rows.size(); ++i)
      ASSERT_EQ(Dump(HivePath(hives[i].hive)), Without(rows[i], hives[i].gone)) << hives[i].hive;
    backup = Report()["backup"];
    EXPECT_NE(out.find("kept in the backup " + backup), std::string::npos) << out;
  }
  std::string HivePath(const char* rel) const { return (volume / rel).string(); }
  // The volume without the rescue's own folder.
  std::map<std::string, std::string> Volume() {
    auto all = Snapshot(volume);
    for (auto it = all.begin(); it != all.end();)
      it = it->first.rfind("Klaruvex Rescue", 0) == 0 ? all.erase(it) : std::next(it);
    return all;
  }
  std::vector<std::string> Items(const nlohmann::json& r) {
    std::vector<std::string> items;
    for (const auto& i : r["undo"]["items"])
      items.push_back(i["item"].get<std::string>() + " = " + i["result"].get<std::string>() +
                      (i["reason"].is_string() ? ": " + i["reason"].get<std::string>() : ""));
    return items;
  }

  std::map<std::string, std::string> before;
  std::string backup;
};

TEST_F(RescueUndoTest, UndoGivesBackEveryFileAndValueAndTheHivesByteForByte) {
  PlantAndFix();
  EXPECT_EQ(Run({"/undo", "/report", ReportPath()}), 0) << err;
  EXPECT_EQ(Volume(), before);  // every file and hive byte for byte
  auto r = Report();
  EXPECT_EQ(r["result"], "undone");
  EXPECT_EQ(r["backup"], backup);
  EXPECT_EQ(r["undo"]["action"], "Fix");
  EXPECT_TRUE(r["undo"]["removed"]);
  // Each profile's value is kept under its own SID, the 32-bit view's under
  // its own key: a backup that comes back from Windows goes where it was.
  const std::string run = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\";
  const std::string hklm = "registry value HKEY_LOCAL_MACHINE\\";
  const auto items = Items(r);
  for (const std::string& value : std::vector<std::string>{
           hklm + "Software\\Microsoft\\Windows\\CurrentVersion\\Run\\Evil",
           hklm + "SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run\\Evil32",
        "registry value HKEY_USERS\\" + std::string(kSid) + "1000" + run + "EvilToo",
        "registry value HKEY_USERS\\" + std::string(kSid) + "1001" + run + "EvilToo",
        "file C:\\Windows\\System32\\config\\SOFTWARE (as it was before it was saved anew)",
        "file C:\\Users\\Bert\\NTUSER.DAT (as it was before it was saved anew)",
        "file C:\\Bad\\evil.exe", "folder C:\\Bad\\Nest"})
    EXPECT_NE(std::find(items.begin(), items.end(), value + " = restored"), items.end())
        << value << "\n" << ::testing::PrintToString(items);
  EXPECT_NE(out.find("restored: file C:\\Bad\\evil.exe"), std::string::npos) << out;

  EXPECT_EQ(Run({"/undo", "/report", ReportPath()}), 2);
  EXPECT_EQ(Report()["result"], "nothing to undo");
  EXPECT_EQ(Report()["error"], "There is nothing to undo.");
  EXPECT_EQ(err, "klaruvex-rescue: There is nothing to undo.\n");
  EXPECT_EQ(Volume(), before);
}

TEST_F(RescueUndoTest, AHiveWindowsChangedSinceIsLeftAloneAndItsValuesComeBack) {
  PlantAndFix();
  const std::string bert = HivePath("Users/Bert/NTUSER.DAT");
  const auto fixed = Dump(bert);
  hivemake::Hive::OpenExisting(bert).String(kRun, "SinceTheFix", "C:\\Good\\tool.exe").Save();
  EXPECT_EQ(Run({"/undo", backup, "/report", ReportPath()}), 1) << err;
  auto r = Report();
  EXPECT_EQ(r["result"], "conflicts");
  const auto items = Items(r);
  EXPECT_NE(std::find(items.begin(), items.end(),
                      "file C:\\Users\\Bert\\NTUSER.DAT (as it was before it was saved anew) = "
                      "conflict: it has been changed since it was saved"),
            items.end())
      << ::testing::PrintToString(items);
  // The value came back into the hive as it is now, beside what Windows wrote.
  auto now = Dump(bert);
  EXPECT_EQ(Without(now, {"EvilToo", "SinceTheFix"}), fixed);
  EXPECT_EQ(std::count_if(now.begin(), now.end(),
                          [](const std::string& row) {
                            return row.find("|EvilToo=2:" + Hex(hivemake::Utf16("C:\\BAD\\EVIL.EXE"))) !=
                                   std::string::npos;
                          }),
            1);
  // Everything else is back byte for byte.
  auto volumeNow = Volume();
  volumeNow.erase("Users/Bert/NTUSER.DAT");
  auto volumeBefore = before;
  volumeBefore.erase("Users/Bert/NTUSER.DAT");
  EXPECT_EQ(volumeNow, volumeBefore);
  // The backup keeps what did not come back.
  EXPECT_EQ(Run({"/undo", "/report", ReportPath()}), 1);
  EXPECT_EQ(Items(Report()).size(), 1u);
}


// Later, on the Windows that was rescued: klaruvex.exe copied into the
// rescue's folder puts the backup back as far as a running Windows allows.
// The hives Windows has loaded stay (their values come back through the
// registry), a profile whose registry is not loaded keeps its value in the
// backup, and a hive Windows has not touched comes back byte for byte.
TEST_F(RescueUndoTest, TheWindowsProgramPutsBackWhatARunningWindowsAllows) {
  PlantAndFix();
  platform::sim::SimMachine win;
  win.SimFiles().MapDrive('C', volume);
  win.SimFiles().SetWindowsDirectory("C:\\Windows");
  win.SimFiles().SetSystemDirectory("C:\\Windows\\system32");
  win.SimSys().SetModulePath("C:\\Klaruvex Rescue\\klaruvex.exe");
  fs::create_directories(volume / "out");
  // Anna is logged on; Bert is not.
  const std::string run = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
  const std::string anna = std::string(kSid) + "1000", bert = std::string(kSid) + "1001";
  win.Reg().Create(platform::Hive::LocalMachine, run, platform::keyaccess::kAllAccess)
      ->WriteString("Tool", "C:\\Good\\tool.exe");
  win.Reg().Create(platform::Hive::LocalMachine, "SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run",
                   platform::keyaccess::kAllAccess);
  win.Reg().Create(platform::Hive::Users, anna + "\\" + run, platform::keyaccess::kAllAccess)
      ->WriteString("Other", "C:\\Good\\tool.exe -x");
  for (const char* hive : {"C:\\Windows\\System32\\config\\SOFTWARE", "C:\\Windows\\System32\\config\\SYSTEM",
                           "C:\\Users\\Anna\\NTUSER.DAT"})
    win.SimFiles().Lock(hive);

  EXPECT_EQ(app::RunProgram(win, {"/undo", "/report", "C:\\out\\r.json"},
                            [] { return std::unique_ptr<ui::Host>(); }),
            app::kExitFailed);
  const auto r = nlohmann::json::parse(Read(volume / "out/r.json"), nullptr, false);
  const std::string hku = "registry value HKEY_USERS\\", hklm = "registry value HKEY_LOCAL_MACHINE\\";
  const std::string inUse = " = conflict: it is in use (a running Windows keeps its registry files open)";
  auto items = Items(r);
  std::sort(items.begin(), items.end());
  EXPECT_EQ(items, (std::vector<std::string>{
                       "file C:\\Bad\\Nest\\payload.dat = restored",
                       "file C:\\Bad\\evil.exe = restored",
                       "file C:\\Users\\Anna\\NTUSER.DAT (as it was before it was saved anew)" + inUse,
                       "file C:\\Users\\Bert\\NTUSER.DAT (as it was before it was saved anew) = restored",
                       "file C:\\Windows\\System32\\config\\SOFTWARE (as it was before it was saved anew)" + inUse,
                       "folder C:\\Bad\\Nest = restored",
                       hklm + "SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run\\Evil32 = restored",
                       hklm + "Software\\Microsoft\\Windows\\CurrentVersion\\Run\\Evil = restored",
                       hku + anna + "\\" + run + "\\EvilToo = restored",
                       hku + bert + "\\" + run + "\\EvilToo = failed: the registry of that user (HKEY_USERS\\" +
                           bert + ") is not loaded; it is while that user is logged on",
                   }))
      << r.dump(1);
  EXPECT_EQ(Read(volume / "Bad/evil.exe"), std::string("MZ\0evil sample", 14));
  EXPECT_EQ(Snapshot(volume)["Users/Bert/NTUSER.DAT"], before["Users/Bert/NTUSER.DAT"]);
  auto value = [&](platform::Hive root, const std::string& key, const char* name) {
    auto k = win.Reg().Open(root, key, platform::keyaccess::kRead);
    return k ? k->ReadString(name).value_or("(none)") : "(no key)";
  };
  EXPECT_EQ(value(platform::Hive::LocalMachine, run, "Evil"), "\"C:\\Bad\\evil.exe\" /quiet");
  EXPECT_EQ(value(platform::Hive::LocalMachine, "SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run",
                  "Evil32"),
            "C:\\Bad\\evil.exe /wow");
  EXPECT_EQ(value(platform::Hive::Users, anna + "\\" + run, "EvilToo"), "C:\\Bad\\evil.exe");
  EXPECT_EQ(value(platform::Hive::Users, bert, "x"), "(no key)");  // nothing made up
  // What did not come back stays in the backup.
  EXPECT_TRUE(fs::exists(volume / "Klaruvex Rescue/Backups" / backup));
}

}  // namespace
