#include "scanopt/scan_options_window.h"

using ui::Kind;

Toptscan::Toptscan(app::Program& p) : Form("Toptscan"), program(p) {
  SetCaption("Scan with Options");
  SetBounds({0, 0, 420, 300});

}
