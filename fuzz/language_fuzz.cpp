// A language file as users pass them around: read from the language folder,
// deciphered, applied to every translatable window and the message table, the
// main window's texts refreshed, and the template written back out.
//
// The first byte chooses what the rest is: bit 0 clear, the ".vlng" bytes as
// stored; set, the plain text, enciphered here first so the fuzzer reaches
// past the cipher. After each input the shipped texts are restored.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "app/all_windows.h"
#include "app/language.h"
#include "app/program.h"
#include "engine/threat_database.h"
#include "platform/sim/sim_machine.h"
#include "ui/headless_host.h"
#include "update/ezcrypt.h"

namespace {

constexpr const char* kFolder = "C:\\Klaruvex\\";

struct World {
  World() {
    char tmpl[] = "/tmp/kvx-fuzz-XXXXXX";
    root = mkdtemp(tmpl);
    std::filesystem::create_directories(root / "WINDOWS" / "system32");
    std::filesystem::create_directories(root / "Klaruvex" / "Languages");
    machine.SimFiles().MapDrive('C', root);
    machine.SimSys().SetModulePath(std::string(kFolder) + "klaruvex.exe");
    platform::WriteWholeFile(machine.Files(), std::string(kFolder) + "klaruvex.exe", "MZ");
    platform::WriteWholeFile(
        machine.Files(), std::string(kFolder) + "files.dat",
        engine::PackDatabase("Database date: 2026-12-01 (r0001)\r\n[A]:c:\\a.exe\r\n_end\r\n",
                             update::LanguageKey()));
    host.onUnexpected = [](const std::string&) {};
    program = std::make_unique<app::Program>(machine, host);
    if (!program->Start()) std::abort();
    shipped = app::LanguageTemplate(*program);
  }
  ~World() {
    program.reset();
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
  }

  std::filesystem::path root;
  platform::sim::SimMachine machine;
  ui::HeadlessHost host;
  std::unique_ptr<app::Program> program;
  std::string shipped;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static World world;
  if (size == 0) return 0;
  app::Program& p = *world.program;
  std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  if (data[0] & 1) update::EncipherInPlace(bytes, update::LanguageKey());
  const std::string path = app::LanguageFolder(p) + "Fuzz.vlng";
  platform::WriteWholeFile(p.machine.Files(), path, bytes);

  if (app::ApplyLanguageFile(p, path) == app::LanguageResult::Applied) {
    p.form1->ShowDatabaseDate();
    p.form1->GroupBox1->SetCaption(p.msg[178]);
    app::LanguageTemplate(p);
  }
  p.msg.LoadDefaults();
  app::ApplyLanguageText(p, world.shipped);
  return 0;
}
