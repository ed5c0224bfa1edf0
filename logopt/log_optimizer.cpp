#include "logopt/log_optimizer.h"

using ui::Kind;

TForm12::TForm12(app::Program& p) : Form("TForm12"), program(p) {
  SetCaption("Log Optimizer");
  SetBounds({0, 0, 360, 240});
  const char* checks[][2] = {{"xpCheckBox1", "Startup files."},
                             {"xpCheckBox2", "Active Services."},
                             {"xpCheckBox3", "Active processes."},
                             {"xpCheckBox4", "Infected files."}};
  int y = 12;
  for (auto& c : checks) {
    auto& box = Add<ui::CheckBox>(Kind::OwnerCheckBox, c[0], this, c[1]);
    box.SetBounds({16, y, 320, 22});
    box.SetChecked(true);
    y += 28;
  }
  Add(Kind::OwnerButton, "xpButton1", this, "Build log").SetBounds({16, 140, 150, 28});
  Add(Kind::OwnerButton, "xpButton2", this, "Cancel").SetBounds({186, 140, 150, 28});
}
