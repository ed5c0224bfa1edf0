// "klaruvexc.exe": the unattended command line on a console. Its lines come
// from the report data the JSON report holds.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "app/console.h"
#include "app/unattended.h"
#include "engine/helpers.h"
#include "platform/text.h"
#include "tests/unit/scan_fixture.h"

namespace {

using TextLines = std::vector<std::string>;

TEST(ConsoleLines, FromTheReport) {
  struct Case {
    const char* name;
    const char* report;
    TextLines out;
    TextLines err;
  } cases[] = {
      {"clean scan",
       R"j({"databaseFile": "C:\\kvx\\files.dat", "databaseDate": "Database date: 2026-12-01 (r0001)",
           "findings": [], "ignored": [], "result": "clean"})j",
       {"Database C:\\kvx\\files.dat: Database date: 2026-12-01 (r0001)", "Result: clean, 0 found"},
       {}},
      {"found, not fixed",
       R"j({"databaseFile": "C:\\f.dat", "databaseDate": "d", "result": "infected", "ignored": [],
           "findings": [{"threat": "Worm", "path": "C:\\bad\\w\u00e9rm.exe", "type": "file",
                         "processTerminated": true},
                        {"threat": "Nest", "path": "C:\\bad\\nest", "type": "folder",
                         "processTerminated": false}]})j",
       {"Database C:\\f.dat: d", "Found Worm: C:\\bad\\w\xE9rm.exe, program ended",
        "Found Nest: C:\\bad\\nest (folder)", "Result: infected, 2 found"},
       {}},
      {"fixed, one locked, one ignored",
       R"j({"databaseFile": "C:\\f.dat", "databaseDate": "d", "result": "infected", "fixed": false,
           "ignored": [{"path": "C:\\Tools\\nc.exe", "threat": "Tool"}],
           "findings": [{"threat": "A", "path": "C:\\a.exe", "type": "file", "processTerminated": false,
                         "action": "quarantined and removed", "error": null},
                        {"threat": "B", "path": "C:\\b.exe", "type": "file", "processTerminated": false,
                         "action": "none", "error": "the file is in use by another program"},
                        {"threat": "C", "path": "C:\\c.exe", "type": "file", "processTerminated": false,
                         "action": "not reached", "error": null}]})j",
       {"Database C:\\f.dat: d", "Ignored Tool: C:\\Tools\\nc.exe",
        "Found A: C:\\a.exe; quarantined and removed",
        "Found B: C:\\b.exe; not removed (the file is in use by another program)",
        "Found C: C:\\c.exe; not reached",
        "Result: infected, 3 found, 1 removed, 2 not removed, 1 ignored"},
       {}},
      {"fixed, two left in protected places",
       R"j({"databaseFile": "C:\\f.dat", "databaseDate": "d", "result": "infected", "fixed": true,
           "ignored": [], "backup": "20261210-193000",
           "protected": [{"threat": "Worm.Root", "path": "C:\\WINDOWS\\", "reason": "the Windows folder"},
                         {"threat": "Shell.Bad", "path": "C:\\WINDOWS\\explorer.exe",
                          "reason": "a program Windows needs to run"}],
           "findings": [{"threat": "A", "path": "C:\\a.exe", "type": "file", "processTerminated": false,
                         "action": "removed", "error": null}]})j",
       {"Database C:\\f.dat: d",
        "Protected Worm.Root: C:\\WINDOWS\\; left in place: it is the Windows folder",
        "Protected Shell.Bad: C:\\WINDOWS\\explorer.exe; left in place: it is a program Windows "
        "needs to run",
        "Found A: C:\\a.exe; removed", "Backup: 20261210-193000",
        "Result: infected, 1 found, 1 removed, 0 not removed, 2 protected"},
       {}},
      {"only a protected place, scan alone",
       R"j({"databaseFile": "C:\\f.dat", "databaseDate": "d", "result": "infected", "ignored": [],
           "protected": [{"threat": "Drive.Wiper", "path": "C:\\", "reason": "a drive's root folder"}],
           "findings": []})j",
       {"Database C:\\f.dat: d", "Protected Drive.Wiper: C:\\; left in place: it is a drive's root folder",
        "Result: infected, 0 found, 1 protected"},
       {}},
      {"folder scan",
       R"j({"databaseFile": "C:\\f.dat", "databaseDate": "d", "result": "clean", "findings": [],
           "ignored": [], "filesChecked": 12, "bytesChecked": 4096, "unreadable": ["C:\\data\\held.db"]})j",
       {"Database C:\\f.dat: d", "Unreadable: C:\\data\\held.db",
        "Result: clean, 0 found, 12 files checked, 1 unreadable"},
       {}},
      {"log only", R"j({"log": "C:\\kvx\\Information.txt", "result": "clean"})j",
       {"Full report log: C:\\kvx\\Information.txt", "Result: done"}, {}},
      {"log after a scan that found something, log failed",
       R"j({"databaseFile": "C:\\f.dat", "databaseDate": "d", "result": "infected", "ignored": [],
           "findings": [{"threat": "A", "path": "C:\\a.exe", "type": "file", "processTerminated": false}],
           "error": "The full report log \"C:\\x\\log.txt\" could not be written."})j",
       {"Database C:\\f.dat: d", "Found A: C:\\a.exe", "Result: infected, 1 found"},
       {"klaruvexc: The full report log \"C:\\x\\log.txt\" could not be written."}},
      {"update failed", R"j({"update": "failed", "result": "failed",
                            "error": "The update failed; the database in use is kept."})j",
       {"Update: failed", "Result: failed"},
       {"klaruvexc: The update failed; the database in use is kept."}},
      {"database missing",
       R"j({"databaseFile": "C:\\f.dat", "result": "failed",
           "error": "The threat database \"C:\\f.dat\" is missing or cannot be read."})j",
       {"Database C:\\f.dat", "Result: failed"},
       {"klaruvexc: The threat database \"C:\\f.dat\" is missing or cannot be read."}},
      {"fixed with a backup",
       R"j({"databaseFile": "C:\\f.dat", "databaseDate": "d", "result": "infected", "ignored": [],
           "backup": "20261210-193000-1",
           "findings": [{"threat": "A", "path": "C:\\a.exe", "type": "file", "processTerminated": false,
                         "action": "removed", "error": null}]})j",
       {"Database C:\\f.dat: d", "Found A: C:\\a.exe; removed", "Backup: 20261210-193000-1",
        "Result: infected, 1 found, 1 removed, 0 not removed"},
       {}},
      {"undo with a conflict",
       R"j({"result": "conflicts", "backup": "20261210-193000-1",
           "undo": {"action": "Fix", "removed": false, "created": "2026-12-10 19:30:00",
                    "items": [{"item": "C:\\a.exe", "result": "restored", "reason": null},
                              {"item": "C:\\b.exe", "result": "conflict",
                               "reason": "a file exists there now"}]}})j",
       {"Backup 20261210-193000-1: Fix", "Restored: C:\\a.exe",
        "Conflict, left alone: C:\\b.exe (a file exists there now)",
        "Result: conflicts, 1 restored, 1 conflicts, 0 not restored"},
       {}},
      {"nothing to undo",
       R"j({"result": "nothing to undo", "backup": null, "error": "There is no backup to undo.",
           "undo": {"action": null, "removed": false, "created": null, "items": []}})j",
       {"Result: nothing to undo"},
       {"klaruvexc: There is no backup to undo."}},
      {"no report at all", "null", {"Result: failed"}, {"klaruvexc: the work could not be done."}},
  };
  for (const auto& c : cases) {
    const auto text = app::ConsoleLines(nlohmann::json::parse(c.report));
    EXPECT_EQ(text.out, c.out) << c.name;
    EXPECT_EQ(text.err, c.err) << c.name;
  }
}

