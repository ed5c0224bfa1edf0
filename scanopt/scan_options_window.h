#pragma once
#include <memory>

#include "app/program.h"
#include "scanopt/options_scan.h"
#include "ui/form.h"

// "Scan with Options": drives and folders chosen by the user, checked file by
// file against the hash rules of the database; matches go to the main
// window's findings list.
class Toptscan : public ui::Form {
 public:
  explicit Toptscan(app::Program& program);
  ~Toptscan() override;
  app::Program& program;

  ui::ListBox* cList1;      // drives and folders, checked ones are scanned
  ui::CheckBox* cbxIgnore;  // follow the ignore list
  ui::Component* Label2;    // files and bytes checked
  ui::Component* Label3;    // current folder
  ui::Component* Label4;    // unreadable files, counted
  ui::Memo* Memo1;          // unreadable files, listed

  void Refresh();  // fixed drives and the remembered folders
  void AddFolder(const std::string& folder);
  void RemoveSelected();
  scanopt::ScanChoices Choices() const;
  void StartScan();
  void AbortScan();
  bool Scanning() const { return scan_ && scan_->Running(); }
  // Waits for a running scan to end (tests and the unattended run).
  void WaitForScan();

 private:
  void ShowNews(const engine::FolderScanNews& news);
  std::unique_ptr<scanopt::OptionsScan> scan_;
};
