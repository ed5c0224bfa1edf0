#include "process/report_manager.h"

using ui::Kind;

TFormR::TFormR(app::Program& p) : Form("TFormR"), program(p) {
  SetCaption("Report Manager");
  SetBounds({0, 0, 640, 480});
  Add<ui::ListView>(Kind::ListView, "ListView1", this).SetBounds({12, 12, 610, 400});
}
