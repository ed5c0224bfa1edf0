#pragma once
#include "app/program.h"
#include "engine/report_log.h"
#include "engine/startup_registry.h"
#include "engine/quick_scan.h"
#include "engine/threat_database.h"
#include "ui/form.h"

// The main window: a page book of six pages and a three-panel status bar.
class TForm1 : public ui::Form {
 public:
  explicit TForm1(app::Program& program);

  app::Program& program;

  ui::PageBook* Note1;
  ui::StatusBar* sb1;
  ui::Timer* Timer1;
  ui::Timer* Timer3;
  ui::Component* GroupBox1;
  ui::Component* Label2;
  ui::Memo* Memo1;
  ui::ListBox* List1;
  ui::Memo* Memo2;
  ui::Component* LabelProgress;  // rules, or files and bytes, checked by the running scan
  ui::ListView* List2;
  ui::ListView* List3;
  ui::ListView* ListView2;
  ui::CheckBox* cbx1;

  // The threat database in memory, for the whole run.
  engine::ThreatDatabase database;
  // Loads "files.dat" of the program folder; says so when it cannot.
  void LoadDatabase();

  // The open report file while the full report log is built (log-building
  // mode); null otherwise.
  engine::ReportLog* reportLog = nullptr;
  // The start-up values of the registry base ("Startup files" page) and the
  // registry server list; the scans read both.
  std::vector<StartupF> startupValues;
  std::vector<std::string> registryServers;
  // Set while the log is being built: receives the page's log lines.
  std::function<void(const std::string&)> startupLogLine;
  void Button14Click();  // "Delete values"
  void Button15Click();  // "Refresh": rebuilds the start-up value list and List3
  // The start-up values that point at a file, each kept first in `backup`
  // (or in a backup of its own when none is given); `left`, when given,
  // names the values that could not be removed.
  bool RemoveStartupValuesFor(const std::string& path, undo::Backup* backup = nullptr,
                              std::vector<std::string>* left = nullptr);
  void ScanStartupRegistry();

  // Shared scan state.
  // Shared scan state: the findings, the infection summary, the inventory.
  engine::ScanState scan;
  bool abortRequest = true;
  bool startupUpdateCheck = false;

  void ShowPage(int index) { Note1->SetActivePage(index); }
  void SetStatus(std::string text) { sb1->SetPanelText(0, std::move(text)); }
  // "Last Update: " and the database date into panel 2 and Label2.
  void ShowDatabaseDate();
  // The date line and the caption of GroupBox1, from the message table (on
  // showing, resizing and a new language).
  void ShowTexts();
  std::string DatabaseDateText();

  // Commands.
  void Button1Click();   // "Quick scan": asks, then scans
  void Button2Click();   // "Fix": asks, then fixes the checked findings
  void Button3Click();   // "Abort"
  void Button4Click();   // "Scan for viruses"
  void Button7Click();   // "Update"
  void Button8Click();   // "Process Manager"
  void Button11Click();  // "End Task"
  // "Refresh" of the process list; while the full report log is built it
  // also writes the running-processes section (false: a write failed).
  bool Button12Click();
  void Button10Click();  // "Full report log"
  void xpButton5Click();   // "Add to Quarantine": asks, then stores and fixes
  void xpButton11Click();  // "Restart Service"
  void xpButton15Click();  // "Services Manager"
  void OpenVendorPage(const char* page);  // "/reportbug.php", "/reportvirus.php"
  void ShowQuarantineManager();
  void ShowProcessManager();
  void ShowIgnoreList();
  void ShowScanOptions();
  void ShowMainWindow();

  // Work the later parts of the program hook in.
  std::function<void()> startQuickScan;
  std::function<void()> startFix;
  std::function<void()> startAddToQuarantine;
  std::function<void()> startUpdate;
  std::function<void()> startupUpdateCheckRun;

  // Seconds counted by Timer1 while a fix runs.
  long double cleanTimer = 0;

 private:
  void FormCreate();
  void FormShow();
  bool Ask(int entry);
  void Layout();
  void Wire();
  void WireStartupPage();
};

// "Select your action": the two main actions, offered again or not.
class TForm2 : public ui::Form {
 public:
  explicit TForm2(app::Program& program);
  app::Program& program;
  ui::CheckBox* c1;
  ui::Timer* Timer1;
};
