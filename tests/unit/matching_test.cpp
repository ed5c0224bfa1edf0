// The pattern kinds of rule paths, table by table.
#include <gtest/gtest.h>

#include "engine/helpers.h"
#include "engine/matching.h"
#include "tests/unit/sim_fixture.h"

namespace {

TEST(Matching, RangesCountUpToButNeverReachTheirEnd) {
  struct Case {
    const char* path;
    std::vector<std::string> names;
  } cases[] = {
      {"C:\\x\\dial??b1?d3?.exe",
       {"C:\\x\\dialb1.exe", "C:\\x\\dialb2.exe", "C:\\x\\dialc1.exe", "C:\\x\\dialc2.exe"}},
      {"C:\\x\\dial??e1?a3?.exe", {"C:\\x\\diale1.exe", "C:\\x\\diale2.exe"}},
      {"C:\\x\\n??1?5?.exe", {"C:\\x\\n1.exe", "C:\\x\\n2.exe", "C:\\x\\n3.exe", "C:\\x\\n4.exe"}},
      // r, s and q stand in that order.
      {"C:\\x\\m??r?q?", {"C:\\x\\mr", "C:\\x\\ms"}},
      {"C:\\x\\big??0?99999999999?", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(engine::ExpandRange(c.path), c.names) << c.path;
  EXPECT_EQ(engine::ExpandRange("C:\\x\\n??1?10002?").size(), engine::kMaxRangeNames);
}

TEST(Matching, PrefixSetAndPieces) {
  struct Case {
    const char* name;
    const char* set;
    bool passes;
  } cases[] = {
      {"123.exe", "0123456789!.exe!", true},   {"12a.exe", "0123456789!.exe!", false},
      {"123.dll", "0123456789!.exe!", false},  {"", "0123456789!.exe!", false},
      {"4711", "0123456789", true},            {"47x", "0123456789", false},
      {"1.a.b", "0123456789!.a!.b!", true},    {"1.b.a", "0123456789!.a!.b!", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(engine::PassesSuffixTest(c.name, c.set), c.passes) << c.name << " " << c.set;
  EXPECT_EQ(engine::BaseName("C:\\a\\b.c.exe"), "b");
  EXPECT_EQ(engine::BaseName("C:\\a\\.exe"), ".exe");
}

using RunningPrograms = SimFixture;

// The lookup a scan makes for every rule: a backslash and the rule's file
// within the path of a running program, letter case ignored.
TEST_F(RunningPrograms, FragmentsIgnoreCaseAndTheFirstProgramWins) {
  for (const char* p : {"C:\\Apps\\Tool\\Helper.EXE", "C:\\apps\\other\\helper.exe",
                        "C:\\Apps\\note.exe", "C:\\x\\notepad.exe"}) {
    WriteFile(p, "MZ");
    machine.SimProcs().Start(p);
  }
  machine.SimProcs().Start("C:\\gone\\ghost.exe");  // no file: not counted as running
  engine::SystemInventory inventory;
  engine::MatchContext ctx(machine, inventory);
  struct Case {
    const char* fragment;
    const char* found;
  } cases[] = {
      {"\\helper.exe", "C:\\Apps\\Tool\\Helper.EXE"},  // the first in process order
      {"\\OTHER\\HELPER.EXE", "C:\\apps\\other\\helper.exe"},
      {"\\note", "C:\\Apps\\note.exe"},  // part of a name will do
      {"\\notepad.exe", "C:\\x\\notepad.exe"},
      {"\\tool\\", "C:\\Apps\\Tool\\Helper.EXE"},
      {"\\ghost.exe", ""},
      {"\\helper.exe.", ""},
      {"pad.ex", "C:\\x\\notepad.exe"},  // anywhere, when not at a backslash
      {"\\", "C:\\Apps\\Tool\\Helper.EXE"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(engine::FindRunningProcessPath(ctx, c.fragment, ""), c.found) << c.fragment;
  // A program that ends is gone from the lookup once the scan says so.
  engine::TerminateProcessesByName(machine, "note.exe");
  ctx.ForgetRunningPrograms();
  EXPECT_EQ(engine::FindRunningProcessPath(ctx, "\\note", ""), "C:\\x\\notepad.exe");
}

}  // namespace
