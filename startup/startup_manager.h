#pragma once
#include <functional>

#include "app/program.h"
#include "ui/form.h"

class TfrmMain : public ui::Form {
 public:
  explicit TfrmMain(app::Program& program);
  app::Program& program;
  // Refills the start-up, keyboard filter and INI lists and installs the
  // message hook again: what the main window's service refresh runs first.
  std::function<void()> reloadStartupLists;
};
