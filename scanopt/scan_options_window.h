#pragma once
#include "app/program.h"
#include "ui/form.h"

class Toptscan : public ui::Form {
 public:
  explicit Toptscan(app::Program& program);
  app::Program& program;
};
