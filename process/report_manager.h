#pragma once
#include "app/program.h"
#include "ui/form.h"

class TFormR : public ui::Form {
 public:
  explicit TFormR(app::Program& program);
  app::Program& program;
};
