#pragma once
#include "app/program.h"
#include "ui/form.h"

class TForm4 : public ui::Form {
 public:
  explicit TForm4(app::Program& program);
  app::Program& program;
};