class ConsoleTest : public ScanFixture {
 protected:
  int Run(const TextLines& args) {
    out.clear();
    err.clear();
    return app::RunConsole(
        machine, args, [&](std::string_view l) { out.emplace_back(l); },
        [&](std::string_view l) { err.emplace_back(l); });
  }
  TextLines out, err;
};

TEST_F(ConsoleTest, WithoutArgumentsPrintsItsUsageAndExitsTwo) {
  EXPECT_EQ(Run({}), app::kExitFailed);
  EXPECT_TRUE(out.empty());
  EXPECT_EQ(err, app::ConsoleUsage());
  EXPECT_EQ(err.front(), "Klaruvex Pro v4 - SE, command line");
  // Asked for, the usage goes to standard output.
  EXPECT_EQ(Run({"/?"}), app::kExitClean);
  EXPECT_EQ(out, app::ConsoleUsage());
  EXPECT_TRUE(err.empty());
}

TEST_F(ConsoleTest, ScanAndFixPrintOneLinePerFindingAndTheCounts) {
  WriteFile("C:\\bad\\worm.exe", "MZ worm program body");
  WriteFile("C:\\WINDOWS\\system32\\held.exe", "MZ held file");
  const auto pid = machine.SimProcs().Start("C:\\bad\\worm.exe");
  Database({"[Start]", "[Worm.A]:C:\\bad\\worm.exe", "[Held.B]:C:\\WINDOWS\\system32\\held.exe"});
  machine.SimFiles().Lock("C:\\WINDOWS\\system32\\held.exe");
  std::filesystem::create_directories(root / "out");

  // The held file cannot be copied into the backup, so it stays: a step
  // that was asked could not be done.
  EXPECT_EQ(Run({"/scan", "/fix", "/report", "C:\\out\\r.json"}), app::kExitFailed);
  EXPECT_FALSE(machine.SimProcs().Get(pid));
  std::string bytes;
  ASSERT_EQ(platform::ReadWholeFile(machine.Files(), "C:\\out\\r.json", bytes), platform::kOk);
  const auto r = nlohmann::json::parse(bytes);
  ASSERT_TRUE(r["backup"].is_string());
  const std::string backup = r["backup"];
  EXPECT_EQ(out, (TextLines{
                     "Database " + std::string(kFolder) + "files.dat: Database date: 2026-12-01 (r0001)",
                     "Found Worm.A: C:\\bad\\worm.exe, program ended; removed",
                     "Found Held.B: C:\\WINDOWS\\system32\\held.exe; not removed (left in place: it "
                     "could not be backed up: it cannot be copied into the backup: it is in use by "
                     "another program)",
                     "Backup: " + backup,
                     "Result: failed, 2 found, 1 removed, 1 not removed",
                 }));
  EXPECT_EQ(err, (TextLines{"klaruvexc: 1 finding was left in place because it could not be backed "
                            "up (see each finding's \"error\")."}));
  // The JSON report is written as by the windowed program.
  EXPECT_EQ(r["result"], "failed");
  EXPECT_EQ(r["findings"][0]["action"], "removed");
  EXPECT_EQ(r["findings"][1]["action"], "none");

  // The removed file comes back from the backup, one line per item.
  EXPECT_EQ(Run({"/undo"}), app::kExitClean);
  ASSERT_EQ(out.size(), 3u);
  EXPECT_EQ(out[0].rfind("Backup " + backup + ": ", 0), 0u) << out[0];
  EXPECT_EQ(out[1], "Restored: file C:\\bad\\worm.exe");
  EXPECT_EQ(out[2], "Result: undone, 1 restored, 0 conflicts, 0 not restored");
  EXPECT_TRUE(err.empty());
  ASSERT_EQ(platform::ReadWholeFile(machine.Files(), "C:\\bad\\worm.exe", bytes), platform::kOk);
  EXPECT_EQ(bytes, "MZ worm program body");
  EXPECT_EQ(Run({"/undo"}), app::kExitFailed);
  EXPECT_EQ(out, (TextLines{"Result: nothing to undo"}));
}

