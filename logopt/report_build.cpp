#include "logopt/report_build.h"

#include "app/all_windows.h"
#include "app/scan_ui.h"
#include "app/winver.h"
#include "engine/full_report.h"
#include "engine/helpers.h"
#include "platform/local_time.h"
#include "startup/services.h"
#include "update/update_list.h"

namespace logopt {
namespace {

// Lines pass to the file only while the program is in log-building mode: an
// abort switches the mode off, and the rest of the build then writes nothing.
class ModeGate final : public engine::ReportLog {
 public:
  ModeGate(engine::ReportLog& file, const bool& mode) : file_(file), mode_(mode) {}
  bool WriteLine(std::string_view line) override { return !mode_ || file_.WriteLine(line); }
  void Progress(std::string_view item) override { file_.Progress(item); }

 private:
  engine::ReportLog& file_;
  const bool& mode_;
};

// Sets a hook of the main window for one call and clears it again, so that a
// refresh run for another reason meanwhile (entering the page book while
// the scan lets messages run) writes nothing into the report.
template <class Hook>
class HookFor {
 public:
  HookFor(Hook& hook, Hook value) : hook_(hook) { hook_ = std::move(value); }
  ~HookFor() { hook_ = Hook{}; }
  HookFor(const HookFor&) = delete;
  HookFor& operator=(const HookFor&) = delete;

 private:
  Hook& hook_;
};

std::vector<engine::ReportRow> RowsOf(const ui::ListView* list) {
  std::vector<engine::ReportRow> rows;
  if (!list) return rows;
  for (const auto& item : list->Items()) rows.push_back({item.caption, item.subItems});
  return rows;
}

}  // namespace

std::string ReportFilePath(const app::Program& p) { return p.programFolder + kReportFileName; }

bool DetailReport(app::Program& p, const LogOptions& o, engine::ReportLog& log) {
  auto& f = *p.form1;
  if (!f.scan.logBuildingMode) return true;
  startup::RefreshServices(p);
  engine::InventoryCallbacks cb;
  cb.startupPrefix = p.msg[180];
  cb.servicePrefix = p.msg[181];
  cb.processMessages = [&p] { p.app.ProcessMessages(); };
  cb.showPath = [&f](const std::string& path) { f.SetStatus(path); };
  engine::BuildSystemInventory(p.machine, app::GatherInventorySources(p), f.scan.inventory, cb);

  engine::DetailReportLists lists;
  lists.inventory = f.scan.inventory.Entries();
  if (auto* m = p.frmMain) {
    lists.startupFolder = RowsOf(m->ListView1_2);
    lists.winIni = RowsOf(m->ListView5);
    lists.systemIni = RowsOf(m->ListView4);
    lists.keyboardDrivers = RowsOf(m->ListView3);
  }
  lists.services = RowsOf(f.ListView2);
  auto& fs = p.machine.Files();
  return engine::WriteDetailReport(
      log, lists, {o.startupFiles, o.activeServices}, [&p](int entry) { return p.msg[entry]; },
      [&fs](const std::string& path) { return engine::IsValidFile(fs, path); });
}

bool WriteFullReport(app::Program& p, const LogOptions& o, const std::string& path) {
  auto& f = *p.form1;
  auto& mode = f.scan.logBuildingMode;
  struct ModeOff {
    bool& mode;
    ~ModeOff() { mode = false; }
  } modeOff{mode};

  engine::ReportFile file;
  if (!file.Create(p.machine.Files(), path)) return false;
  mode = true;
  ModeGate log(file, mode);
  const auto& msg = p.msg;
  const auto now = platform::NowLocal();
  for (const std::string& line :
       {update::kBuiltInVersion + msg[172],
        msg[173] + platform::ShortDateText(now) + msg[174] + platform::LongTimeText(now),
        app::WindowsVersionText(p.machine.Sys(), p.machine.Reg()), std::string()})
    if (!log.WriteLine(line)) return false;

  if (o.infectedFiles) {
    // A failed write stops the scan as an abort would.
    HookFor<std::function<void(const std::string&)>> hook(
        f.scan.writeReportLine, [&](const std::string& line) {
          if (!log.WriteLine(line)) f.abortRequest = true;
        });
    app::WindowScanHost host(p);
    engine::QuickScan(p.machine, f.database, f.scan, host);
    if (file.Failed()) return false;
  }
  if (!log.WriteLine("")) return false;

  if (o.activeProcesses) {
    HookFor<engine::ReportLog*> hook(f.reportLog, &log);
    if (!f.Button12Click()) return false;
  }
  if (o.startupFiles) {
    HookFor<std::function<void(const std::string&)>> hook(
        f.startupLogLine, [&log](const std::string& line) { log.WriteLine(line); });
    f.Button15Click();
    if (file.Failed()) return false;
  }
  if (!DetailReport(p, o, log)) return false;
  if (!file.WriteLine(msg[148])) return false;
  return file.Close();
}

std::string UnattendedLogPath(app::Program& p, const std::string& file) {
  return file.empty() ? ReportFilePath(p) : file;
}

std::string WriteUnattendedLog(app::Program& p, const std::string& file) {
  const std::string path = UnattendedLogPath(p, file);
  const bool written = WriteFullReport(p, LogOptions{}, path);
  return written ? "" : "The full report log \"" + path + "\" could not be written.";
}

}  // namespace logopt
