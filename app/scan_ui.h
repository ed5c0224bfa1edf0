#pragma once
// The quick scan and the full scan as the main window runs them: the
// findings list, the scan log, the buttons, the status panel and the boxes.
#include <string>
#include <vector>

#include "engine/quick_scan.h"

namespace app {

class Program;

// The scan's view of the main window.
class WindowScanHost : public engine::ScanHost {
 public:
  explicit WindowScanHost(Program& program) : program_(program) {}
  std::string Text(int entry) override;
  void ProcessMessages() override;
  bool AbortRequested() override;
  void ClearAbortRequest() override;
  void SetStatus(const std::string& text) override;
  void ClearFindingLines() override;
  int FindingLineCount() override;
  void AddFindingLine(const std::string& text) override;
  void AddNoteLine(const std::string& text) override;
  void ClearLog() override;
  void AddLogLine(const std::string& line) override;
  void BeginInteractiveScan() override;
  void ShowProgress(const engine::ScanProgress& progress) override;

 private:
  Program& program_;
};

// "Rules checked: 120 of 5000", or "Files checked: 1200 (35 MB) in C:\Data\".
std::string ScanProgressText(const engine::ScanProgress& progress);
std::string MegabytesText(std::uint64_t bytes);  // "35 MB"

// Hooks the scan into the main window: "Scan for viruses", "Quick scan" and
// the sources of the system inventory.
void ConnectScan(Program& program);

// The rows of the start-up manager's Startup folder and System.ini lists and
// of the main window's service list, plus the start-up values and server
// files the start-up registry scan gives. A missing list or a placeholder
// row adds nothing.
engine::InventorySources GatherInventorySources(Program& program);

// Runs the quick scan; with boxes the end of the scan talks to the user
// (and may hand over to the full scan), without them it only restores the
// buttons and the status text.
void RunQuickScan(Program& program, bool boxes = true);

// The end of a scan the full scan window also uses: placeholder line gone,
// buttons back, "finished" or "aborted" in the status panel.
void RestoreAfterScan(Program& program);

}  // namespace app
