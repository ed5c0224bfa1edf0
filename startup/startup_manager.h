#pragma once
#include "app/program.h"
#include "ui/form.h"

class TfrmMain : public ui::Form {
 public:
  explicit TfrmMain(app::Program& program);
  app::Program& program;
};
