// The registry of an installation that is not running: hive files made from
// the format, read and changed through the offline machine.
#include <gtest/gtest.h>
#include <hivex.h>

#include <algorithm>

#include "tests/unit/offline_fixture.h"

using namespace platform;

namespace {

TEST(OfflineHiveFixture, TheSmallestEmptyHiveOpensAndFills) {
  const std::string empty = hivemake::EmptyHive();
  EXPECT_EQ(empty.size(), 8192u);
  char tmpl[] = "/tmp/kvx-hive-XXXXXX";
  const std::string dir = mkdtemp(tmpl);
  const std::string path = dir + "/empty";
  {
    std::ofstream(path, std::ios::binary) << empty;
    hive_h* h = hivex_open(path.c_str(), 0);
    ASSERT_TRUE(h);
    EXPECT_EQ(hivex_node_nr_children(h, hivex_root(h)), 0u);
    EXPECT_EQ(hivex_node_nr_values(h, hivex_root(h)), 0u);
    hivex_close(h);
  }
  // Keys and values of each type, added through hivex and read back by it.
  auto hive = hivemake::Hive::OpenExisting(path);
  hive.String("A\\B", "sz", "c:\\x.exe /s")
      .ExpandString("A\\B", "expand", "%SystemRoot%\\y.dll")
      .MultiString("A", "multi", {"one", "two"})
      .Dword("A", "dword", 0x01020304)
      .Binary("A", "binary", std::string("\0\xff", 2))
      .String("A", "", "the default value")
      .Key("Empty\\Deeper");
  hive.Save();
  using hivemake::Utf16;
  EXPECT_EQ(Dump(path), (std::vector<std::string>{
                            "\\A",
                            "\\A\\B",
                            "\\A\\B|expand=2:" + Hex(Utf16("%SystemRoot%\\y.dll")),
                            "\\A\\B|sz=1:" + Hex(Utf16("c:\\x.exe /s")),
                            "\\A|=1:" + Hex(Utf16("the default value")),
                            "\\A|binary=3:00ff",
                            "\\A|dword=4:04030201",
                            "\\A|multi=7:" + Hex(Utf16("one") + Utf16("two") + std::string(2, '\0')),
                            "\\Empty",
                            "\\Empty\\Deeper",
                        }));
  std::filesystem::remove_all(dir);
}

class OfflineRegistryTest : public OfflineFixture {};

TEST_F(OfflineRegistryTest, MachineUserAndClassesComeFromTheirHives) {
  auto& inst = Install();
  inst.Software()
      .String("Microsoft\\Windows\\CurrentVersion\\Run", "Tool", "C:\\Tools\\tool.exe /min")
      .String("Classes\\CLSID\\{1}\\InprocServer32", "", "C:\\x\\server.dll")
      .MultiString("Multi", "List", {"a", "b"})
      .Binary("Multi", "Bytes", std::string("\x01\x00\x02", 3))
      .Dword("Multi", "Number", 7);
  inst.User("Anna").String("Software\\Microsoft\\Windows\\CurrentVersion\\Run", "Mine", "C:\\me.exe");
  inst.System().String("ControlSet001\\Services\\Svc", "ImagePath", "C:\\svc.exe");
  auto m = Open();
  ASSERT_TRUE(m) << error;
  auto& reg = m->Reg();

  auto run = reg.Open(Hive::LocalMachine, "Software\\Microsoft\\Windows\\CurrentVersion\\Run",
                      keyaccess::kAllAccess);
  ASSERT_TRUE(run);
  EXPECT_EQ(run->ValueNames(), std::vector<std::string>{"Tool"});
  EXPECT_EQ(run->ReadString("tool"), "C:\\Tools\\tool.exe /min");
  EXPECT_EQ(run->Query("Tool")->data, std::string("C:\\Tools\\tool.exe /min") + '\0');

  auto mine = reg.Open(Hive::CurrentUser, "Software\\Microsoft\\Windows\\CurrentVersion\\Run",
                       keyaccess::kRead);
  ASSERT_TRUE(mine);
  EXPECT_EQ(mine->ReadString("Mine"), "C:\\me.exe");
  auto clsid = reg.Open(Hive::ClassesRoot, "CLSID\\{1}\\InProcServer32", keyaccess::kRead);
  ASSERT_TRUE(clsid);
  EXPECT_EQ(clsid->ReadString(""), "C:\\x\\server.dll");
  auto multi = reg.Open(Hive::LocalMachine, "SOFTWARE\\Multi", keyaccess::kRead);
  ASSERT_TRUE(multi);
  EXPECT_EQ(multi->ReadMultiString("List"), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(multi->ReadBinary("Bytes"), std::string("\x01\x00\x02", 3));
  EXPECT_EQ(multi->ReadDword("Number"), 7u);

  // The control set that Select names, under its usual name.
  auto cp = reg.Open(Hive::LocalMachine, "SYSTEM\\CurrentControlSet\\Control\\Nls\\CodePage",
                     keyaccess::kRead);
  ASSERT_TRUE(cp);
  EXPECT_EQ(cp->ReadString("ACP"), "1252");
  auto system = reg.Open(Hive::LocalMachine, "SYSTEM", keyaccess::kRead);
  auto names = system->SubkeyNames();
  EXPECT_NE(std::find(names.begin(), names.end(), "CurrentControlSet"), names.end());
  EXPECT_TRUE(reg.Open(Hive::LocalMachine, "SYSTEM\\CurrentControlSet\\Services\\svc", keyaccess::kRead));
  auto machine = reg.Open(Hive::LocalMachine, "", keyaccess::kRead);
  ASSERT_TRUE(machine);
  EXPECT_EQ(machine->SubkeyNames(), (std::vector<std::string>{"SOFTWARE", "SYSTEM"}));

  Status err = kOk;
  EXPECT_FALSE(reg.Open(Hive::LocalMachine, "Software\\Nothing", keyaccess::kRead, &err));
  EXPECT_EQ(err, kFileNotFound);
  EXPECT_FALSE(reg.Open(Hive::LocalMachine, "SAM\\Domains", keyaccess::kRead, &err));
}

TEST_F(OfflineRegistryTest, KeysOfThe32BitViewAreReadToo) {
  auto& inst = Install();
  const std::string ssodl = "Microsoft\\Windows\\CurrentVersion\\ShellServiceObjectDelayLoad";
  inst.Software()
      .String(ssodl, "Native", "{N}")
      .String("Wow6432Node\\" + ssodl, "Thirty-two", "{W}")
      .String("Wow6432Node\\" + ssodl, "Native", "{shadowed}")
      .String("Classes\\Wow6432Node\\CLSID\\{W}\\InprocServer32", "", "C:\\x\\w32.dll")
      .Key("Wow6432Node\\OnlyThere\\Sub");
  auto m = Open();
  ASSERT_TRUE(m) << error;
  auto& reg = m->Reg();
  auto key = reg.Open(Hive::LocalMachine, "Software\\" + ssodl, keyaccess::kRead);
  ASSERT_TRUE(key);
  EXPECT_EQ(key->ValueNames(), (std::vector<std::string>{"Native", "Thirty-two"}));
  EXPECT_EQ(key->ReadString("Native"), "{N}");  // the native key's value first
  EXPECT_EQ(key->ReadString("Thirty-two"), "{W}");
  auto server = reg.Open(Hive::ClassesRoot, "CLSID\\{W}\\InprocServer32", keyaccess::kRead);
  ASSERT_TRUE(server);
  EXPECT_EQ(server->ReadString(""), "C:\\x\\w32.dll");
  EXPECT_TRUE(reg.Open(Hive::LocalMachine, "Software\\OnlyThere\\Sub", keyaccess::kRead));
  // The 32-bit key by its own name, once.
  auto wow = reg.Open(Hive::LocalMachine, "Software\\Wow6432Node\\" + ssodl, keyaccess::kRead);
  ASSERT_TRUE(wow);
  EXPECT_EQ(wow->ValueNames(), (std::vector<std::string>{"Thirty-two", "Native"}));
}

TEST_F(OfflineRegistryTest, AScanChangesNoHive) {
  auto& inst = Install();
  inst.Software().String("Microsoft\\Windows\\CurrentVersion\\Run", "Tool", "C:\\tool.exe");
  auto m = Open(/*writable=*/false);
  ASSERT_TRUE(m) << error;
  const std::string before = Read(inst.SoftwarePath());
  auto run = m->Reg().Open(Hive::LocalMachine, "Software\\Microsoft\\Windows\\CurrentVersion\\Run",
                           keyaccess::kAllAccess);
  ASSERT_TRUE(run);  // full access opens, as the program asks for it to read
  EXPECT_EQ(run->DeleteValue("Tool"), kAccessDenied);
  EXPECT_EQ(run->WriteString("New", "x"), kAccessDenied);
  Status err = kOk;
  EXPECT_FALSE(m->Reg().Create(Hive::LocalMachine, "Software\\Created", keyaccess::kAllAccess, &err));
  EXPECT_EQ(err, kAccessDenied);
  EXPECT_EQ(m->CommitHives(nullptr), kOk);
  EXPECT_EQ(Read(inst.SoftwarePath()), before);
}

TEST_F(OfflineRegistryTest, ChangesReachTheHiveOnlyWhenCommitted) {
  auto& inst = Install();
  const std::string runKey = "Microsoft\\Windows\\CurrentVersion\\Run";
  inst.Software()
      .String(runKey, "Evil", "C:\\bad\\evil.exe")
      .String(runKey, "Keep", "C:\\good.exe")
      .Dword(runKey, "Number", 3)
      .Key("Other\\Deep");
  inst.User("Anna").String("Software\\" + runKey, "Mine", "C:\\bad\\evil.exe /s");
  auto m = Open(/*writable=*/true);
  ASSERT_TRUE(m) << error;
  const auto softwareBefore = Dump(inst.SoftwarePath().string());
  const std::string systemBefore = Read(inst.SystemPath());

  auto run = m->Reg().Open(Hive::LocalMachine, "SOFTWARE\\" + runKey, keyaccess::kAllAccess);
  ASSERT_EQ(run->DeleteValue("evil"), kOk);
  EXPECT_EQ(run->DeleteValue("evil"), kFileNotFound);
  auto mine = m->Reg().Open(Hive::CurrentUser, "Software\\" + runKey, keyaccess::kAllAccess);
  ASSERT_EQ(mine->DeleteValue("Mine"), kOk);
  EXPECT_EQ(run->ValueNames(), (std::vector<std::string>{"Keep", "Number"}));
  // Nothing on the volume yet.
  EXPECT_EQ(Dump(inst.SoftwarePath().string()), softwareBefore);

  ASSERT_EQ(m->CommitHives(&error), kOk) << error;
  auto after = Dump(inst.SoftwarePath().string());
  auto expected = softwareBefore;
  expected.erase(std::remove_if(expected.begin(), expected.end(),
                                [](const std::string& s) { return s.find("|Evil=") != std::string::npos; }),
                 expected.end());
  EXPECT_EQ(after, expected);
  EXPECT_EQ(Read(inst.SystemPath()), systemBefore);  // unchanged hives are not rewritten
  auto user = Dump(inst.UserPath("Anna").string());
  EXPECT_EQ(std::count_if(user.begin(), user.end(),
                          [](const std::string& s) { return s.find("|Mine=") != std::string::npos; }),
            0);
  EXPECT_FALSE(std::filesystem::exists(inst.SoftwarePath().string() + ".kvxnew"));
}

TEST_F(OfflineRegistryTest, AKeyWithABigValueIsNotRewritten) {
  auto& inst = Install();
  inst.Software()
      .String("Big", "Small", "x")
      .Binary("Big", "Large", std::string(20000, 'b'));
  auto m = Open(true);
  ASSERT_TRUE(m) << error;
  auto key = m->Reg().Open(Hive::LocalMachine, "SOFTWARE\\Big", keyaccess::kAllAccess);
  ASSERT_TRUE(key);
  EXPECT_EQ(key->ReadBinary("Large")->size(), 20000u);
  EXPECT_EQ(key->DeleteValue("Small"), 50u);  // ERROR_NOT_SUPPORTED: the big value would be damaged
  EXPECT_EQ(key->ReadString("Small"), "x");
}

TEST_F(OfflineRegistryTest, NamesAndStringsOutsideTheCodePageStayExact) {
  auto& inst = Install();
  const std::string runKey = "Microsoft\\Windows\\CurrentVersion\\Run";
  // A value name and data with a Cyrillic letter, and a pipe.
  inst.Software().String(runKey, "\xD0\x94rop", "C:\\\xD0\x94\\a|b.exe");
  auto m = Open(true);
  ASSERT_TRUE(m) << error;
  auto run = m->Reg().Open(Hive::LocalMachine, "SOFTWARE\\" + runKey, keyaccess::kAllAccess);
  ASSERT_TRUE(run);
  EXPECT_EQ(run->ValueNames(), std::vector<std::string>{"|414|rop"});
  EXPECT_EQ(run->ReadString("|414|rop"), "C:\\|414|\\a|7C|b.exe");
  EXPECT_EQ(m->Sys().TextToUtf8("C:\\|414|\\a|7C|b.exe"), "C:\\\xD0\x94\\a|b.exe");
  ASSERT_EQ(run->DeleteValue("|414|rop"), kOk);
  ASSERT_EQ(m->CommitHives(&error), kOk) << error;
  auto after = Dump(inst.SoftwarePath().string());
  EXPECT_EQ(std::count_if(after.begin(), after.end(),
                          [](const std::string& s) { return s.find("rop=") != std::string::npos; }),
            0);
}

}  // namespace
