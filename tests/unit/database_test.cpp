#include <gtest/gtest.h>

#include "engine/rules.h"
#include "engine/threat_database.h"
#include "tests/unit/sim_fixture.h"

using engine::LoadResult;
using engine::RuleKind;
using engine::ThreatDatabase;

namespace {

const update::EzKey kKey{0x5BD1, 0x2F1B, 0x9C47};

std::vector<std::string> AllLines(ThreatDatabase& db, int reads) {
  std::vector<std::string> out;
  for (int i = 0; i < reads; ++i) out.push_back(db.ReadLine());
  return out;
}

TEST(LineReader, EdgeCases) {
  ThreatDatabase db;
  db.SetText("");
  EXPECT_EQ(AllLines(db, 2), (std::vector<std::string>{"_end", "_end"}));
  db.SetText("only line\r\n");
  EXPECT_EQ(AllLines(db, 2), (std::vector<std::string>{"_end", "_end"}));
  // The last line is never handed out, whatever it says.
  db.SetText("date\r\nrule\r\n[X]:last.exe\r\n");
  EXPECT_EQ(AllLines(db, 4), (std::vector<std::string>{"date", "rule", "_end", "_end"}));
  // LF is skipped without being looked at.
  db.SetText("a\rXb\r\nc\r\n");
  EXPECT_EQ(AllLines(db, 2), (std::vector<std::string>{"a", "b"}));
}

TEST(LineReader, LineWithoutCrWithinReachIsTakenAsRead) {
  ThreatDatabase db;
  std::string longLine(300, 'x');
  db.SetText(longLine + "\r\nnext\r\n_end\r\n");
  EXPECT_EQ(db.ReadLine(), std::string(255, 'x'));
  EXPECT_EQ(db.ReadLine(), std::string(45, 'x'));
  EXPECT_EQ(db.ReadLine(), "next");
  EXPECT_EQ(db.ReadLine(), "_end");
  db.SetText("no line end at all");
  EXPECT_EQ(db.ReadLine(), "_end");  // read to the end: nothing follows
}

TEST(Database, DateIsLineOneOrError) {
  ThreatDatabase db;
  EXPECT_EQ(db.Date("Error"), "Error");
  db.SetText("Database date: 2026-12-01 (r0001)\r\n[A]:a.exe\r\n[B]:b.exe\r\n_end\r\n");
  db.ReadLine();
  EXPECT_EQ(db.ReadLine(), "[A]:a.exe");
  EXPECT_EQ(db.Date("Error"), "Database date: 2026-12-01 (r0001)");
  EXPECT_EQ(db.ReadLine(), "[B]:b.exe");  // a scan reading on is not sent back to the top
}

class LoadTest : public SimFixture {};

TEST_F(LoadTest, CompressedEncipheredOnlyDamagedAndMissing) {
  const std::string text = "Date line\r\n[A]:a.exe\r\n_end\r\n";
  WriteFile("C:\\db\\packed.dat", engine::PackDatabase(text, kKey, true));
  WriteFile("C:\\db\\plain.dat", engine::PackDatabase(text, kKey, false));
  std::string damaged = engine::PackDatabase(text, kKey, true);
  damaged.resize(damaged.size() - 8);
  WriteFile("C:\\db\\damaged.dat", damaged);
  std::string corrupt = engine::PackDatabase(std::string(5000, 'q') + text, kKey, false);
  // Enciphering a corrupted bzip2 stream: flip bytes in its middle.
  std::string bz = engine::PackDatabase(text, {0, 0, 0}, true);  // key 0: bytes unchanged
  bz[bz.size() / 2] ^= 0x55;
  update::EncipherInPlace(bz, kKey);
  WriteFile("C:\\db\\corrupt.dat", bz);

  ThreatDatabase db;
  auto& fs = machine.Files();
  EXPECT_EQ(db.Load(fs, "C:\\db\\packed.dat", kKey), LoadResult::Ok);
  EXPECT_EQ(db.Text(), text);
  EXPECT_EQ(db.Load(fs, "C:\\db\\plain.dat", kKey), LoadResult::Ok);
  EXPECT_EQ(db.Text(), text);

  db.SetText("previous\r\n_end\r\n");
  EXPECT_EQ(db.Load(fs, "C:\\db\\damaged.dat", kKey), LoadResult::Damaged);
  EXPECT_EQ(db.Load(fs, "C:\\db\\corrupt.dat", kKey), LoadResult::Damaged);
  EXPECT_EQ(db.Load(fs, "C:\\db\\missing.dat", kKey), LoadResult::Unreadable);
  EXPECT_EQ(db.Text(), "previous\r\n_end\r\n");  // kept through every failure

  // Another key deciphers to noise: taken as plain text, no rule matches.
  EXPECT_EQ(db.Load(fs, "C:\\db\\plain.dat", {1, 2, 3}), LoadResult::Ok);
  EXPECT_NE(db.Text(), text);
}

TEST_F(LoadTest, ScanRootsComeFromTheMachine) {
  EXPECT_EQ(engine::ReadScanRoots(machine).programFiles, "");  // key missing
  machine.Reg()
      .Create(platform::Hive::LocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
              platform::keyaccess::kAllAccess)
      ->WriteString("ProgramFilesDir", "D:\\Programme");
  auto roots = engine::ReadScanRoots(machine);
  EXPECT_EQ(roots.windowsDir, "C:\\WINDOWS");
  EXPECT_EQ(roots.systemDir, "C:\\WINDOWS\\system32");
  EXPECT_EQ(roots.programFiles, "D:\\Programme");
}

TEST(RuleParsing, ExamplesOfTheFormat) {
  struct Row {
    const char* line;
    const char* root;
    RuleKind kind;
    const char* name;
    const char* hash;
    const char* dir;
    const char* file;
  } rows[] = {
      {"[Trojan.X]:foo.exe", "C:\\WINDOWS\\system32", RuleKind::File, "Trojan.X", "",
       "C:\\WINDOWS\\system32", "foo.exe"},
      {"[]:foo.bar.exe", "", RuleKind::File, "Sys32.foo.bar", "", "", "foo.bar.exe"},
      {"[]:sub\\x.exe", "C:\\W", RuleKind::File, "Sys32.x", "", "C:\\W", "sub\\x.exe"},
      {"[]:noext", "", RuleKind::File, "Sys32.noext", "", "", "noext"},
      {"[Worm.Y]:Sub\\Folder\\\\", "C:\\WINDOWS", RuleKind::Folder, "Worm.Y", "",
       "C:\\WINDOWS\\Sub\\Folder", ""},
      {"[]:Sub\\Folder\\\\", "C:\\WINDOWS\\", RuleKind::Folder, "Sys32.Folder", "",
       "C:\\WINDOWS\\Sub\\Folder", ""},
      {"[Worm.Z]:Sub\\", "C:\\WINDOWS", RuleKind::Folder, "Worm.Z", "", "C:\\WINDOWS\\", ""},
      {"/0123456789abcdef0123456789abcdef/[Hash.A]::", "C:\\WINDOWS", RuleKind::Hash, "Hash.A",
       "0123456789abcdef0123456789abcdef", "", ""},
      {"[Inert.B]::", "C:\\WINDOWS", RuleKind::Inert, "Inert.B", "", "", ""},
      {"/0/[Hash.Zero]:x.exe", "", RuleKind::File, "Hash.Zero", "", "", "x.exe"},
      {"/abc/[H]:y.exe", "R", RuleKind::File, "H", "abc", "R", "y.exe"},
      {"[Abs]:C:\\dir\\x.exe  ", "", RuleKind::File, "Abs", "", "", "C:\\dir\\x.exe"},
      {"[T]:spy<>.exe", "C:\\PF  ", RuleKind::File, "T", "", "C:\\PF", "spy<>.exe"},
      // The default name: File before its last "." without its folder, or File whole;
      // only "\\" and ":" separate path parts.
      {"[]:dir.x\\foo", "", RuleKind::File, "Sys32.dir", "", "", "dir.x\\foo"},
      {"[]:sub\\noext", "", RuleKind::File, "Sys32.sub\\noext", "", "", "sub\\noext"},
      {"[]:a/b.c.exe", "", RuleKind::File, "Sys32.a/b.c", "", "", "a/b.c.exe"},
      {"[]:C:x.y.exe", "", RuleKind::File, "Sys32.x.y", "", "", "C:x.y.exe"},
      {"[]:Sub/Folder\\\\", "C:\\W", RuleKind::Folder, "Sys32.Sub/Folder", "", "C:\\W\\Sub/Folder",
       ""},
  };
  // A scan parses every line into one rule: nothing of the line before stays.
  engine::ScanRule reused;
  reused.noProcessLookup = true;
  for (const auto& r : rows) {
    for (const auto& rule : {engine::ParseRuleLine(r.line, r.root),
                             (engine::ParseRuleLine(r.line, r.root, reused), reused)}) {
      EXPECT_EQ(rule.Kind(), r.kind) << r.line;
      EXPECT_EQ(rule.name, r.name) << r.line;
      EXPECT_EQ(rule.hash, r.hash) << r.line;
      EXPECT_EQ(rule.dir, r.dir) << r.line;
      EXPECT_EQ(rule.file, r.file) << r.line;
      EXPECT_FALSE(rule.noProcessLookup) << r.line;
    }
  }
}

std::vector<std::string> Passes(const std::string& text) {
  ThreatDatabase db;
  db.SetText(text);
  engine::RuleWalker walker(db, {"C:\\WIN", "C:\\WIN\\sys32", "C:\\PF"});
  engine::RulePass p;
  std::vector<std::string> out;
  while (walker.Next(p))
    out.push_back(std::string(engine::RuleKindName(p.rule.Kind())) + " " + p.rule.name + " " +
                  p.rule.dir + " " + p.rule.file + (p.rule.noProcessLookup ? " /0/" : ""));
  // The total a scan shows is the number of its passes.
  EXPECT_EQ(engine::CountRulePasses(db), out.size()) << text;
  return out;
}

TEST(RuleWalker, SectionsAndPasses) {
  EXPECT_EQ(Passes("date\r\n[Start]\r\n[A]:c:\\a.exe\r\n[System32Root]\r\n[Trojan.X]:foo.exe\r\n"
                   "[Win32Root]\\Temp\r\n[B]:b.exe\r\n[ProgramFiles32Root]\\App\r\n"
                   "[C]:c/0/.exe\r\n_end\r\n[Never]:n.exe\r\nlast\r\n"),
            (std::vector<std::string>{"file A  c:\\a.exe", "file Trojan.X C:\\WIN\\sys32 foo.exe",
                                      "file B C:\\WIN\\Temp b.exe",
                                      "file C C:\\PF\\App c.exe /0/"}));
}

TEST(RuleWalker, SectionAfterSectionIsARule) {
  // "[Start]" right after "[Win32Root]" is tested no more: it is a rule line
  // for a file of that name under the Windows folder.
  EXPECT_EQ(Passes("date\r\n[Win32Root]\r\n[Start]\r\n[A]:a.exe\r\n_end\r\n"),
            (std::vector<std::string>{"file Start C:\\WIN [Start]", "file A C:\\WIN a.exe"}));
  // The other way round both are sections: the tests go in order.
  EXPECT_EQ(Passes("date\r\n[Start]\r\n[Win32Root]\r\n[A]:a.exe\r\n_end\r\n"),
            (std::vector<std::string>{"file A C:\\WIN a.exe"}));
}

TEST(RuleWalker, SectionRightBeforeTheLastLine) {
  // The reader hands the last line over once, as "_end": a rule for a file
  // of that name. The next pass ends.
  EXPECT_EQ(Passes("date\r\n[Win32Root]\r\n[Z]:z.exe\r\n"),
            (std::vector<std::string>{"file Sys32._end C:\\WIN _end"}));
  EXPECT_EQ(Passes("date\r\n_end\r\n"), std::vector<std::string>{});
}

}  // namespace
