// What the offline machine learns from an installation's hives: folders,
// version, profiles, code page, services, shortcuts; and what it refuses.
#include <gtest/gtest.h>

#include "app/winver.h"
#include "platform/offline/shell_link.h"
#include "startup/u_svc.h"
#include "tests/unit/offline_fixture.h"

using namespace platform;
using platform::offline::OfflineMachine;
namespace fs = std::filesystem;

namespace {

class OfflineMachineTest : public OfflineFixture {};

TEST_F(OfflineMachineTest, FoldersVersionAndUserFromTheHives) {
  Install({.users = {"Anna", "Bert"}});
  auto m = Open();
  ASSERT_TRUE(m) << error;
  ASSERT_EQ(m->Profiles().size(), 2u);
  EXPECT_EQ(m->Profiles()[0].name, "Anna");
  EXPECT_EQ(m->Profiles()[0].folder, "C:\\Users\\Anna");
  EXPECT_EQ(m->Sys().UserName(), "Anna");
  auto& f = m->Files();
  EXPECT_EQ(f.WindowsDirectory(), "C:\\Windows");
  EXPECT_EQ(f.SystemDirectory(), "C:\\Windows\\system32");
  EXPECT_EQ(f.TempPath(), "C:\\Users\\Anna\\AppData\\Local\\Temp\\");
  auto& sh = m->Sh();
  EXPECT_EQ(sh.SpecialFolder(csidl::kStartup),
            "C:\\Users\\Anna\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup");
  EXPECT_EQ(sh.SpecialFolder(csidl::kPersonal), "C:\\Users\\Anna\\Documents");
  EXPECT_EQ(sh.SpecialFolder(csidl::kAppData), "C:\\Users\\Anna\\AppData\\Roaming");
  EXPECT_EQ(sh.SpecialFolder(csidl::kProfile), "C:\\Users\\Anna");
  EXPECT_EQ(sh.SpecialFolder(csidl::kCommonStartup),
            "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Startup");
  EXPECT_EQ(sh.SpecialFolder(csidl::kCommonAppData), "C:\\ProgramData");
  EXPECT_EQ(sh.SpecialFolder(csidl::kHistory),
            "C:\\Users\\Anna\\AppData\\Local\\Microsoft\\Windows\\History");

  ASSERT_TRUE(m->SelectProfile("bert"));
  EXPECT_EQ(m->Sys().UserName(), "Bert");
  EXPECT_EQ(sh.SpecialFolder(csidl::kPersonal), "C:\\Users\\Bert\\Documents");
  EXPECT_FALSE(m->SelectProfile("Carl"));

  auto v = m->Sys().Version();
  ASSERT_TRUE(v);
  EXPECT_EQ(v->major, 6u);
  EXPECT_EQ(v->minor, 1u);
  EXPECT_EQ(v->build, 7601u);
  EXPECT_EQ(v->servicePack, "Service Pack 1");
  EXPECT_EQ(v->productType, 1);
  EXPECT_EQ(m->Sys().NativeArchitecture(), arch::kAmd64);
  EXPECT_EQ(app::WindowsVersionText(m->Sys(), m->Reg()),
            "Microsoft Windows NT Professional Service Pack 1 (Build 7601)");
  EXPECT_TRUE(m->Procs().Snapshot().empty());
  EXPECT_TRUE(m->Warnings().empty());
}

TEST_F(OfflineMachineTest, AnXpInstallationOnAnotherDrive) {
  Install({.windowsFolder = "WINNT", .drive = 'D', .version = "5.1", .build = "2600",
           .servicePack = "Service Pack 3", .amd64 = false, .users = {"Old"},
           .profilesFolder = "Documents and Settings"});
  installation->File("Tools\\Tool.EXE", "MZ tool");
  auto m = Open();
  ASSERT_TRUE(m) << error;
  EXPECT_EQ(m->Drive(), 'D');
  EXPECT_EQ(m->Files().WindowsDirectory(), "D:\\WINNT");
  EXPECT_TRUE(FileExists(m->Files(), "D:\\Tools\\tool.exe"));
  EXPECT_FALSE(FileExists(m->Files(), "C:\\Tools\\tool.exe"));
  EXPECT_EQ(m->Sh().SpecialFolder(csidl::kStartup),
            "D:\\Documents and Settings\\Old\\Start Menu\\Programs\\Startup");
  EXPECT_EQ(m->Sh().SpecialFolder(csidl::kCommonStartup),
            "D:\\Documents and Settings\\All Users\\Start Menu\\Programs\\Startup");
  EXPECT_EQ(app::WindowsVersionText(m->Sys(), m->Reg()),
            "Microsoft Windows XP Professional Service Pack 3 (Build 2600)");
}

TEST_F(OfflineMachineTest, TheInstallationsCodePage) {
  Install({.codePage = 1251});
  installation->File("Users\\Anna\\\xD0\x94\xC3\xA9.exe", "x");
  auto m = Open();
  ASSERT_TRUE(m) << error;
  EXPECT_EQ(m->Text().Number(), 1251u);
  FindData d;
  ASSERT_TRUE(m->Files().FindFirst("C:\\Users\\Anna\\*.exe", d));
  EXPECT_EQ(d.name, "\xC4|E9|.exe");  // De fits 1251, e acute does not
  EXPECT_EQ(m->Sys().TextToUtf8(d.name), "\xD0\x94\xC3\xA9.exe");

  Install({.codePage = 932});
  auto other = Open();
  ASSERT_TRUE(other) << error;
  EXPECT_EQ(other->Text().Number(), 1252u);
  ASSERT_EQ(other->Warnings().size(), 1u);
  EXPECT_NE(other->Warnings()[0].find("code page 932"), std::string::npos);
}

TEST_F(OfflineMachineTest, OneProfileByName) {
  Install({.users = {"Anna", "Bert"}});
  auto m = Open(false, "BERT");
  ASSERT_TRUE(m) << error;
  ASSERT_EQ(m->Profiles().size(), 1u);
  EXPECT_EQ(m->Sys().UserName(), "Bert");
  EXPECT_FALSE(Open(false, "Carl"));
  EXPECT_EQ(failure, OfflineMachine::Failure::NoSuchUser);
  EXPECT_EQ(error, "there is no profile Carl on this installation; its profiles: Anna, Bert");
}

TEST_F(OfflineMachineTest, NotAWindowsInstallation) {
  fs::create_directories(volume / "Windows" / "System32");
  std::ofstream(volume / "readme.txt") << "a data disk";
  EXPECT_FALSE(Open());
  EXPECT_EQ(failure, OfflineMachine::Failure::NotWindows);
  EXPECT_EQ(error, "not a Windows installation: " + volume.string() +
                       " has no Windows folder with the registry hives "
                       "System32\\config\\SOFTWARE and SYSTEM");
}

TEST_F(OfflineMachineTest, HivesHivexCannotOpen) {
  struct Case {
    const char* what;
    std::function<void(std::string&)> spoil;
  } cases[] = {
      {"truncated", [](std::string& b) { b.resize(5000); }},
      {"damaged header", [](std::string& b) { b[0x24] ^= 0x55; }},
      {"no hive at all", [](std::string& b) { b = "MZ not a hive"; }},
      {"a broken bin", [](std::string& b) { b.replace(0x1000, 4, "xxxx"); }},
  };
  for (const auto& c : cases) {
    Install();
    installation->Save();
    std::string bytes = Read(installation->UserPath("Anna"));
    c.spoil(bytes);
    std::ofstream(installation->UserPath("Anna"), std::ios::binary | std::ios::trunc) << bytes;
    installation.reset();
    platform::offline::OfflineOptions o;
    o.volume = volume.string();
    o.programPath = (program / "klaruvex-rescue").string();
    EXPECT_FALSE(OfflineMachine::Open(o, &error, &failure)) << c.what;
    EXPECT_EQ(failure, OfflineMachine::Failure::BadHive) << c.what;
    EXPECT_EQ(error.rfind("the registry hive Users\\Anna\\NTUSER.DAT cannot be read: ", 0), 0u)
        << c.what << ": " << error;
  }
}

TEST_F(OfflineMachineTest, DirtyHivesAreToldApart) {
  Install();
  installation->Save();
  std::string bytes = Read(installation->SystemPath());
  hivemake::SetSequenceNumbers(bytes, 41, 40);
  std::ofstream(installation->SystemPath(), std::ios::binary | std::ios::trunc) << bytes;
  installation.reset();
  auto m = Open();
  ASSERT_TRUE(m) << error;  // read as it is
  EXPECT_EQ(m->DirtyHives(), std::vector<std::string>{"Windows\\System32\\config\\SYSTEM"});
  ASSERT_EQ(m->Warnings().size(), 1u);
  EXPECT_EQ(m->Warnings()[0],
            "The registry hive Windows\\System32\\config\\SYSTEM was not closed cleanly (Windows "
            "crashed or lost power): its newest changes are still in its transaction logs and may "
            "be missing here.");
}

TEST_F(OfflineMachineTest, ALoadedHivesFileIsReplacedOnlyWithoutPendingChanges) {
  Install().User("Anna").String("Software\\Kvx", "Mark", "old");
  const std::string user = "C:\\Users\\Anna\\NTUSER.DAT";
  auto m = Open(true);
  ASSERT_TRUE(m) << error;
  auto& f = m->Files();
  // As on Windows, a loaded hive's file is neither deleted, moved nor written.
  EXPECT_EQ(f.DeleteFile(user), kSharingViolation);
  EXPECT_EQ(f.MoveFile(user, "C:\\x.dat"), kSharingViolation);
  EXPECT_FALSE(f.Open(user, OpenMode::Write));
  // Replaced as a whole it is read again; not while it has unsaved changes.
  hivemake::Hive::OpenExisting((volume / "Users/Anna/NTUSER.DAT").string())
      .String("Software\\Kvx", "Mark", "new")
      .Save((volume / "new.dat").string());
  ASSERT_EQ(f.CopyFile("C:\\new.dat", "C:\\again.dat", true), kOk);
  auto mark = [&] {
    auto k = m->Reg().Open(Hive::CurrentUser, "Software\\Kvx", keyaccess::kAllAccess);
    return k ? k->ReadString("Mark").value_or("(none)") : "(no key)";
  };
  {
    auto k = m->Reg().Open(Hive::CurrentUser, "Software\\Kvx", keyaccess::kAllAccess);
    ASSERT_EQ(k->WriteString("Other", "x"), kOk);
  }
  EXPECT_EQ(f.ReplaceFile("C:\\new.dat", user), kSharingViolation);
  EXPECT_EQ(mark(), "old");
  ASSERT_EQ(m->CommitHives(&error), kOk) << error;
  EXPECT_EQ(f.ReplaceFile("C:\\again.dat", user), kOk);
  EXPECT_EQ(mark(), "new");
}

TEST_F(OfflineMachineTest, ServicesAreListedStoppedAndNeverStarted) {
  auto& inst = Install();
  const std::string services = "ControlSet001\\Services\\";
  inst.System()
      .Dword(services + "Evil", "Type", 0x10)
      .Dword(services + "Evil", "Start", 2)
      .ExpandString(services + "Evil", "ImagePath", "\"C:\\Bad\\evil.exe\" -k")
      .String(services + "Evil", "DisplayName", "Evil Updater")
      .Dword(services + "Disk", "Type", 0x1)
      .ExpandString(services + "Disk", "ImagePath", "System32\\drivers\\disk.sys")
      .Dword(services + "Shared", "Type", 0x20)
      .String(services + "Shared", "DisplayName", "@%SystemRoot%\\system32\\x.dll,-100")
      .Key(services + "Eventlog\\Application");  // settings, not a service
  auto m = Open(true);
  ASSERT_TRUE(m) << error;
  std::vector<std::string> refused;
  auto& scm = m->Svc();
  Status err = kOk;
  auto manager = scm.OpenManager("", svc::kManagerAllAccess, &err);
  ASSERT_TRUE(manager) << err;
  std::vector<std::string> names;
  for (const auto& e : manager->Enumerate(svc::kWin32, svc::kStateAll, 147492, &err)) {
    names.push_back(e.keyName + "=" + e.displayName);
    EXPECT_EQ(e.status.currentState, svc::kStopped);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"Evil=Evil Updater", "Shared=Shared"}));
  EXPECT_EQ(startup::SvcGetKeyName(scm, "", "Evil Updater"), "Evil");
  auto s = manager->OpenService("evil", svc::kAllAccess, &err);
  ASSERT_TRUE(s);
  std::uint32_t needed = 0;
  ASSERT_EQ(s->QueryConfigSize(needed), svc::kInsufficientBuffer);
  ServiceConfig config;
  ASSERT_EQ(s->QueryConfig(needed, config), kOk);
  EXPECT_EQ(config.binaryPathName, "\"C:\\Bad\\evil.exe\" -k");
  EXPECT_EQ(config.startType, svc::kAutoStart);
  EXPECT_EQ(s->Start(), platform::offline::kNotSupported);
  ServiceStatus status;
  EXPECT_EQ(s->Control(svc::kControlStop, status), platform::offline::kNotSupported);
  EXPECT_FALSE(startup::SvcStart(scm, "", "Evil", [](std::uint32_t) {}));
  EXPECT_EQ(m->Warnings(), std::vector<std::string>{
                               "The service Evil cannot be started or stopped: Windows is not "
                               "running on this installation."});
  // The start type is a value, changed in the hive.
  EXPECT_TRUE(startup::SvcSetStartType(scm, "", "Evil", svc::kDisabled));
  auto key = m->Reg().Open(Hive::LocalMachine, "SYSTEM\\CurrentControlSet\\Services\\Evil", keyaccess::kRead);
  EXPECT_EQ(key->ReadDword("Start"), svc::kDisabled);
  EXPECT_FALSE(scm.OpenManager("OTHER", svc::kManagerConnect, &err));
}

