#pragma once
#include "app/program.h"
#include "ui/form.h"

class TFormIG : public ui::Form {
 public:
  explicit TFormIG(app::Program& program);
  app::Program& program;
};