TEST_F(ConsoleTest, FailuresGoToStandardErrorAndTouchNothing) {
  WriteFile("C:\\bad\\worm.exe", "MZ worm");
  const auto pid = machine.SimProcs().Start("C:\\bad\\worm.exe");
  Database({"[Start]", "[Worm]:C:\\bad\\worm.exe"});
  struct Case {
    TextLines args;
    TextLines out;
    std::string firstError;
  } cases[] = {
      {{"/scan", "/bogus"}, {}, "klaruvexc: the command line \"/scan /bogus\" is not understood."},
      {{"/scan", "/report", "C:\\nofolder\\r.json"},
       {"Result: failed"},
       "klaruvexc: The report's folder \"C:\\nofolder\\\" does not exist."},
      {{"/scan", "/db", "C:\\missing.dat"},
       {"Database C:\\missing.dat", "Result: failed"},
       "klaruvexc: The threat database \"C:\\missing.dat\" is missing or cannot be read."},
      // Nothing listens on port 1 of this machine.
      {{"/update", "/server", "127.0.0.1:1"},
       {"Update: failed", "Result: failed"},
       "klaruvexc: The update failed: the update list could not be downloaded; the database in "
       "use is kept."},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Run(c.args), app::kExitFailed) << c.firstError;
    EXPECT_EQ(out, c.out) << c.firstError;
    ASSERT_FALSE(err.empty());
    EXPECT_EQ(err.front(), c.firstError);
  }
  EXPECT_TRUE(machine.SimProcs().Get(pid));
  EXPECT_TRUE(platform::FileExists(machine.Files(), "C:\\bad\\worm.exe"));
}

TEST_F(ConsoleTest, LogAloneNamesTheFileWritten) {
  EXPECT_EQ(Run({"/log"}), app::kExitClean);
  EXPECT_EQ(out, (TextLines{"Full report log: " + std::string(kFolder) + "Information.txt", "Result: done"}));
  EXPECT_TRUE(err.empty());
  EXPECT_TRUE(platform::FileExists(machine.Files(), std::string(kFolder) + "Information.txt"));
}

TEST(CodePage, Utf8BackToCp1252) {
  std::string every;
  for (int b = 1; b < 256; ++b) every += static_cast<char>(b);
  EXPECT_EQ(platform::Utf8ToCp1252(platform::Cp1252ToUtf8(every, true)), every);
  struct Case {
    std::string utf8, cp1252;
  } cases[] = {
      {"\xE2\x82\xAC \xC3\xA9", "\x80 \xE9"},   // euro sign, e acute
      {"\xE4\xB8\xAD", "?"},                    // not in the code page
      {"\xEF\xBF\xBD", "?"},                    // the replacement character
      {"\xC2\x80", "?"},                        // U+0080 is not the euro's byte
      {"a\xC3", "a?"},                          // cut short
      {"\xC3(", "?("},                          // a continuation missing
      {"\xC0\xAF", "??"},                       // overlong
      {"\xED\xA0\x80", "?"},                    // a surrogate
      {"\xF0\x9F\x98\x80!", "?!"},              // outside the first plane
      {"\x80x", "?x"},                          // a lone continuation byte
  };
  for (const auto& c : cases) EXPECT_EQ(platform::Utf8ToCp1252(c.utf8), c.cp1252) << c.utf8;
}

}  // namespace
