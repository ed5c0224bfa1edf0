// The full report log "Information.txt": its lines in order, the Log
// optimizer that builds it, and "/log".
#include <gtest/gtest.h>

#include "app/unattended.h"
#include "engine/full_report.h"
#include "engine/helpers.h"
#include "logopt/report_build.h"
#include "platform/sim/sim_clock.h"
#include "tests/unit/scan_fixture.h"

namespace {

using Rows = std::vector<std::string>;
using platform::Hive;

const std::string kWinKey = "Software\\Microsoft\\Windows\\CurrentVersion\\";
const std::string kKeyboardClass =
    "SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E96B-E325-11CE-BFC1-08002BE10318}";

class FullReportTest : public ScanFixture {
 protected:
  void SetUp() override { platform::sim::SetLocalTime(platform::LocalTime{2026, 12, 7, 13, 5, 12}); }
  void TearDown() override { platform::sim::SetLocalTime(std::nullopt); }

  static std::string Path() { return std::string(kFolder) + "Information.txt"; }
  std::string Bytes(const std::string& path = Path()) {
    std::string bytes;
    platform::ReadWholeFile(machine.Files(), path, bytes);
    return bytes;
  }
  // The file's lines; every one ends with CR LF.
  Rows File(const std::string& path = Path()) {
    const std::string bytes = Bytes(path);
    Rows lines;
    std::size_t at = 0;
    for (std::size_t end; (end = bytes.find("\r\n", at)) != std::string::npos; at = end + 2)
      lines.push_back(bytes.substr(at, end - at));
    EXPECT_EQ(at, bytes.size()) << "a line without CR LF";
    return lines;
  }
  // Runs fn once while the build's scan is between two rules, where the
  // program lets window messages run.
  void BetweenRules(std::function<void()> fn) {
    auto calls = std::make_shared<int>(0);
    program->form1->scan.timeText = [calls, fn] {
      if (++*calls == 2) fn();
      return std::string("10:00:00");
    };
  }
  bool Build(const logopt::LogOptions& o) { return logopt::WriteFullReport(*program, o, Path()); }

  static Rows Header() {
    return {"Klaruvex Pro v7 - SE (Build date: 17.4.2010) full information log file.",
            "Generated at: 07.12.2026 on 13:05:12",
            "Microsoft Windows XP Professional Service Pack 3 (Build 2600)", ""};
  }
  // The detail report's first lines: the inventory as the build left it.
  Rows Inventory() const {
    Rows out{"", "Detail report: (" + std::to_string(Entries().size()) + ")"};
    out.insert(out.end(), Entries().begin(), Entries().end());
    return out;
  }
  const Rows& Entries() const { return program->form1->scan.inventory.Entries(); }
  static Rows Join(std::initializer_list<Rows> parts) {
    Rows out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
  }
  // What an empty machine's lists give with every option off.
  static Rows KeyboardPlaceholder() {
    return {"", "Keyboard drivers: (1)", "Name: No Keyboard Filter driver found!"};
  }

  void Set(Hive hive, const std::string& key, const std::string& name, const std::string& data) {
    auto k = machine.Reg().Create(hive, key, platform::keyaccess::kAllAccess);
    ASSERT_TRUE(k) << key;
    ASSERT_EQ(k->WriteString(name, data), platform::kOk);
  }
  void RegBase() {
    WriteFile(std::string(kFolder) + "RegBase.rgk", "1\r\n1\r\n" + kWinKey + "Run\r\nuser\r\n");
  }
  std::uint32_t Run(const std::string& path) {
    if (!platform::FileExists(machine.Files(), path)) WriteFile(path, "MZ " + path);
    return machine.SimProcs().Start(path);
  }
  std::string Entry(const char* prefix, const std::string& path) {
    return prefix + path + "[" + engine::FileMd5(machine.Files(), path) + "][" +
           std::to_string(engine::FileSizeOf(machine.Files(), path)) + "]";
  }

