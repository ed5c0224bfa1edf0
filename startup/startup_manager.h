#pragma once
#include <functional>
#include <string>

#include "app/program.h"
#include "ui/form.h"

// "Runtime & Process Manager": what Windows starts by itself (Run keys and
// their switched-off "_Bak" twins, Startup folders, System.ini and Win.ini
// lines, keyboard filter drivers) and the services.
class TfrmMain : public ui::Form {
 public:
  explicit TfrmMain(app::Program& program);
  app::Program& program;

  ui::PageBook* PageControl;
  ui::Component* TabSheet1;
  ui::Component* TabSheet2;
  ui::Component* TabSheet3;
  ui::ListView* ListView1;    // registry Run values, with check boxes
  ui::ListView* ListView1_2;  // Startup folder entries
  ui::ListView* ListView2;    // services
  ui::ListView* ListView3;    // keyboard filter drivers
  ui::ListView* ListView4;    // System.ini lines
  ui::ListView* ListView5;    // Win.ini lines
  ui::ImageList* ImageList1;
  ui::PopupMenu* PopupMenu1;
  ui::PopupMenu* PopupMenu2;
  ui::Component* Image2;

  // Refills the start-up, keyboard filter and INI lists and installs the
  // message hook again: what the main window's service refresh runs first.
  std::function<void()> reloadStartupLists;

  void FormCreate();
  void LoadStartupPrograms();
  void LoadFromReg(const std::string& tag);
  void LoadFromDir(const std::string& which);  // "CU" or "LM"
  // Moves a Run value between its key and the "_Bak" twin as the row's box
  // now says, or removes it; false when the registry refused the change.
  bool ChangeReg(int row, bool remove);
  void ScanSystemINI(const std::string& name);  // "System.ini" or "Win.ini"
  // Rewrites one line of an INI file of the Windows folder; false when the
  // file was left as it was.
  bool ChangeLine(const std::string& file, const std::string& oldLine, const std::string& newLine);
  void ListView1MouseUp(int row);
  void ListView4MouseUp(int row);
  void ListView5MouseUp(int row);
  void PopupMenu1Popup();
  void mnuInfClick();
  void mnuDelClick();
  // The window procedure: message 1033 ends the program.
  bool TrapMSG(unsigned message);
  void InstallTrapMSG();

  // Keyboard filter drivers.
  void ScanKeyboardFilterDriver();
  void DelKBf();

  // Placeholder texts of empty lists.
  static constexpr const char* kNoStartupProgram = "No startup program found!";
  static constexpr const char* kNoDriver = "No additional driver found!";
  static constexpr const char* kNoKeyboardFilter = "No Keyboard Filter driver found!";
  static constexpr unsigned kQuitMessage = 1033;  // WM_USER + 9

 private:
  void Layout();
  void ListIniMouseUp(ui::ListView& list, const std::string& file, int row);
  int IconOf(const std::string& file);
  bool AskUndoable(const std::string& text);
  static void ShowPlaceholder(ui::ListView& list, const char* text);
};
