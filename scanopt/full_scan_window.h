#pragma once
#include <string>

#include "app/program.h"
#include "ui/form.h"

// "Full scan process!": the fixed drives to walk for copies of the findings.
class TForm3 : public ui::Form {
 public:
  explicit TForm3(app::Program& program);
  app::Program& program;

  ui::Memo* Memo1;
  ui::ListBox* cList1;
  ui::Component* Label1;
  ui::Timer* Timer1;

  // The chosen drive roots, each followed by ";".
  std::string driveList;
  bool declined = false;
  bool fixChosen = false;

  void Refresh();             // the fixed drives, all checked
  void cList1ClickCheck();    // the drive list from the checked lines
  void xpButton1Click();      // "Scan"
  void xpButton3Click();      // "Abort"
  void Timer1Timer();
  void AbortDialog();
  // The full scan itself, on the main window.
  void FullScan();

 private:
  void FormShow();
  void FormClose();
  void ShowDriveList();
};
