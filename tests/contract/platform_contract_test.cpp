// One suite, two machines: the simulated one on Linux and the real Win32
// layer under Wine. Every expectation here is what Windows does.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "engine/helpers.h"
#include "platform/local_time.h"
#include "platform/text.h"
#include "startup/u_svc.h"
#include "tests/contract/bench.h"

using namespace platform;

namespace {

class Contract : public ::testing::Test {
 protected:
  void SetUp() override {
    bench_ = contract::MakeBench();
    dir_ = bench_->Scratch();
  }
  void TearDown() override {
    bench_->M().Reg().DeleteKey(Hive::CurrentUser, bench_->ScratchKey() + "\\Sub");
    bench_->M().Reg().DeleteKey(Hive::CurrentUser, bench_->ScratchKey());
  }
  Machine& M() { return bench_->M(); }
  FileSystem& F() { return bench_->M().Files(); }
  std::string P(const std::string& rel) { return dir_ + "\\" + rel; }
  void Write(const std::string& rel, std::string_view bytes) {
    ASSERT_EQ(WriteWholeFile(F(), P(rel), bytes), kOk) << rel;
  }
  std::vector<std::string> List(const std::string& pattern) {
    std::vector<std::string> names;
    FindData d;
    if (auto h = F().FindFirst(pattern, d)) {
      do
        if (d.name != "." && d.name != "..") names.push_back(LowerCase(d.name));
      while (h->Next(d));
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  std::unique_ptr<contract::TestBench> bench_;
  std::string dir_;
};

TEST_F(Contract, FilesReadWriteFindAndNamesIgnoreCase) {
  Write("Data.TXT", "hello world!");
  Write("other.bin", "");
  ASSERT_EQ(F().CreateDirectory(P("Sub")), kOk);

  std::string back;
  ASSERT_EQ(ReadWholeFile(F(), P("data.txt"), back), kOk);
  EXPECT_EQ(back, "hello world!");

  FindData d;
  auto h = F().FindFirst(P("DATA.txt"), d);
  ASSERT_TRUE(h);
  EXPECT_TRUE(SameText(d.name, "data.txt"));
  EXPECT_EQ(d.size, 12u);
  EXPECT_FALSE(d.IsDirectory());
  EXPECT_TRUE(d.lastWriteIsDosTime);

  EXPECT_EQ(List(P("*")), (std::vector<std::string>{"data.txt", "other.bin", "sub"}));
  EXPECT_EQ(List(P("*.txt")), (std::vector<std::string>{"data.txt"}));
  EXPECT_TRUE(DirectoryExists(F(), P("SUB")));
  EXPECT_EQ(F().GetAttributes(P("sub")) & fileattr::kDirectory, fileattr::kDirectory);

  // A path ends at its first NUL, whatever follows it.
  ASSERT_EQ(ReadWholeFile(F(), P("data.txt") + std::string("\0\\junk", 6), back), kOk);
  EXPECT_EQ(back, "hello world!");
  EXPECT_EQ(List(P("Sub") + std::string("\0\\x\\*", 6)), (std::vector<std::string>{"sub"}));
}

TEST_F(Contract, FileErrorsCarryWindowsCodes) {
  Status err = kOk;
  FindData d;
  EXPECT_FALSE(F().Open(P("missing.txt"), OpenMode::Read, &err));
  EXPECT_EQ(err, kFileNotFound);
  EXPECT_FALSE(F().Open(P("nodir\\x.txt"), OpenMode::Write, &err));
  EXPECT_EQ(err, kPathNotFound);
  EXPECT_FALSE(F().FindFirst(P("nodir\\*"), d, &err));
  EXPECT_EQ(err, kPathNotFound);
  EXPECT_FALSE(F().FindFirst(P("*.none"), d, &err));
  EXPECT_EQ(err, kFileNotFound);
  EXPECT_EQ(F().DeleteFile(P("missing.txt")), kFileNotFound);
  EXPECT_EQ(F().GetAttributes(P("missing.txt")), FileSystem::kInvalidAttributes);

  Write("a.txt", "a");
  Write("b.txt", "b");
  EXPECT_EQ(F().CopyFile(P("a.txt"), P("b.txt"), true), kFileExists);
  EXPECT_EQ(F().MoveFile(P("a.txt"), P("b.txt")), kAlreadyExists);
  ASSERT_EQ(F().CreateDirectory(P("d")), kOk);
  EXPECT_EQ(F().CreateDirectory(P("d")), kAlreadyExists);
  Write("d\\x", "x");
  EXPECT_EQ(F().RemoveDirectory(P("d")), kDirNotEmpty);
}

TEST_F(Contract, CopyMoveDeleteAndReadOnly) {
  Write("a.txt", "abc");
  ASSERT_EQ(F().CopyFile(P("a.txt"), P("c.txt"), true), kOk);
  ASSERT_EQ(F().MoveFile(P("c.txt"), P("m.txt")), kOk);
  EXPECT_FALSE(FileExists(F(), P("c.txt")));
  std::string back;
  ASSERT_EQ(ReadWholeFile(F(), P("m.txt"), back), kOk);
  EXPECT_EQ(back, "abc");

  ASSERT_EQ(F().SetAttributes(P("m.txt"), fileattr::kReadOnly | fileattr::kHidden), kOk);
  EXPECT_EQ(F().GetAttributes(P("m.txt")) & (fileattr::kReadOnly | fileattr::kHidden),
            fileattr::kReadOnly | fileattr::kHidden);
  EXPECT_EQ(F().DeleteFile(P("m.txt")), kAccessDenied);
  ASSERT_EQ(F().SetAttributes(P("m.txt"), fileattr::kNormal), kOk);
  EXPECT_EQ(F().DeleteFile(P("m.txt")), kOk);
  EXPECT_FALSE(FileExists(F(), P("m.txt")));

  ASSERT_EQ(F().CreateDirectory(P("e")), kOk);
  EXPECT_EQ(F().RemoveDirectory(P("e")), kOk);
  EXPECT_FALSE(DirectoryExists(F(), P("e")));
}

TEST_F(Contract, ReplaceSwapsInTheNewFileOrLeavesTheOldOne) {
  Write("r.txt", "old");
  ASSERT_EQ(WriteFileReplacing(F(), P("r.txt"), "new contents"), kOk);
  std::string back;
  ASSERT_EQ(ReadWholeFile(F(), P("r.txt"), back), kOk);
  EXPECT_EQ(back, "new contents");
  EXPECT_FALSE(FileExists(F(), ReplacementTempPath(P("r.txt"))));

  // A read-only target is not replaced, and the new bytes are not left behind.
  ASSERT_EQ(F().SetAttributes(P("r.txt"), fileattr::kReadOnly), kOk);
  EXPECT_EQ(WriteFileReplacing(F(), P("r.txt"), "lost"), kAccessDenied);
  ASSERT_EQ(ReadWholeFile(F(), P("r.txt"), back), kOk);
  EXPECT_EQ(back, "new contents");
  EXPECT_FALSE(FileExists(F(), ReplacementTempPath(P("r.txt"))));
  ASSERT_EQ(F().SetAttributes(P("r.txt"), fileattr::kNormal), kOk);

  EXPECT_EQ(F().ReplaceFile(P("none.txt"), P("r.txt")), kFileNotFound);
  Write("fresh.txt", "x");
  ASSERT_EQ(F().ReplaceFile(P("fresh.txt"), P("brand-new.txt")), kOk);
  EXPECT_FALSE(FileExists(F(), P("fresh.txt")));
  EXPECT_TRUE(FileExists(F(), P("brand-new.txt")));
}

TEST_F(Contract, MappingAndTimeStamps) {
  Write("m.bin", std::string("\0\x01\xff zz", 6));
  auto v = F().MapReadOnly(P("m.bin"));
  ASSERT_TRUE(v);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(v->Data()), v->Size()),
            std::string("\0\x01\xff zz", 6));
  Write("empty", "");
  auto e = F().MapReadOnly(P("empty"));
  ASSERT_TRUE(e);
  EXPECT_EQ(e->Size(), 0u);

