#include "startup/startup_manager.h"

#include "startup/services.h"

using ui::Kind;

TfrmMain::TfrmMain(app::Program& p) : Form("TfrmMain"), program(p) {
  SetCaption("Runtime & Process Manager");
  SetBounds({0, 0, 640, 480});
  const char* labels[][2] = {
      {"Label1", "NOTE: Some changes will not take effect until the Computer is restarted."},
      {"Label11", "Registry:"},
      {"Label12", "Startup Folder:"},
      {"Label4", "NOTE: Some Non-Microsoft Services may be Parts of SpyWare. To test a Service is a SpyWare or not, do the following steps:"},
      {"Label5", "1. Run Velmorix software."},
      {"Label17", "NOTE:"},
      {"Label18", "= Non-Microsoft Service"}};
  int y = 12;
  for (auto& l : labels) {
    Add(Kind::Label, l[0], this, l[1]).SetBounds({12, y, 600, 18});
    y += 22;
  }
  const char* buttons[][2] = {{"cmdServiceRestart", "Restart Service"},
                              {"cmdServiceStop", "Stop Service"},
                              {"cmdServiceStart", "Start Service"},
                              {"cmdServiceChangeStartupMode", "Startup mode"}};
  int x = 12;
  for (auto& b : buttons) {
    Add(Kind::OwnerButton, b[0], this, b[1]).SetBounds({x, 420, 130, 28});
    x += 136;
  }
  const char* more[][2] = {
      {"Label2", "NOTE: Some Keyboard Filter Drivers is Parts of Spyware. In Standard Windows OS, there is no Keyboard Filter Driver. You should remove all Keyboard Filter Drivers in your Computer!"},
      {"Label3", "NOTE: Some Drivers maybe Parts of SpyWare. You should disable all unknown Drivers in your Computer!"},
      {"Label8", "Keyboard Filter Driver:"},
      {"Label9", "System.ini:"},
      {"Label10", "Win.ini:"}};
  for (auto& l : more) {
    Add(Kind::Label, l[0], this, l[1]).SetBounds({12, y, 600, 18});
    y += 22;
  }
  auto& popup = Add(Kind::PopupMenu, "PopupMenu1");
  const char* items[][2] = {{"mnuInf", "&Detail Information"}, {"N1", "-"},
                            {"mnuDel", "&Remove from Startup List"}};
  for (auto& it : items) Add<ui::CheckBox>(Kind::MenuItem, it[0], &popup, it[1]);

  // Services tab.
  auto& services = Add<ui::ListView>(Kind::ListView, "ListView2", this);
  services.SetBounds({12, 200, 616, 210});
  services.gridLines = services.rowSelect = services.readOnly = services.sorted = true;
  services.SetColumns({{"Name", 130}, {"Path", 280}, {"Status", 60}, {"StartupType", 70}});
  Add(Kind::Image, "Image2", this).SetBounds({60, 12, 16, 16});
  auto& popup2 = Add(Kind::PopupMenu, "PopupMenu2");
  const char* modes[][2] = {
      {"mnuAutomatic", "&Automatic"}, {"mnuManual", "&Manual"}, {"mnuDisabled", "&Disabled"}};
  for (auto& it : modes) Add<ui::CheckBox>(Kind::MenuItem, it[0], &popup2, it[1]);

  startup::AttachServicesTab(*this);
}
