#include "app/language_window.h"

using ui::Kind;

TFormL::TFormL(app::Program& p) : Form("TFormL"), program(p) {
  SetCaption("Select language");
  SetBounds({0, 0, 300, 300});
  stayOnTop = true;
  List1 = &Add<ui::ListBox>(Kind::ListBox, "List1", this);
  List1->SetBounds({12, 12, 270, 180});
  auto& apply = Add(Kind::OwnerButton, "xpButton1", this, "Apply");
  apply.SetBounds({12, 200, 130, 28});
  apply.SetEnabled(false);
  Add(Kind::OwnerButton, "xpButton2", this, "Default").SetBounds({152, 200, 130, 28});
  Add(Kind::OwnerButton, "xpButton3", this, "Save default language").SetBounds({12, 236, 270, 28});
}