  const FileTime y1975 = 118025568000000000ULL;  // 1975-01-01
  const FileTime y2020 = 132223104000000000ULL;  // 2020-01-01
  FindData d;
  ASSERT_EQ(F().SetLastWriteTime(P("m.bin"), y1975), kOk);
  ASSERT_TRUE(F().FindFirst(P("m.bin"), d));
  EXPECT_EQ(d.lastWrite, y1975);
  EXPECT_FALSE(d.lastWriteIsDosTime);
  ASSERT_EQ(F().SetLastWriteTime(P("m.bin"), y2020), kOk);
  ASSERT_TRUE(F().FindFirst(P("m.bin"), d));
  EXPECT_TRUE(d.lastWriteIsDosTime);
}

TEST_F(Contract, SystemFolders) {
  std::string win = F().WindowsDirectory(), sys = F().SystemDirectory();
  ASSERT_FALSE(win.empty());
  EXPECT_NE(win.back(), '\\');
  EXPECT_TRUE(SameText(sys.substr(0, win.size() + 1), win + "\\"));
  EXPECT_TRUE(DirectoryExists(F(), sys));
  EXPECT_EQ(F().TempPath().back(), '\\');
}

TEST_F(Contract, RegistryValuesOfEveryType) {
  auto& reg = M().Reg();
  const std::string path = bench_->ScratchKey();
  Status err = kOk;
  EXPECT_FALSE(reg.Open(Hive::CurrentUser, path + "\\Sub", keyaccess::kRead, &err));
  EXPECT_EQ(err, kFileNotFound);

  auto key = reg.Create(Hive::CurrentUser, path + "\\Sub", keyaccess::kAllAccess);
  ASSERT_TRUE(key);
  EXPECT_EQ(key->WriteString("Text", "c:\\x.exe /s"), kOk);
  EXPECT_EQ(key->WriteMultiString("Multi", {"one", "two"}), kOk);
  EXPECT_EQ(key->WriteDword("0", 1), kOk);
  EXPECT_EQ(key->WriteBinary("Bin", std::string("\x00\x02\xfe", 3)), kOk);
  key.reset();

  auto parent = reg.Open(Hive::CurrentUser, path, keyaccess::kRead);
  ASSERT_TRUE(parent);
  EXPECT_EQ(parent->SubkeyNames(), std::vector<std::string>{"Sub"});

  auto read = reg.Open(Hive::CurrentUser, path + "\\SUB", keyaccess::kRead);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->ReadString("text"), "c:\\x.exe /s");
  EXPECT_EQ(read->ReadMultiString("Multi"), (std::vector<std::string>{"one", "two"}));
  EXPECT_EQ(read->ReadDword("0"), 1u);
  EXPECT_EQ(read->ReadBinary("Bin"), std::string("\x00\x02\xfe", 3));
  EXPECT_EQ(read->ReadDword("Text"), std::nullopt);  // wrong type
  EXPECT_EQ(read->ReadString("Missing"), std::nullopt);
  auto names = read->ValueNames();
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"0", "Bin", "Multi", "Text"}));

  auto write = reg.Open(Hive::CurrentUser, path + "\\Sub", keyaccess::kAllAccess);
  ASSERT_TRUE(write);
  EXPECT_EQ(write->DeleteValue("Text"), kOk);
  EXPECT_EQ(write->DeleteValue("Text"), kFileNotFound);
  EXPECT_EQ(write->ReadString("Text"), std::nullopt);
}

