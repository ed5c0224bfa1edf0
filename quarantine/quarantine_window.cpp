#include "quarantine/quarantine_window.h"

using ui::Kind;

TForm9::TForm9(app::Program& p) : Form("TForm9"), program(p) {
  SetCaption("Quarantine Manager");
  SetBounds({0, 0, 620, 420});
  auto& list = Add<ui::ListView>(Kind::ListView, "ListView1", this);
  list.SetBounds({12, 12, 590, 320});
  list.checkBoxes = true;
  const char* buttons[][2] = {{"xpButton1", "Close"},       {"xpButton2", "Restore selected tasks"},
                              {"xpButton3", "Add Task"},    {"xpButton4", "Remove Task"},
                              {"xpButton5", "Clear Quarantine"}, {"xpButton6", "Refresh"}};
  int x = 12;
  for (auto& b : buttons) {
    Add(Kind::OwnerButton, b[0], this, b[1]).SetBounds({x, 344, 94, 28});
    x += 98;
  }
}
