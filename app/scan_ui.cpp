#include "app/scan_ui.h"

#include "scanopt/folder_macros.h"

#include "app/all_windows.h"

namespace app {
namespace {

// Rows of a list view looked up by name; empty when the window or the list
// does not exist.
const std::vector<ui::ListItem>* Rows(ui::Form* form, const char* name) {
  if (!form) return nullptr;
  auto* list = dynamic_cast<ui::ListView*>(form->Find(name));
  return list ? &list->Items() : nullptr;
}

// Sub-item `sub` of every row that has it (a placeholder row has none), or
// the caption when sub is -1.
std::vector<std::string> Column(ui::Form* form, const char* name, int sub,
                                const char* placeholder = nullptr) {
  std::vector<std::string> out;
  const auto* rows = Rows(form, name);
  if (!rows) return out;
  for (const auto& row : *rows) {
    if (sub < 0) {
      if (!placeholder || row.caption != placeholder) out.push_back(row.caption);
    } else if (static_cast<std::size_t>(sub) < row.subItems.size()) {
      out.push_back(row.subItems[sub]);
    }
  }
  return out;
}

}  // namespace

std::string WindowScanHost::Text(int entry) { return program_.msg[entry]; }
void WindowScanHost::ProcessMessages() { program_.app.ProcessMessages(); }
bool WindowScanHost::AbortRequested() { return program_.form1->abortRequest; }
void WindowScanHost::ClearAbortRequest() { program_.form1->abortRequest = false; }
void WindowScanHost::SetStatus(const std::string& text) { program_.form1->SetStatus(text); }
void WindowScanHost::ClearFindingLines() { program_.form1->List1->Clear(); }
int WindowScanHost::FindingLineCount() {
  return static_cast<int>(program_.form1->List1->Items().size());
}
void WindowScanHost::AddFindingLine(const std::string& text) {
  auto* list = program_.form1->List1;
  list->Add(text);
  list->SetChecked(list->Items().size() - 1, true);
}
void WindowScanHost::AddNoteLine(const std::string& text) {
  program_.form1->List1->Add(text, false);  // greyed: nothing to tick, nothing Fix acts on
}
void WindowScanHost::ClearLog() { program_.form1->Memo2->Clear(); }
void WindowScanHost::AddLogLine(const std::string& line) { program_.form1->Memo2->Add(line); }

std::string MegabytesText(std::uint64_t bytes) { return std::to_string(bytes / (1024 * 1024)) + " MB"; }

std::string ScanProgressText(const engine::ScanProgress& p) {
  if (p.of == engine::ScanProgress::Of::Rules)
    return "Rules checked: " + std::to_string(p.rulesChecked) + " of " + std::to_string(p.rules);
  return "Files checked: " + std::to_string(p.files) + " (" + MegabytesText(p.bytes) + ") in " +
         p.folder;
}

void WindowScanHost::ShowProgress(const engine::ScanProgress& progress) {
  program_.form1->LabelProgress->SetCaption(ScanProgressText(progress));
}

void WindowScanHost::BeginInteractiveScan() {
  auto& f = *program_.form1;
  f.LabelProgress->SetCaption("");
  f.List1->Add(Text(8), false);  // the placeholder line while the scan runs
  f.Find("Button2")->SetEnabled(false);
  f.Find("Button1")->SetEnabled(false);
  f.Find("Button3")->SetEnabled(true);
  f.Find("Button6")->SetVisible(false);
  f.SetStatus(Text(9));
}

engine::InventorySources GatherInventorySources(Program& p) {
  engine::InventorySources s;
  auto& scan = p.form1->scan;
  if (scan.startupValueData) s.startupValues = scan.startupValueData();
  s.startupFolderCommands = Column(p.frmMain, "ListView1_2", 0);
  s.servicePaths = Column(p.form1, "ListView2", 0);
  s.systemIniEntries =
      Column(p.frmMain, "ListView4", -1, "No additional driver found!");
  if (scan.collectServerFiles) s.serverFiles = scan.collectServerFiles();
  return s;
}

void ConnectScan(Program& p) {
  auto& f = *p.form1;
  f.scan.inventorySources = [&p] { return GatherInventorySources(p); };
  f.scan.expandFolderMacros = [&p](const std::string& text) {
    return scanopt::ExpandFolderMacros(p.machine, text);
  };
  f.scan.refreshStartupValues = [&f] { f.Button15Click(); };
  f.scan.startupValueData = [&f] {
    std::vector<std::string> data;
    for (const auto& v : f.startupValues) data.push_back(v.valueData);
    return data;
  };
  f.scan.collectServerFiles = [&f] {
    f.ScanStartupRegistry();
    return f.registryServers;
  };
  f.startQuickScan = [&p] { RunQuickScan(p); };
}

void RestoreAfterScan(Program& p) {
  p.EndJob(Job::Scan);
  auto& f = *p.form1;
  if (!f.List1->Items().empty()) f.List1->Delete(0);
  f.Find("Button1")->SetEnabled(true);
  f.Find("Button3")->SetEnabled(false);
  f.Find("Button6")->SetVisible(true);
  f.SetStatus(p.msg[f.abortRequest ? 29 : 30]);
}

void RunQuickScan(Program& p, bool boxes) {
  // Held until RestoreAfterScan, past a hand-over to the full scan.
  if (!p.BeginJob(Job::Scan)) return;
  auto& f = *p.form1;
  WindowScanHost host(p);
  engine::QuickScan(p.machine, f.database, f.scan, host);

  const std::string time = f.scan.Now();
  const auto& msg = p.msg;
  if (f.scan.threatsFound) {
    f.Find("Button2")->SetEnabled(true);
    const std::string count = std::to_string(static_cast<int>(f.List1->Items().size()) - 1);
    f.Memo2->Add(time + ": " + count + msg[17]);
    f.Memo2->Add(msg[18]);
    if (boxes) {
      f.SetEnabled(false);
      const int answer = p.Box(msg[19] + count + msg[20] + "\r" + msg[128], msg[21],
                               ui::Buttons::YesNo, ui::Icon::Information);
      f.SetEnabled(true);
      if (answer == ui::kIdYes) {
        p.form3->Show();  // the full scan takes over the placeholder and the buttons
        return;
      }
      f.SetEnabled(false);
      p.Box(msg[22], msg[23], ui::Buttons::Ok, ui::Icon::Information);
      f.SetEnabled(true);
    }
  } else {
    f.Memo2->Add(time + msg[24]);
    f.List1->Add(msg[25], false);
    if (boxes) {
      f.SetEnabled(false);
      p.Box(msg[26], msg[23], ui::Buttons::Ok, ui::Icon::Information);
      if (f.scan.logUploadWanted && f.scan.logUploadWanted() &&
          p.Box(msg[27], msg[28], ui::Buttons::YesNo, ui::Icon::Question) == ui::kIdYes &&
          f.scan.startLogUpload)
        f.scan.startLogUpload();
    }
    f.Find("Button2")->SetEnabled(false);
    f.SetEnabled(true);
  }
  RestoreAfterScan(p);
}

}  // namespace app