// --- helpers over the platform ---

TEST_F(Contract, ValidFileAndSize) {
  Write("empty.txt", "");
  Write("big.txt", "0123456789AB");
  ASSERT_EQ(F().CreateDirectory(P("folder")), kOk);
  EXPECT_TRUE(engine::IsValidFile(F(), P("empty.txt")));
  EXPECT_TRUE(engine::IsValidFile(F(), P("big.txt")));
  EXPECT_FALSE(engine::IsValidFile(F(), P("folder")));
  EXPECT_FALSE(engine::IsValidFile(F(), P("missing.txt")));
  EXPECT_FALSE(engine::IsValidFile(F(), P("*.txt")));  // a pattern names no file

  // An odd time stamp leaves only the size test: more than 10 bytes.
  const FileTime y1975 = 118025568000000000ULL;
  ASSERT_EQ(F().SetLastWriteTime(P("empty.txt"), y1975), kOk);
  ASSERT_EQ(F().SetLastWriteTime(P("big.txt"), y1975), kOk);
  EXPECT_FALSE(engine::IsValidFile(F(), P("empty.txt")));
  EXPECT_TRUE(engine::IsValidFile(F(), P("big.txt")));

  EXPECT_EQ(engine::FileSizeOf(F(), P("big.txt")), 12u);
  EXPECT_EQ(engine::FileSizeOf(F(), P("missing.txt")), 0u);
}

