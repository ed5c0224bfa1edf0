// A guided tour of the real windows for the demo: runs the program from its
// folder, shows every page, the action dialog and the language window, then
// applies the shipped translation, saving a BMP of each into the folder given.
//   kvx_tour.exe OUTPUT_FOLDER
//   kvx_tour.exe OUTPUT_FOLDER --scan   a quick scan, then the findings page
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "app/all_windows.h"
#include "app/options.h"
#include "app/scan_ui.h"
#include "platform/win32/machine.h"

namespace {

void Settle(platform::win32::Win32Host& host) {
  for (int i = 0; i < 10; ++i) {
    host.ProcessMessages();
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
  }
}

}  // namespace

int main(int argc, char** argv) {
  const bool scan = argc == 3 && std::string(argv[2]) == "--scan";
  if (argc != 2 && !scan) {
    std::fprintf(stderr, "usage: kvx_tour OUTPUT_FOLDER [--scan]\n");
    return 2;
  }
  const std::string out = std::string(argv[1]) + "\\";
  auto machine = platform::win32::CreateMachine();
  auto host = platform::win32::CreateHost();
  app::Program p(*machine, *host);
  if (!p.Start()) return 1;
  auto& f = *p.form1;
  f.Show();
  int failures = 0;
  auto shot = [&](ui::Form& form, const std::string& name) {
    Settle(*host);
    if (!host->SaveWindowImage(form, out + name + ".bmp")) {
      std::fprintf(stderr, "tour: cannot save %s\n", name.c_str());
      ++failures;
    }
  };
  if (scan) {
    f.ShowPage(1);
    Settle(*host);
    app::RunQuickScan(p, false);
    shot(f, "scan-findings");
    f.Close();
    Settle(*host);
    return failures ? 1 : 0;
  }
  for (int page = 0; page < 6; ++page) {
    f.ShowPage(page);
    shot(f, "page-" + std::to_string(page));
  }
  f.ShowPage(0);
  p.form2->Show();
  shot(*p.form2, "action-dialog");
  p.form2->Close();
  f.ShowPage(4);
  p.formL->Show();
  p.formL->List1->SetItemIndex(0);
  shot(*p.formL, "language-window");
  if (!p.formL->List1->Items().empty()) p.formL->xpButton1->Click();
  f.ShowPage(0);
  shot(f, "page-0-german");
  f.ShowPage(1);
  shot(f, "page-1-german");
  app::WriteLanguageOption(machine->Reg(), "Default");
  f.Close();
  Settle(*host);
  return failures ? 1 : 0;
}