  // A machine with something in every list: several instances of one
  // program, two programs of one file name, an infected running program and
  // folder, a Run value naming a missing file, a Startup folder shortcut, a
  // Win.ini line, keyboard filters with and without their file, and services
  // with and without their binary.
  void Scenario() {
    Database({"[Start]", "[Worm]:C:\\bad\\worm.exe", "[Nest]:C:\\bad\\nest\\\\",
              "[Nothing]:C:\\nowhere.exe"});
    for (int i = 0; i < 3; ++i) Run("C:\\Tools\\worker.exe");
    Run("C:\\Other\\WORKER.EXE");
    worm = Run("C:\\bad\\worm.exe");
    WriteFile("C:\\bad\\nest\\a.txt", "a");
    machine.SimProcs().Start("C:\\Gone\\vanished.exe");
    RegBase();
    Set(Hive::CurrentUser, kWinKey + "Run", "ghost", "C:\\Gone\\missing.exe");
    const std::string folder = "C:\\Documents and Settings\\User\\Start Menu\\Programs\\Startup";
    Set(Hive::CurrentUser, kWinKey + "Explorer\\Shell Folders", "Startup", folder);
    WriteFile("C:\\Tools\\tray.exe", "MZ tray");
    std::filesystem::create_directories(machine.SimFiles().HostPath(folder));
    ASSERT_EQ(machine.Sh().CreateShortcut(folder + "\\Tray.lnk", "C:\\Tools\\tray.exe"),
              platform::kOk);
    WriteFile("C:\\WINDOWS\\Win.ini", "[windows]\r\nrun=C:\\Tools\\tray.exe\r\n");
    WriteFile("C:\\WINDOWS\\System.ini", "[boot]\r\nshell=Explorer.exe\r\n");
    WriteFile("C:\\WINDOWS\\system32\\Drivers\\klogger.sys", "MZ driver");
    auto k = machine.Reg().Create(Hive::LocalMachine, kKeyboardClass, platform::keyaccess::kAllAccess);
    ASSERT_EQ(k->Set("UpperFilters", platform::ValueType::MultiString,
                     std::string("kbdclass\0klogger\0ghost\0\0", 24)),
              platform::kOk);
    WriteFile("C:\\Svc\\good.exe", "MZ service");
    for (auto [display, key, path, state] :
         {std::tuple{"Good Service", "good", "C:\\Svc\\good.exe", platform::svc::kRunning},
          std::tuple{"Lost Service", "lost", "C:\\Svc\\gone.exe", platform::svc::kStopped}}) {
      platform::sim::SimService s;
      s.displayName = display;
      s.keyName = key;
      s.binaryPath = path;
      s.state = state;
      machine.SimSvc().Add(s);
    }
  }
  std::uint32_t worm = 0;
};

TEST_F(FullReportTest, EveryOptionOffWritesHeaderDetailReportAndFinished) {
  Start();
  ASSERT_TRUE(Build({false, false, false, false}));
  EXPECT_EQ(File(), Join({Header(), {""}, Inventory(), KeyboardPlaceholder(), {"Finished..."}}));
  EXPECT_TRUE(Entries().empty());
  EXPECT_FALSE(program->form1->scan.logBuildingMode);
}

TEST_F(FullReportTest, CleanScanWritesNoFindingsBlock) {
  Database({"[Start]", "[Nothing]:C:\\nowhere.exe"});
  Start();
  ASSERT_TRUE(Build({true, false, false, false}));
  EXPECT_EQ(File(), Join({Header(), {""}, Inventory(), KeyboardPlaceholder(), {"Finished..."}}));
}

TEST_F(FullReportTest, EverySectionInOrder) {
  Scenario();
  Start();
  ASSERT_TRUE(Build({}));
  EXPECT_FALSE(machine.SimProcs().Get(worm));  // the scan ended it
  const Rows findings = {"",
                          "You have some viruses in your computer.",
                          "Please Scan your computer with Klaruvex Pro to remove discovered viruses.",
                          "Virus list:",
                          "Infected with Worm - File C:\\bad\\worm.exe",
                          "Infected with Nest - Dir C:\\bad\\nest"};
  const Rows processes = {"Running processes: (4)", "C:\\Tools\\worker.exe",
                           "C:\\Tools\\worker.exe",  "C:\\Tools\\worker.exe",
                           "C:\\Other\\WORKER.EXE",  ""};
  const Rows startupValues = {"Startup files:",
                               "HKEY_CURRENT_USER\\" + kWinKey + "Run\\ghost",
                               "[C:\\Gone\\missing.exe]"};
  const Rows lists = {"",
                       "Startup folder: (1)",
                       "Startup name: Tray.lnk",
                       "Command: C:\\Tools\\tray.exe",
                       "",
                       "Win.ini Startup: (1)",
                       "Path: run=c:\\tools\\tray.exe",
                       "",
                       "Win.ini Startup: (1)",
                       "Path: No additional driver found!",
                       "",
                       "Keyboard drivers: (2)",
                       "Name: klogger",
                       "Path: C:\\WINDOWS\\system32\\Drivers\\klogger.sys",
                       "Name: ghost",
                       "Path: File not found (No file)",
                       "",
                       "Services: (2)",
                       "Service Name: Good Service [Running], ",
                       "Path: C:\\Svc\\good.exe",
                       "Service Name: Lost Service [Stopped], ",
                       "Path: C:\\Svc\\gone.exe",
                       "Finished..."};
  EXPECT_EQ(File(), Join({Header(), findings, {""}, processes, startupValues, Inventory(), lists}));
  // The inventory was rebuilt from the lists just refreshed.
  for (const auto& e : {Entry("Proc ", "C:\\Tools\\worker.exe"), Entry("Proc ", "C:\\Other\\WORKER.EXE"),
                        Entry("Startup ", "c:\\tools\\tray.exe"), Entry("Service ", "c:\\svc\\good.exe")})
    EXPECT_NE(std::find(Entries().begin(), Entries().end(), e), Entries().end()) << e;
}

TEST_F(FullReportTest, WriteErrorEndsTheBuildAndItsScan) {
  Database({"[Start]", "[A]:C:\\bad\\a.exe", "[B]:C:\\bad\\b.exe"});
  WriteFile("C:\\bad\\a.exe", "MZ a");
  const auto b = Run("C:\\bad\\b.exe");
  Start();
  std::size_t header = 0;
  for (const auto& line : Header()) header += line.size() + 2;
  machine.SimFiles().FailWrites(Path(), header);  // the findings block fails
  EXPECT_FALSE(Build({}));
  EXPECT_TRUE(machine.SimProcs().Get(b));  // rule B was never reached
  EXPECT_EQ(File(), Header());
  EXPECT_FALSE(program->form1->scan.logBuildingMode);
  EXPECT_FALSE(program->form1->reportLog);
}

TEST_F(FullReportTest, DetailReportRowsAsTheListsHoldThem) {
  struct Log : engine::ReportLog {
    Rows lines;
    bool WriteLine(std::string_view l) override {
      lines.emplace_back(l);
      return true;
    }
  } log;
  engine::DetailReportLists lists;
  lists.inventory = {"Proc c:\\a.exe[x][1]"};
  lists.startupFolder = {{"No startup program found!", {}}, {"b.lnk", {"c:\\b.exe", "CU"}}};
  lists.keyboardDrivers = {{"bare", {}}, {"kbd", {"c:\\kbd.sys"}}};
  lists.services = {{"", {"Can not get Service List!"}}};
  auto text = [this](int e) { return program->msg[e]; };
  Start();
  ASSERT_TRUE(engine::WriteDetailReport(log, lists, {true, true}, text,
                                        [](const std::string& p) { return p == "c:\\kbd.sys"; }));
  EXPECT_EQ(log.lines, (Rows{"", "Detail report: (1)", "Proc c:\\a.exe[x][1]", "",
                              "Startup folder: (2)", "Startup name: No startup program found!",
                              "Startup name: b.lnk", "Command: c:\\b.exe", "", "Win.ini Startup: (0)",
                              "", "Win.ini Startup: (0)", "", "Keyboard drivers: (2)", "Name: bare",
                              "Name: kbd", "Path: c:\\kbd.sys", "", "Services: (1)",
                              "Service Name:  [], ", "Path: Can not get Service List!"}));
}

// Entering the page book while the scan lets messages run refreshes the
// lists but writes nothing into the report.
TEST_F(FullReportTest, RefreshesForOtherReasonsWriteNothing) {
  Database({"[Start]", "[Nothing]:C:\\nowhere.exe"});
  RegBase();
  Run("C:\\Tools\\worker.exe");
  Start();
  auto& f = *program->form1;
  BetweenRules([&] {
    if (f.Note1->OnEnter) f.Note1->OnEnter();
    f.Button15Click();
    f.Button12Click();
  });
  ASSERT_TRUE(Build({true, false, false, false}));
  EXPECT_EQ(File(), Join({Header(), {""}, Inventory(), KeyboardPlaceholder(), {"Finished..."}}));
  EXPECT_EQ(f.List2->Items().size(), 1u);
}

class LogOptimizerTest : public FullReportTest {
 protected:
  TForm12& Show() {
    auto& w = *program->form12;
    w.Show();
    return w;
  }
  void AskBuild(int answer) { host.Answer(answer, "Do you want to build full report?", "Question"); }
  std::string Caption(const char* name) { return program->form1->Find(name)->Caption(); }
  bool Enabled(const char* name) { return program->form1->Find(name)->Enabled(); }
  void ExpectIdle() {
    EXPECT_EQ(Caption("Button10"), "Full report log");
    EXPECT_TRUE(Enabled("Button4"));
    EXPECT_TRUE(Enabled("Button7"));
    EXPECT_TRUE(program->form1->Enabled());
    EXPECT_FALSE(program->form1->scan.logBuildingMode);
    EXPECT_FALSE(program->form12->Building());
  }
  const std::vector<platform::sim::SimShell::Call>& Opened() { return machine.SimSh().Calls(); }
};

TEST_F(LogOptimizerTest, WindowAndOptionsKeptForTheRun) {
  Start();
  auto& w = Show();
  EXPECT_EQ(w.Caption(), "Log Optimizer");
  EXPECT_TRUE(w.stayOnTop);
  EXPECT_EQ(w.GroupBox1->Caption(), "Build log about");
  for (auto* box : {w.xpCheckBox1, w.xpCheckBox2, w.xpCheckBox3, w.xpCheckBox4})
    EXPECT_TRUE(box->Checked());
  w.xpCheckBox3->SetChecked(false);
  w.xpCheckBox2->SetChecked(false);
  w.Find("xpButton2")->Click();
  EXPECT_FALSE(w.Showing());
  Show();
  EXPECT_FALSE(w.xpCheckBox3->Checked());
  AskBuild(ui::kIdYes);
  w.Find("xpButton1")->Click();
  const Rows file = File();
  EXPECT_EQ(std::find(file.begin(), file.end(), "Running processes: (0)"), file.end());
  EXPECT_EQ(std::find(file.begin(), file.end(), "Services: (0)"), file.end());
  EXPECT_NE(std::find(file.begin(), file.end(), "Startup folder: (1)"), file.end());

  // The next run starts with every section on.
  program.reset();
  Start();
  EXPECT_TRUE(program->form12->xpCheckBox3->Checked());
  EXPECT_TRUE(program->form12->options.activeProcesses);
}

TEST_F(LogOptimizerTest, AnsweringNoBuildsNothing) {
  Start();
  WriteFile(Path(), "the last report");
  auto& w = Show();
  AskBuild(ui::kIdNo);
  w.Find("xpButton1")->Click();
  EXPECT_FALSE(w.Showing());
  EXPECT_EQ(Bytes(), "the last report");
  EXPECT_TRUE(Opened().empty());
  ExpectIdle();
}

TEST_F(LogOptimizerTest, BuildShowsAbortLogAndOpensTheFile) {
  Database({"[Start]", "[Nothing]:C:\\nowhere.exe"});
  Start();
  WriteFile(Path(), std::string(5000, 'x'));  // emptied, not appended to
  std::string during;
  BetweenRules([&] {
    during = Caption("Button10") + (Enabled("Button4") || Enabled("Button7") ? " enabled" : "");
  });
  auto& w = Show();
  AskBuild(ui::kIdYes);
  w.Find("xpButton1")->Click();
  EXPECT_EQ(during, "Abort log");
  EXPECT_EQ(File(), Join({Header(), {""}, {"Running processes: (0)", ""}, Inventory(),
                          {"", "Startup folder: (1)", "Startup name: No startup program found!", "",
                           "Win.ini Startup: (1)", "Path: No additional driver found!", "",
                           "Win.ini Startup: (1)", "Path: No additional driver found!"},
                          KeyboardPlaceholder(), {"", "Services: (0)", "Finished..."}}));
  ASSERT_EQ(Opened().size(), 1u);
  EXPECT_EQ(Opened()[0].verb, "open");
  EXPECT_EQ(Opened()[0].file, Path());
  EXPECT_EQ(Opened()[0].show, platform::kShowNormal);
  ExpectIdle();
}

TEST_F(LogOptimizerTest, BuildLogAgainAbortsTheRunningBuild) {
  Database({"[Start]", "[Worm]:C:\\bad\\worm.exe"});
  WriteFile("C:\\bad\\worm.exe", "MZ worm");
  Start();
  auto& w = Show();
  BetweenRules([&] {
    w.Show();  // through the Report Manager
    host.Answer(ui::kIdOk, "Log process aborted!", "Information");
    w.Find("xpButton1")->Click();
    // The main window is idle again at once; the build ends later.
    EXPECT_EQ(Caption("Button10"), "Full report log");
    EXPECT_TRUE(Enabled("Button4") && Enabled("Button7"));
    EXPECT_FALSE(program->form1->scan.logBuildingMode);
  });
  AskBuild(ui::kIdYes);
  w.Find("xpButton1")->Click();
  EXPECT_EQ(host.PendingAnswers(), 0u);
  EXPECT_EQ(File(), Join({Header(), {"Finished..."}}));
  EXPECT_EQ(Opened().size(), 1u);
  ExpectIdle();
}

TEST_F(LogOptimizerTest, WriteErrorKeepsWhatWasWrittenAndOpensNothing) {
  Start();
  struct Case {
    const char* what;
    std::function<void()> arrange;
    std::string left;
  } cases[] = {
      {"disk full after the title", [&] { machine.SimFiles().FailWrites(Path(), 80); },
       Header()[0] + "\r\n"},
      {"held by another program", [&] { machine.SimFiles().Lock(Path()); }, "the last report"},
  };
  for (auto& c : cases) {
    WriteFile(Path(), "the last report");
    c.arrange();
    auto& w = Show();
    AskBuild(ui::kIdYes);
    host.Answer(ui::kIdOk, "Error writing log file!", "Error");
    w.Find("xpButton1")->Click();
    EXPECT_EQ(host.PendingAnswers(), 0u) << c.what;
    EXPECT_EQ(host.Boxes().back().spec.icon, ui::Icon::Error);
    EXPECT_TRUE(Opened().empty()) << c.what;
    ExpectIdle();
    machine.SimFiles().ClearWriteFailures();
    machine.SimFiles().Unlock(Path());
    EXPECT_EQ(Bytes().substr(0, c.left.size()), c.left) << c.what;
    EXPECT_LE(Bytes().size(), 80u) << c.what;
  }
}

class UnattendedLogTest : public FullReportTest {
 protected:
  int Run(std::vector<std::string> args) {
    return app::RunProgram(machine, args, [] {
      ADD_FAILURE() << "a window host was made";
      return std::unique_ptr<ui::Host>();
    });
  }
};

TEST_F(UnattendedLogTest, CommandLine) {
  struct Case {
    std::vector<std::string> args;
    bool scan;
    std::string file;
  } cases[] = {{{"/log"}, false, ""},
               {{"/LOG", "C:\\out\\full.txt"}, false, "C:\\out\\full.txt"},
               {{"/log", "/scan"}, true, ""},
               {{"/scan", "/log", "C:\\x.txt", "/report", "C:\\r.json"}, true, "C:\\x.txt"}};
  for (const auto& c : cases) {
    auto line = app::ParseCommandLine(c.args);
    ASSERT_TRUE(line) << c.args.back();
    EXPECT_TRUE(line->log);
    EXPECT_EQ(line->scan, c.scan);
    EXPECT_EQ(line->logFile, c.file);
  }
  EXPECT_FALSE(app::ParseCommandLine({"/log", "C:\\x.txt", "C:\\y.txt"}));
}

TEST_F(UnattendedLogTest, WritesEverySectionWithoutWindowOrOpening) {
  Scenario();
  std::filesystem::create_directories(root / "out");
  EXPECT_EQ(Run({"/log"}), app::kExitClean);
  const Rows file = File();
  ASSERT_GE(file.size(), 10u);
  EXPECT_EQ(Rows(file.begin(), file.begin() + 4), Header());
  EXPECT_EQ(file[8], "Infected with Worm - File C:\\bad\\worm.exe");
  for (const char* line : {"Running processes: (4)", "Startup files:", "Startup folder: (1)",
                           "Services: (2)", "Keyboard drivers: (2)"})
    EXPECT_NE(std::find(file.begin(), file.end(), line), file.end()) << line;
  EXPECT_EQ(file.back(), "Finished...");
  EXPECT_TRUE(machine.SimSh().Calls().empty());

  EXPECT_EQ(Run({"/log", "C:\\out\\full.txt"}), app::kExitClean);
  EXPECT_EQ(File("C:\\out\\full.txt").back(), "Finished...");
  EXPECT_EQ(Run({"/log", "C:\\nofolder\\full.txt"}), app::kExitFailed);
  machine.SimFiles().FailWrites(Path(), 100);
  EXPECT_EQ(Run({"/log"}), app::kExitFailed);
  EXPECT_LE(Bytes().size(), 100u);
  EXPECT_TRUE(machine.SimSh().Calls().empty());
}

TEST_F(UnattendedLogTest, AfterTheScanWhoseFindingsStayInTheReport) {
  Database({"[Start]", "[Worm]:C:\\bad\\worm.exe"});
  WriteFile("C:\\bad\\worm.exe", "MZ worm");
  std::filesystem::create_directories(root / "out");
  EXPECT_EQ(Run({"/scan", "/log", "C:\\out\\full.txt", "/report", "C:\\out\\r.json"}),
            app::kExitFound);
  const Rows file = File("C:\\out\\full.txt");
  EXPECT_NE(std::find(file.begin(), file.end(), "Infected with Worm - File C:\\bad\\worm.exe"),
            file.end());
  const std::string report = Bytes("C:\\out\\r.json");
  EXPECT_NE(report.find("\"infected\""), std::string::npos);
  EXPECT_NE(report.find("worm.exe"), std::string::npos);
  EXPECT_EQ(report.find("\"error\""), std::string::npos);
  // A log that cannot be written is a step that failed: 2, the findings
  // still in the report.
  machine.SimFiles().FailWrites("C:\\out\\full.txt", 0);
  EXPECT_EQ(Run({"/scan", "/log", "C:\\out\\full.txt", "/report", "C:\\out\\r.json"}),
            app::kExitFailed);
  EXPECT_NE(Bytes("C:\\out\\r.json").find("worm.exe"), std::string::npos);
  EXPECT_NE(Bytes("C:\\out\\r.json").find("The full report log \\\"C:\\\\out\\\\full.txt\\\" could not be written."),
            std::string::npos);
}

}  // namespace