TEST_F(OfflineMachineTest, StartupFolderShortcutsResolveWithoutAShell) {
  auto& inst = Install();
  const auto cp = platform::offline::CodePage::Windows1252();
  const std::string startup =
      "Users\\Anna\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup\\";
  inst.File(startup + "Updater.lnk", platform::offline::MakeShellLink("C:\\Bad\\upd\xE4te.exe", cp));
  inst.File(startup + "Cyrillic.lnk", platform::offline::MakeShellLink("C:\\Bad\\|414|.exe", cp));
  inst.File(startup + "desktop.ini", "[.ShellClassInfo]");
  auto m = Open(true);
  ASSERT_TRUE(m) << error;
  auto& sh = m->Sh();
  const std::string folder = sh.SpecialFolder(csidl::kStartup);
  EXPECT_EQ(sh.ShortcutTarget(folder + "\\Updater.lnk"), "C:\\Bad\\upd\xE4te.exe");
  EXPECT_EQ(sh.ShortcutTarget(folder + "\\Cyrillic.lnk"), "C:\\Bad\\|414|.exe");
  EXPECT_EQ(sh.ShortcutTarget(folder + "\\desktop.ini"), std::nullopt);
  EXPECT_EQ(sh.ShortcutTarget(folder + "\\missing.lnk"), std::nullopt);
  ASSERT_EQ(sh.CreateShortcut("C:\\made.lnk", "C:\\Windows\\notepad.exe"), kOk);
  EXPECT_EQ(sh.ShortcutTarget("C:\\made.lnk"), "C:\\Windows\\notepad.exe");
  EXPECT_EQ(sh.Execute("open", "C:\\Windows\\notepad.exe", "", "", kShowNormal),
            platform::offline::kNotSupported);
}

}  // namespace
