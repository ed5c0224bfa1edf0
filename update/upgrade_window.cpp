#include "update/upgrade_window.h"

using ui::Kind;

TForm4::TForm4(app::Program& p) : Form("TForm4"), program(p) {
  SetCaption("Upgrading...");
  SetBounds({0, 0, 400, 170});
  Add(Kind::Label, "Label1", this, "New Version: 0.0.0").SetBounds({12, 12, 370, 18});
  Add(Kind::Label, "Label2", this, "Transfer").SetBounds({12, 40, 370, 18});
  Add<ui::ProgressBar>(Kind::ProgressBar, "ProgressBar1", this).SetBounds({12, 66, 370, 18});
  Add(Kind::OwnerButton, "xpButton1", this, "Cancel").SetBounds({282, 100, 100, 28});
}
