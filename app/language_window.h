#pragma once
#include "app/program.h"
#include "ui/form.h"

// "Select language": the language files of the program folder.
class TFormL : public ui::Form {
 public:
  explicit TFormL(app::Program& program);
  app::Program& program;
  ui::ListBox* List1;
};
