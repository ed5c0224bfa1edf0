#pragma once
// The quick scan: one walk of the threat database, each rule checked on
// disk, among the running programs and against the system inventory.
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "engine/findings.h"
#include "engine/matching.h"
#include "engine/progress.h"
#include "engine/protected_places.h"
#include "engine/threat_database.h"
#include "platform/machine.h"

namespace engine {

// What a scan shows and asks while it runs: the findings list, the scan log,
// the status panel, the abort request. The main window implements it; so
// does the unattended scan.
class ScanHost {
 public:
  virtual ~ScanHost() = default;
  virtual std::string Text(int entry) = 0;  // message table
  virtual void ProcessMessages() {}
  virtual bool AbortRequested() = 0;
  virtual void ClearAbortRequest() = 0;
  virtual void SetStatus(const std::string& text) = 0;
  virtual void ClearFindingLines() = 0;
  virtual int FindingLineCount() = 0;
  virtual void AddFindingLine(const std::string& text) = 0;  // checked
  // A line no check box acts on (a protected place a rule named).
  virtual void AddNoteLine(const std::string& text) { (void)text; }
  virtual void ClearLog() = 0;
  virtual void AddLogLine(const std::string& line) = 0;
  // An interactive scan begins: placeholder line, buttons, status text.
  virtual void BeginInteractiveScan() {}
  // Counts of a running scan, about ten times a second and once at its end.
  virtual void ShowProgress(const ScanProgress& progress) { (void)progress; }
};

// A host that shows nothing and is never aborted (benchmarks, fuzzing).
class QuietScanHost final : public ScanHost {
 public:
  std::string Text(int) override { return {}; }
  bool AbortRequested() override { return false; }
  void ClearAbortRequest() override {}
  void SetStatus(const std::string&) override {}
  void ClearFindingLines() override { lines_ = 0; }
  int FindingLineCount() override { return lines_; }
  void AddFindingLine(const std::string&) override { ++lines_; }
  void AddNoteLine(const std::string&) override { ++lines_; }
  void ClearLog() override {}
  void AddLogLine(const std::string&) override {}

 private:
  int lines_ = 0;
};

// The time of day as the scan log shows it. Cheap to call once per rule: the
// text is formatted once a second.
std::string LocalTimeText();

// The scan state the main window owns and Fix, the full scan, the report
// log and the log upload share.
struct ScanState {
  FindingsRegister findings;
  InfectionSummary summary;
  SystemInventory inventory;
  bool threatsFound = false;
  int findingCount = 0;
  // Set by the Log optimizer while it writes its report file: the scan then
  // writes its findings through writeReportLine and talks to nobody.
  bool logBuildingMode = false;
  std::function<void(const std::string&)> writeReportLine;
  // Lower-case paths whose running programs this scan terminated.
  std::set<std::string> terminated;
  // Whether a path lies in a folder the user asked the scans to leave alone
  // (the file ignore list). Candidates there are skipped and listed here, so
  // the memo and the report say what was left out.
  std::function<bool(const std::string&)> isIgnored;
  struct Ignored {
    std::string path;
    std::string name;  // the threat the rule names; empty for a folder skipped by the full scan
  };
  std::vector<Ignored> ignored;
  // True (and recorded, with a memo line) when the path is on the ignore list.
  bool SkipIgnored(const std::string& path, const std::string& name, ScanHost& host,
                   const std::string& time);

  // The places no rule may remove, read when a scan starts. A rule that
  // names one is still shown and logged, as "Protected", and listed here;
  // it never becomes a finding, so nothing removes it.
  ProtectedPlaces protectedPlaces;
  struct Protected {
    std::string path;
    std::string name;    // the threat the rule names
    std::string reason;  // what the place is
  };
  std::vector<Protected> protectedFindings;
  // True (and recorded once, with a line in the findings list and the log)
  // when no rule may remove the file or folder.
  bool SkipProtected(platform::FileSystem& fs, const std::string& path, const std::string& name,
                     bool folder, ScanHost& host, const std::string& time);

  // Where the rest of the program plugs in. Each may stay empty.
  std::function<std::string(const std::string&)> expandFolderMacros;  // as given when empty
  std::function<void()> refreshStartupValues;
  std::function<InventorySources()> inventorySources;
  std::function<std::string()> timeText;  // LocalTimeText when empty
  // The start-up registry scan's part of the inventory: the data of every
  // start-up value, and the server files it collects.
  std::function<std::vector<std::string>()> startupValueData;
  std::function<std::vector<std::string>()> collectServerFiles;
  // The log upload offered after a clean scan.
  std::function<bool()> logUploadWanted;
  std::function<void()> startLogUpload;

  std::string Now() const { return timeText ? timeText() : LocalTimeText(); }
};

void QuickScan(platform::Machine& machine, ThreatDatabase& db, ScanState& state, ScanHost& host);

}  // namespace engine
