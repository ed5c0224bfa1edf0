#include "scanopt/full_scan_window.h"

using ui::Kind;

TForm3::TForm3(app::Program& p) : Form("TForm3"), program(p) {
  SetCaption("Full scan process!");
  SetBounds({0, 0, 480, 220});
  Add(Kind::Label, "Label1", this, "Scan drives c:\\;").SetBounds({12, 12, 450, 18});
  Add(Kind::OwnerButton, "xpButton2", this, "Refresh").SetBounds({12, 150, 100, 28});
  Add(Kind::OwnerButton, "xpButton1", this, "Scan").SetBounds({120, 150, 100, 28});
  Add(Kind::OwnerButton, "xpButton3", this, "Abort").SetBounds({228, 150, 100, 28});
}