TEST_F(Contract, Md5Text) {
  Write("abc", "abc");
  std::string big(3 * 256 * 1024 + 17, 'k');
  Write("big", big);
  EXPECT_EQ(engine::FileMd5(F(), P("abc")), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(engine::FileMd5(F(), P("big")), engine::Md5Hex(big));
  EXPECT_EQ(engine::FileMd5(F(), P("missing")), "d41d8cd98f00b204e9800998ecf8427e");
}

TEST_F(Contract, ResolvePathToTheLongestValidFile) {
  const std::string sys = F().SystemDirectory(), win = F().WindowsDirectory();
  ASSERT_EQ(WriteWholeFile(F(), sys + "\\kvxres1.exe", "program"), kOk);
  ASSERT_EQ(WriteWholeFile(F(), win + "\\kvxres2.exe", "program"), kOk);
  Write("My App.exe", "program");
  const std::string app = LowerCase(P("My App.exe"));

  struct Case {
    std::string text, want;
  } cases[] = {
      {win + "\\kvxres2.exe -s", LowerCase(win + "\\kvxres2.exe")},
      {"%SystemRoot%\\kvxres1.exe", LowerCase(sys + "\\kvxres1.exe")},
      {"%windir%\\kvxres2.exe", LowerCase(win + "\\kvxres2.exe")},
      {"kvxres1.exe", LowerCase(sys + "\\kvxres1.exe")},
      {"\"" + P("My App.exe") + "\" /min", app},
      {"Run: [x] " + P("My App.exe") + " (x)", app},
      {P("nothing.exe") + " /x", ""},
      {"plain words", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(engine::ResolvePath(F(), c.text), c.want) << c.text;

  F().DeleteFile(sys + "\\kvxres1.exe");
  F().DeleteFile(win + "\\kvxres2.exe");
}

TEST_F(Contract, RunningProgramsListedHeldAndTerminatedByName) {
  if (!bench_->RunsPrograms()) GTEST_SKIP() << "no program runs on this machine";
  ASSERT_EQ(F().CreateDirectory(P("a")), kOk);
  ASSERT_EQ(F().CreateDirectory(P("b")), kOk);
  const auto pa = bench_->StartProgram(P("a\\kvxsame.exe"));
  const auto pb = bench_->StartProgram(P("b\\KVXSAME.EXE"));

  auto paths = [&] {
    std::vector<std::pair<std::string, std::uint32_t>> out;
    for (const auto& p : engine::ListRunningProcesses(M())) out.push_back({LowerCase(p.path), p.pid});
    return out;
  };
  auto running = paths();
  auto has = [&](const std::string& path, std::uint32_t pid) {
    return std::find(running.begin(), running.end(), std::make_pair(LowerCase(path), pid)) !=
           running.end();
  };
  EXPECT_TRUE(has(P("a\\kvxsame.exe"), pa));
  EXPECT_TRUE(has(P("b\\kvxsame.exe"), pb));

  // The file of a running program cannot be deleted.
  EXPECT_EQ(F().DeleteFile(P("a\\kvxsame.exe")), kAccessDenied);

  EXPECT_EQ(engine::TerminateProcessesByName(M(), "KvxSame.exe"), 1);
  bool gone = false;
  for (int i = 0; i < 100 && !gone; ++i) {
    if (i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    running = paths();
    gone = !has(P("a\\kvxsame.exe"), pa) && !has(P("b\\kvxsame.exe"), pb);
  }
  EXPECT_TRUE(gone);
  EXPECT_EQ(engine::TerminateProcessesByName(M(), "kvxsame.exe"), -1);
}

TEST_F(Contract, ServiceCreatedStartedStoppedReconfiguredAndDeleted) {
  if (!bench_->RunsServices()) GTEST_SKIP() << "no service runs on this machine";
  namespace svc = platform::svc;
  auto& scm = M().Svc();
  const std::string exe = P("kvx svc.exe");
  ASSERT_TRUE(bench_->PlaceServiceProgram(exe));
  const std::string key = "KvxContract" + std::to_string(M().Procs().CurrentPid());
  const std::string display = "Klaruvex Contract Service " + key;
  const std::string command = "\"" + exe + "\" -service";
  auto sleep = [](std::uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); };

  Status err = kOk;
  auto manager = scm.OpenManager("", svc::kManagerAllAccess, &err);
  ASSERT_TRUE(manager) << err;
  auto created = manager->CreateService(key, display, command, svc::kDemandStart, &err);
  ASSERT_TRUE(created) << err;
  EXPECT_FALSE(manager->CreateService(key, display, command, svc::kDemandStart, &err));
  EXPECT_EQ(err, svc::kServiceExists);

  bool listed = false;
  for (const auto& e : manager->Enumerate(svc::kWin32, svc::kStateAll, 1 << 20, &err)) {
    if (e.keyName != key) continue;
    listed = true;
    EXPECT_EQ(e.displayName, display);
    EXPECT_EQ(e.status.currentState, svc::kStopped);
  }
  EXPECT_TRUE(listed);
  EXPECT_EQ(err, kOk);
  EXPECT_EQ(startup::SvcGetKeyName(scm, "", display), key);
  EXPECT_EQ(startup::SvcGetKeyName(scm, "", "No Such Service Anywhere"), "");
  std::string tooLong;
  EXPECT_EQ(manager->KeyName(display, 4, tooLong), svc::kInsufficientBuffer);

  {
    auto s = manager->OpenService(key, svc::kQueryConfig | svc::kQueryStatus, &err);
    ASSERT_TRUE(s) << err;
    std::uint32_t needed = 0;
    ASSERT_EQ(s->QueryConfigSize(needed), svc::kInsufficientBuffer);
    ServiceConfig config;
    EXPECT_EQ(s->QueryConfig(8, config), svc::kInsufficientBuffer);
    ASSERT_EQ(s->QueryConfig(needed + 1, config), kOk);
    EXPECT_EQ(config.binaryPathName, command);
    EXPECT_EQ(config.startType, svc::kDemandStart);
    EXPECT_EQ(config.serviceType, svc::kOwnProcess);
    EXPECT_EQ(config.displayName, display);
    // Access asked for is access granted, no more.
    EXPECT_EQ(s->Start(), kAccessDenied);
  }
  EXPECT_EQ(startup::ServiceExecutable(command), exe);
  EXPECT_EQ(startup::LegalCopyright(scm, exe), "Copyright (C) Brenvik Systems");
  Write("plain.txt", "no resource here");
  EXPECT_FALSE(scm.FileVersionStrings(P("plain.txt")));
  EXPECT_EQ(startup::LegalCopyright(scm, P("missing.exe")), "");

  EXPECT_TRUE(startup::SvcStart(scm, "", key, sleep));
  ServiceStatus status;
  ASSERT_EQ(created->QueryStatus(status), kOk);
  EXPECT_EQ(status.currentState, svc::kRunning);
  EXPECT_EQ(created->Start(), svc::kServiceAlreadyRunning);
  EXPECT_FALSE(startup::SvcStart(scm, "", key, sleep));  // already running: not started again

  EXPECT_TRUE(startup::SvcStop(scm, "", key, sleep));
  ASSERT_EQ(created->QueryStatus(status), kOk);
  EXPECT_EQ(status.currentState, svc::kStopped);
  EXPECT_EQ(created->Control(svc::kControlStop, status), svc::kServiceNotActive);

  EXPECT_TRUE(startup::SvcSetStartType(scm, "", key, svc::kDisabled));
  EXPECT_EQ(created->Start(), svc::kServiceDisabled);
  EXPECT_TRUE(startup::SvcSetStartType(scm, "", key, svc::kAutoStart));
  ServiceConfig config;
  std::uint32_t needed = 0;
  created->QueryConfigSize(needed);
  ASSERT_EQ(created->QueryConfig(needed, config), kOk);
  EXPECT_EQ(config.startType, svc::kAutoStart);
  EXPECT_EQ(config.binaryPathName, command);  // nothing else changed
  EXPECT_FALSE(startup::SvcSetStartType(scm, "", "NoSuchServiceKvx", svc::kAutoStart));

  EXPECT_EQ(created->Delete(), kOk);
  created.reset();
  manager.reset();
  auto again = scm.OpenManager("", svc::kManagerConnect);
  ASSERT_TRUE(again);
  EXPECT_FALSE(again->OpenService(key, svc::kQueryStatus, &err));
  EXPECT_EQ(err, svc::kServiceDoesNotExist);
}

TEST_F(Contract, VersionRecordIsNt) {
  auto v = M().Sys().Version();
  ASSERT_TRUE(v);
  EXPECT_EQ(v->platformId, 2u);
  EXPECT_GE(v->major, 5u);
  EXPECT_FALSE(M().Sys().ModulePath().empty());
}

// The local clock in the system's formats: the digits of the date and the
// time in their places, whatever the separators.
TEST(ContractClock, LocalDateAndTimeTexts) {
  const LocalTime t = NowLocal();
  EXPECT_GE(t.year, 2000);
  EXPECT_TRUE(t.month >= 1 && t.month <= 12 && t.day >= 1 && t.day <= 31);
  const LocalTime fixed{2026, 12, 7, 13, 5, 12};
  const std::string date = ShortDateText(fixed), time = LongTimeText(fixed);
  EXPECT_NE(date.find("2026"), std::string::npos) << date;
  EXPECT_NE(date.find('7'), std::string::npos) << date;
  EXPECT_NE(time.find("05"), std::string::npos) << time;
  EXPECT_NE(time.find("12"), std::string::npos) << time;
}

TEST_F(Contract, ShellFoldersShortcutsAndIcons) {
  auto& sh = M().Sh();
  for (int id : {csidl::kPersonal, csidl::kStartup, csidl::kCommonStartMenu, csidl::kCommonStartup,
                 csidl::kAppData, csidl::kProfile}) {
    const std::string folder = sh.SpecialFolder(id);
    EXPECT_GE(folder.size(), 3u) << id;
    EXPECT_EQ(folder.substr(1, 2), ":\\") << id;
  }
  EXPECT_NE(sh.SpecialFolder(csidl::kStartup), sh.SpecialFolder(csidl::kCommonStartup));
  EXPECT_EQ(sh.SpecialFolder(-5), "");

  Write("target.txt", "the target of a shortcut");
  ASSERT_EQ(sh.CreateShortcut(P("Link.lnk"), P("target.txt")), kOk);
  auto target = sh.ShortcutTarget(P("Link.lnk"));
  ASSERT_TRUE(target);
  EXPECT_TRUE(SameText(*target, P("target.txt"))) << *target;
  EXPECT_FALSE(sh.ShortcutTarget(P("target.txt")));
  EXPECT_FALSE(sh.ShortcutTarget(P("missing.lnk")));

  EXPECT_FALSE(sh.HasIcon(P("target.txt")));
  EXPECT_FALSE(sh.HasIcon(P("missing.exe")));
}

}  // namespace

namespace {

// The served cases run against loopback servers in the network tests of each
// platform; here what needs no server.
TEST_F(Contract, NetworkReportsAClosedPort) {
  std::atomic<bool> stop{false};
  HttpRequest request;
  request.host = "127.0.0.1";
  request.port = 1;
  request.path = "/x";
  bool head = false;
  HttpSink sink;
  sink.onHead = [&](int, std::optional<std::uint64_t>) { return head = true; };
  EXPECT_EQ(M().Net().HttpTransfer(request, sink, stop), neterr::kCannotConnect);
  EXPECT_FALSE(head);

  Status error = kOk;
  EXPECT_FALSE(M().Net().FtpLogin({"127.0.0.1", 1, "user", "password"}, &error));
  EXPECT_EQ(error, neterr::kCannotConnect);
}

}  // namespace

namespace {

TEST_F(Contract, DirectoryLinksAreReparsePoints) {
  ASSERT_EQ(F().CreateDirectory(P("target")), kOk);
  Write("target\\inside.txt", "x");
  if (!bench_->MakeDirectoryLink(P("link"), P("target")))
    GTEST_SKIP() << "this system makes no directory links";
  FindData d;
  ASSERT_TRUE(F().FindFirst(P("link"), d));
  EXPECT_TRUE(d.IsDirectory());
  EXPECT_EQ(d.attributes & fileattr::kReparsePoint, fileattr::kReparsePoint);
  ASSERT_TRUE(F().FindFirst(P("target"), d));
  EXPECT_EQ(d.attributes & fileattr::kReparsePoint, 0u);
  // Listing through the link finds the target's files, unless links are never followed.
  EXPECT_EQ(List(P("link\\*")), bench_->FollowsDirectoryLinks()
                                    ? std::vector<std::string>{"inside.txt"}
                                    : std::vector<std::string>{});
}

TEST_F(Contract, TheSystemDriveIsAFixedDisk) {
  const auto drives = F().LogicalDrives();
  ASSERT_FALSE(drives.empty());
  EXPECT_EQ(drives.front().size(), 3u);
  const std::string system = F().WindowsDirectory().substr(0, 3);
  bool listed = false;
  for (const auto& d : drives) listed = listed || SameText(d, system);
  EXPECT_TRUE(listed) << system;
  EXPECT_EQ(F().DriveType(system), FileSystem::kDriveFixed);
}

// The scans search, open and read files on several threads at once.
TEST_F(Contract, FilesFoundAndReadOnSeveralThreadsAtOnce) {
  constexpr int kFiles = 24, kThreads = 4, kRounds = 4;
  std::vector<std::string> bytes(kFiles);
  for (int i = 0; i < kFiles; ++i) {
    bytes[i] = std::string(1000 + i * 37, static_cast<char>('a' + i));
    Write("Shared" + std::to_string(i) + ".Dat", bytes[i]);
  }
  std::atomic<int> good{0}, bad{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      for (int round = 0; round < kRounds; ++round) {
        for (int k = 0; k < kFiles; ++k) {
          const int i = (k + t * 7) % kFiles;
          std::string back;
          const bool valid = engine::IsValidFile(F(), P("SHARED" + std::to_string(i) + ".dat"));
          const bool read = ReadWholeFile(F(), P("shared" + std::to_string(i) + ".DAT"), back) == kOk &&
                            back == bytes[i];
          const bool missing = !engine::IsValidFile(F(), P("absent" + std::to_string(i) + ".dat"));
          (valid && read && missing ? good : bad)++;
        }
        int listed = 0;
        FindData d;
        if (auto h = F().FindFirst(P("shared*.dat"), d))
          do ++listed;
          while (h->Next(d));
        (listed == kFiles ? good : bad)++;
      }
    });
  for (auto& th : threads) th.join();
  EXPECT_EQ(bad, 0);
  EXPECT_EQ(good, kThreads * kRounds * (kFiles + 1));
}

}  // namespace
