#include "ignore/ignore_window.h"

using ui::Kind;

TFormIG::TFormIG(app::Program& p) : Form("TFormIG"), program(p) {
  SetCaption("Ignore list (Built 20.03.2006)");
  SetBounds({0, 0, 520, 360});
  Add<ui::ListView>(Kind::ListView, "ListView1", this).SetBounds({12, 12, 490, 290});
}
