#pragma once
// A simulated machine with the program installed in its folder, the demo
// database and the shipped language files beside it.
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/all_windows.h"
#include "app/program.h"
#include "engine/helpers.h"
#include "engine/threat_database.h"
#include "tests/unit/sim_fixture.h"
#include "ui/headless_host.h"
#include "update/ezcrypt.h"

inline constexpr const char* kFolder = "C:\\Program Files\\Klaruvex Pro\\";
inline constexpr const char* kDatabase =
    "Database date: 2026-12-01 (r0001)\r\n[Start]\r\n[A]:c:\\a.exe\r\n_end\r\n";

// A finding with its own checked line on the findings page, as the quick
// scan leaves it.
inline void AddCheckedFinding(app::Program& p, const std::string& path, const std::string& name) {
  auto& f = *p.form1;
  engine::TFileList r;
  r.Path = path;
  r.Name = name;
  r.Md5 = engine::FileMd5(p.machine.Files(), path);
  f.List1->Add("Infected with " + name);
  r.ListIndex = static_cast<int>(f.List1->Items().size()) - 1;
  f.List1->SetChecked(r.ListIndex, true);
  f.scan.findings.Add(std::move(r));
  f.Find("Button2")->SetEnabled(true);
  f.ShowPage(1);
}

class ProgramFixture : public SimFixture {
 protected:
  ProgramFixture() {
    host.onUnexpected = [](const std::string& what) { ADD_FAILURE() << what; };
    machine.SimSys().SetModulePath(std::string(kFolder) + "klaruvex.exe");
    WriteFile(std::string(kFolder) + "klaruvex.exe", "MZ program");
    WriteFile(std::string(kFolder) + "files.dat",
              engine::PackDatabase(kDatabase, update::LanguageKey()));
  }

  // A file of the build's demo program folder.
  static std::string DemoFile(const std::string& name) {
    std::ifstream in(std::filesystem::path(KVX_DEMO_DATA_DIR) / name, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  // Starts the program up to its message loop, which shows the main window.
  std::unique_ptr<app::Program> StartProgram() {
    auto p = std::make_unique<app::Program>(machine, host);
    EXPECT_TRUE(p->Start());
    p->app.Run();
    return p;
  }

  ui::HeadlessHost host;
};
