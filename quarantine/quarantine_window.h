#pragma once
#include "app/program.h"
#include "ui/form.h"

class TForm9 : public ui::Form {
 public:
  explicit TForm9(app::Program& program);
  app::Program& program;
};
