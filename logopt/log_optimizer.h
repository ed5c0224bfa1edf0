#pragma once
#include "app/program.h"
#include "ui/form.h"

class TForm12 : public ui::Form {
 public:
  explicit TForm12(app::Program& program);
  app::Program& program;
};
