#pragma once
#include "app/program.h"
#include "ui/form.h"

// "Select language": the language files of the program folder.
class TFormL : public ui::Form {
 public:
  explicit TFormL(app::Program& program);
  app::Program& program;
  ui::ListBox* List1;
  ui::Component* xpButton1;  // Apply
  ui::Component* xpButton2;  // Default
  ui::Component* xpButton3;  // Save default language

  void xpButton1Click();
  void xpButton2Click();
  void xpButton3Click();
};
