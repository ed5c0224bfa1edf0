#include "startup/services.h"

#include "app/main_window.h"
#include "app/program.h"
#include "platform/text.h"
#include "startup/startup_manager.h"
#include "startup/u_svc.h"
#include "undo/journal_ui.h"
#include "undo/undo_journal.h"

namespace startup {
namespace {

namespace svc = platform::svc;

constexpr const char* kExempt = "Velmorix";  // never controlled from the tab
constexpr std::size_t kPath = 0, kStatus = 1, kStartType = 2, kKey = 3;

ui::ListView& TabList(TfrmMain& f) { return f.Get<ui::ListView>("ListView2"); }

SvcPause PauseOf(app::Program& p) {
  return [&p](std::uint32_t ms) { p.app.GetHost().Sleep(ms); };
}

SvcPump PumpOf(app::Program& p) {
  return [&p] { p.app.ProcessMessages(); };
}

// The row a command works on, found again by its key name after a wait that
// let other commands run (a refresh may have rebuilt the list meanwhile).
int RowOfKey(const ui::ListView& list, const std::string& key) {
  const auto& items = list.Items();
  for (std::size_t i = 0; i < items.size(); ++i)
    if (items[i].subItems.size() > kKey && items[i].subItems[kKey] == key) return int(i);
  return -1;
}

// Blanks one cell of the selected row, runs `act` on its key name and shows
// `done` when it succeeded, the cell's previous text otherwise. Meanwhile the
// list is disabled and the hourglass is over `busy`; afterwards the list has
// the focus. False when no service row is selected.
bool RunOnSelected(ui::ListView& list, ui::Component& busy, std::size_t cell, const std::string& done,
                   const std::function<void()>& before, const std::function<void()>& after,
                   const std::function<bool(const std::string&)>& act) {
  const int index = list.SelectedIndex();
  if (index < 0 || list.Items()[index].subItems.size() <= kKey) return false;
  const std::string key = list.Items()[index].subItems[kKey];
  const std::string previous = list.Items()[index].subItems[cell];
  if (before) before();
  list.SetSubItem(index, cell, "");
  bool ok = false;
  {
    ui::HourGlass wait(busy);
    list.SetEnabled(false);
    ok = act(key);
    if (int now = RowOfKey(list, key); now >= 0) list.SetSubItem(now, cell, ok ? done : previous);
    if (after) after();
    list.SetEnabled(true);
    list.SetFocus();
  }
  return true;
}

const ui::ListItem* SelectedRow(const ui::ListView& list) {
  const int index = list.SelectedIndex();
  return index < 0 ? nullptr : &list.Items()[index];
}

// A service row whose start type the tab may change: one that lists its
// start type and is not the program's own.
bool ModeChangeAllowed(const ui::ListItem* row) {
  return row && row->subItems.size() > kStartType && row->caption != kExempt;
}

// Starts or stops the service of a key name; true when it got there.
std::function<bool(const std::string&)> StartOrStop(app::Program& p, bool start) {
  return [&p, start](const std::string& key) {
    return start ? SvcStart(p.machine.Svc(), "", key, PauseOf(p))
                 : SvcStop(p.machine.Svc(), "", key, PauseOf(p));
  };
}

// Start or stop from the tab (the start-up manager's own texts).
void TabCommand(TfrmMain& f, bool start) {
  auto& list = TabList(f);
  RunOnSelected(
      list, *f.TabSheet2, kStatus, start ? "Running" : "Stopped",
      [&] { ChangeCmdStatus(f, false, SelectedRow(list)); },
      [&] { ChangeCmdStatus(f, true, SelectedRow(list)); }, StartOrStop(f.program, start));
}

// Start or stop from the main window's page (texts from the message table).
// The tab's buttons are switched off meanwhile and then follow the tab's own
// selection again.
void PageCommand(TForm1& f, bool start) {
  app::Program& p = f.program;
  TfrmMain* tab = p.frmMain;
  RunOnSelected(
      *f.ListView2, f, kStatus, p.msg[start ? 112 : 113],
      [&] {
        if (tab) ChangeCmdStatus(*tab, false, nullptr);
      },
      [&] {
        if (tab) ChangeCmdStatus(*tab, true, SelectedRow(TabList(*tab)));
      },
      StartOrStop(p, start));
}

void OneRow(ui::ListView& list, const std::string& text) {
  list.Clear();
  list.AddItem("", {text});
}

// The start-up manager's window is not yet known to the program while it is
// being created, so it comes as an argument.
void FillLists(app::Program& p, TfrmMain& frm, bool fromMainWindow) {
  // The listing lets window messages run: a refresh clicked meanwhile would
  // interleave its rows with this one's.
  static bool listing = false;
  if (!p.form1 || listing) return;
  listing = true;
  struct Done {
    ~Done() { listing = false; }
  } done;
  ui::ListView& page = *p.form1->ListView2;
  ui::ListView& tab = TabList(frm);
  page.Clear();
  tab.Clear();
  if (auto v = p.machine.Sys().Version(); v && v->platformId == 1) {  // Windows 95/98/Me
    for (ui::ListView* list : {&page, &tab}) {
      OneRow(*list, "For Windows NT/2000/XP only!");
      list->SetEnabled(false);
    }
    return;
  }
  page.SetEnabled(true);
  tab.SetEnabled(true);
  ui::ListView& source = fromMainWindow ? page : tab;
  ui::ListView& copy = fromMainWindow ? tab : page;
  if (SvcListServices(p.machine.Svc(), "", svc::kWin32, svc::kStateAll, source, PumpOf(p))) {
    copy.SetItems(source.Items());
    return;
  }
  const std::string failed = fromMainWindow ? p.msg[111] : "Can not get Service List!";
  OneRow(page, failed);
  OneRow(tab, failed);
}

}  // namespace

void FillServiceLists(app::Program& p, bool fromMainWindow) {
  if (p.frmMain) FillLists(p, *p.frmMain, fromMainWindow);
}

void RefreshServices(app::Program& p) {
  if (!p.form1 || !p.frmMain) return;
  p.form1->ListView2->Clear();
  TabList(*p.frmMain).Clear();
  if (p.frmMain->reloadStartupLists) p.frmMain->reloadStartupLists();
  FillServiceLists(p, true);
}

void ChangeCmdStatus(TfrmMain& f, bool selected, const ui::ListItem* row) {
  auto* restart = f.Find("cmdServiceRestart");
  auto* stop = f.Find("cmdServiceStop");
  auto* start = f.Find("cmdServiceStart");
  auto* mode = f.Find("cmdServiceChangeStartupMode");
  auto set = [&](bool onStart, bool onStop, bool onRestart, bool onMode) {
    start->SetEnabled(onStart);
    stop->SetEnabled(onStop);
    restart->SetEnabled(onRestart);
    mode->SetEnabled(onMode);
  };
  if (!row || !selected || row->subItems.size() <= kStartType) return set(false, false, false, false);
  const bool exempt = !ModeChangeAllowed(row);
  if (row->subItems[kStartType] == "Disabled" || exempt) return set(false, false, false, !exempt);
  const bool running = row->subItems[kStatus] == "Running";
  set(!running, running, running, true);
}

void cmdServiceStartClick(TfrmMain& f) { TabCommand(f, true); }
void cmdServiceStopClick(TfrmMain& f) { TabCommand(f, false); }
void cmdServiceRestartClick(TfrmMain& f) {
  TabCommand(f, false);
  TabCommand(f, true);
}

void mnuServiceStartupTypeClick(TfrmMain& f, std::uint32_t startType) {
  auto& list = TabList(f);
  app::Program& p = f.program;
  // The right-click menu offers the same change as the "Startup mode"
  // button, and only where the button does.
  if (!f.Find("cmdServiceChangeStartupMode")->Enabled() || !ModeChangeAllowed(SelectedRow(list)))
    return;
  undo::Backup backup(*p.journal, "Change start type");
  RunOnSelected(
      list, *f.TabSheet2, kStartType, StartTypeText(startType),
      [&] { ChangeCmdStatus(f, false, SelectedRow(list)); },
      [&] { ChangeCmdStatus(f, true, SelectedRow(list)); },
      [&](const std::string& key) {
        const auto kept = backup.KeepStartType(key, startType);
        if (!kept) return false;
        if (SvcSetStartType(p.machine.Svc(), "", key, startType)) return true;
        backup.NotDone(kept);
        return false;
      });
  backup.Finish();
  undo::TellNotBackedUp(p, backup);
}

void xpButton10Click(TForm1& f) { PageCommand(f, true); }
void xpButton9Click(TForm1& f) { PageCommand(f, false); }
void xpButton11Click(TForm1& f) {
  PageCommand(f, false);
  PageCommand(f, true);
}
void xpButton15Click(TForm1& f) {
  RefreshServices(f.program);
  f.ShowPage(5);
}

bool StopServiceByPath(app::Program& p, std::string_view path) {
  // An empty path would begin every row's path: it names no service.
  if (!p.frmMain || path.empty()) return false;
  ui::ListView& list = TabList(*p.frmMain);
  const std::string want = platform::LowerCase(path);
  for (std::size_t i = 0; i < list.Items().size(); ++i) {
    p.app.ProcessMessages();
    if (i >= list.Items().size()) return false;  // the list changed under the walk
    const ui::ListItem row = list.Items()[i];
    if (row.subItems.empty() || platform::LowerCase(row.subItems[kPath]).rfind(want, 0) != 0)
      continue;
    if (row.subItems.size() <= kKey) return false;
    if (SvcStop(p.machine.Svc(), "", row.subItems[kKey], PauseOf(p))) {
      if (int now = RowOfKey(list, row.subItems[kKey]); now >= 0)
        list.SetSubItem(now, kStatus, "Stopped");
      return true;
    }
  }
  return false;
}

void AttachServicesTab(TfrmMain& f) {
  auto& list = TabList(f);
  list.SetColumns({{"Name", 130}, {"Path", 280}, {"Status", 60}, {"StartupType", 70}});
  list.gridLines = list.rowSelect = list.readOnly = list.sorted = true;
  list.OnSelectItem = [&f, &list] { ChangeCmdStatus(f, true, SelectedRow(list)); };
  list.OnDblClick = [&f, &list] {
    const ui::ListItem* row = SelectedRow(list);
    if (!row || row->subItems.empty()) return;
    app::Program& p = f.program;
    ui::HourGlass wait(list);
    p.machine.Sh().ShowProperties(ServicePropertiesFile(row->subItems[kPath]));
    p.app.GetHost().Sleep(500);
  };
  f.Find("cmdServiceStart")->OnClick = [&f] { cmdServiceStartClick(f); };
  f.Find("cmdServiceStop")->OnClick = [&f] { cmdServiceStopClick(f); };
  f.Find("cmdServiceRestart")->OnClick = [&f] { cmdServiceRestartClick(f); };
  f.Find("cmdServiceChangeStartupMode")->OnClick = [&f] {
    if (auto* menu = f.Find("PopupMenu2")) menu->ShowPopupAtCursor();
  };
  const struct {
    const char* item;
    std::uint32_t startType;
  } modes[] = {{"mnuAutomatic", svc::kAutoStart},
               {"mnuManual", svc::kDemandStart},
               {"mnuDisabled", svc::kDisabled}};
  for (const auto& m : modes) {
    const std::uint32_t code = m.startType;
    f.Find(m.item)->OnClick = [&f, code] { mnuServiceStartupTypeClick(f, code); };
  }
  if (auto* menu = dynamic_cast<ui::PopupMenu*>(f.Find("PopupMenu2")))
    menu->OnPopup = [&f, &list] {
      const bool on = f.Find("cmdServiceChangeStartupMode")->Enabled() &&
                      ModeChangeAllowed(SelectedRow(list));
      for (const char* item : {"mnuAutomatic", "mnuManual", "mnuDisabled"}) f.Find(item)->SetEnabled(on);
    };
  ChangeCmdStatus(f, false, nullptr);
  // Creating the window lists the services, after its own lists.
  f.OnCreate = [&f, create = f.OnCreate] {
    if (create) create();
    FillLists(f.program, f, false);
  };
}

void AttachServicesPage(TForm1& f) {
  f.ListView2->SetColumns({{"Name", 130}, {"Path", 280}, {"Status", 60}, {"StartupType", 70}});
  f.Find("xpButton9")->OnClick = [&f] { xpButton9Click(f); };
  f.Find("xpButton10")->OnClick = [&f] { xpButton10Click(f); };
  f.Find("xpButton11")->OnClick = [&f] { xpButton11Click(f); };
  f.Find("xpButton12")->OnClick = [&f] { RefreshServices(f.program); };
  f.Find("xpButton15")->OnClick = [&f] { xpButton15Click(f); };
}

}  // namespace startup
