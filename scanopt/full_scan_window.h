#pragma once
#include "app/program.h"
#include "ui/form.h"

class TForm3 : public ui::Form {
 public:
  explicit TForm3(app::Program& program);
  app::Program& program;
};
