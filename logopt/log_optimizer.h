#pragma once
#include "app/program.h"
#include "logopt/report_build.h"
#include "ui/form.h"

// "Log Optimizer": the sections of the full report log, and building it.
class TForm12 : public ui::Form {
 public:
  explicit TForm12(app::Program& program);
  app::Program& program;

  ui::Component* GroupBox1;
  ui::CheckBox* xpCheckBox1;  // "Startup files."
  ui::CheckBox* xpCheckBox2;  // "Active Services."
  ui::CheckBox* xpCheckBox3;  // "Active processes."
  ui::CheckBox* xpCheckBox4;  // "Infected files."

  // The chosen sections: all on at start, kept until the program ends.
  logopt::LogOptions options;
  // "Build log": asks, builds and opens the file; while a build runs, aborts it.
  void xpButton1Click();
  bool Building() const { return building_; }

 private:
  void FormShow();
  // The main window as it is when no log is being built.
  void RestoreMainWindow();
  bool building_ = false;
};
