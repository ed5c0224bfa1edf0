#pragma once
// The two service lists: the start-up manager's "Services Manager" tab and
// the main window's "Service Manager" page, with their commands.
#include <string_view>

#include "ui/component.h"

class TForm1;
class TfrmMain;
namespace app {
class Program;
}

namespace startup {

// Wires the services tab of the start-up manager (its controls found by
// name); creating the window then fills both service lists.
void AttachServicesTab(TfrmMain& form);
// Wires the services page of the main window.
void AttachServicesPage(TForm1& form);

// Clears both lists and lists the services into one of them, copying the
// rows into the other: the main window's list when fromMainWindow is set,
// the start-up manager's otherwise.
void FillServiceLists(app::Program& program, bool fromMainWindow);
// The main window's "Refresh": the start-up manager's own lists, then both
// service lists.
void RefreshServices(app::Program& program);

// Enables the four buttons of the services tab for a row.
void ChangeCmdStatus(TfrmMain& form, bool selected, const ui::ListItem* row);

// Start-up manager tab commands on its selected row.
void cmdServiceStartClick(TfrmMain& form);
void cmdServiceStopClick(TfrmMain& form);
void cmdServiceRestartClick(TfrmMain& form);
// Sets SERVICE_AUTO_START (2), SERVICE_DEMAND_START (3) or SERVICE_DISABLED (4).
void mnuServiceStartupTypeClick(TfrmMain& form, std::uint32_t startType);

// Main window page commands on its selected row.
void xpButton10Click(TForm1& form);  // "Start Service"
void xpButton9Click(TForm1& form);   // "Stop Service"
void xpButton11Click(TForm1& form);  // "Restart Service": stop, then start
void xpButton15Click(TForm1& form);  // "Services Manager": refresh, then page 5

// Stops the first service of the start-up manager's list whose path begins
// with `path` (letter case aside) and that does stop; true when one did.
bool StopServiceByPath(app::Program& program, std::string_view path);

}  // namespace startup
