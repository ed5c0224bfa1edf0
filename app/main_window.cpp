#include "app/main_window.h"

#include "app/all_windows.h"
#include "app/options.h"
#include "app/winver.h"
#include "kvx_build_date.h"
#include "kvx_config.h"
#include "update/ezcrypt.h"
#include "platform/text.h"
#include "startup/services.h"

using ui::Kind;
using ui::Rect;

namespace {

// Entries of the message table that the main window shows as hints.
struct HintEntry {
  const char* control;
  int entry;
};
constexpr HintEntry kHints[] = {
    {"Button4", 74},     {"Button7", 76},     {"Button8", 77},     {"Button9", 78},
    {"Button10", 79},    {"Button17", 80},    {"Button18", 81},    {"Button1", 82},
    {"Button3", 83},     {"Button2", 84},     {"Button6", 85},     {"Button13", 85},
    {"Button16", 85},    {"Button19", 85},    {"xpButton8", 85},   {"Button11", 86},
    {"Button12", 87},    {"Button14", 88},    {"Button15", 89},    {"xpButton3", 96},
    {"xpButton1", 96},   {"xpButton4", 97},   {"xpButton2", 97},   {"xpButton6", 109},
    {"xpButton5", 110},  {"xpButton14", 114}, {"xpButton13", 114}, {"xpButton12", 115},
    {"xpButton11", 116}, {"xpButton9", 117},  {"xpButton10", 118}, {"xpButton15", 120},
    {"xpButton25", 127},
};

}  // namespace

TForm1::TForm1(app::Program& p) : Form("TForm1"), program(p) {
  SetCaption(app::kAppTitle);
  SetBounds({0, 0, 640, 500});
  Layout();
  Wire();
  WireStartupPage();
  OnCreate = [this] { FormCreate(); };
  OnShow = [this] { FormShow(); };
  OnResize = [this] { ShowTexts(); };
  startup::AttachServicesPage(*this);
}

void TForm1::Layout() {
  auto button = [&](const char* name, ui::Component* parent, const char* caption, Rect r) {
    auto& b = Add(Kind::OwnerButton, name, parent, caption);
    b.SetBounds(r);
    return &b;
  };
  auto label = [&](const char* name, ui::Component* parent, const char* caption, Rect r) {
    auto& l = Add(Kind::Label, name, parent, caption);
    l.SetBounds(r);
    return &l;
  };

  Note1 = &Add<ui::PageBook>(Kind::PageBook, "Note1");
  Note1->SetHint("4");
  Note1->SetBounds({0, 0, 640, 478});
  const char* titles[] = {"Default", "1", "2", "0", "About", "Service Manager"};
  ui::Component* page[6];
  for (int i = 0; i < 6; ++i) {
    page[i] = &Add(Kind::Page, std::string("Page") + char('0' + i), Note1, titles[i]);
    page[i]->SetBounds({0, 0, 640, 478});
  }

  // Page 0: welcome page with the command column.
  Add(Kind::Image, "Image1", page[0]).SetBounds({0, 0, 640, 64});
  const struct {
    const char* name;
    const char* caption;
  } column[] = {{"Button4", "Scan for viruses"}, {"Button7", "Update"},
                {"Button8", "Process Manager"},  {"Button9", "Startup files"},
                {"Button10", "Full report log"}, {"xpButton6", "Quarantine"},
                {"xpButton15", "Services Manager"}, {"xpButton3", "Report bug"},
                {"xpButton4", "Report virus"},   {"Button18", "About"},
                {"Button17", "Close"}};
  // Creation order differs from the on-screen order: the language files
  // address Close and About first.
  const char* order[] = {"Button17", "Button18", "Button4",   "Button7",   "Button8",   "Button9",
                         "Button10", "xpButton3", "xpButton4", "xpButton6", "xpButton15"};
  for (const char* name : order) {
    int row = 0;
    while (std::string(column[row].name) != name) ++row;
    button(name, page[0], column[row].caption, {12, 76 + row * 36, 160, 30});
  }
  // "Scan with Options" beside "Scan for viruses"; its caption is not
  // translated, so language files keep their lines.
  button("xpButtonOptions", page[0], "Scan with Options", {186, 76, 160, 30})->SetHint("-1");
  GroupBox1 = &Add(Kind::GroupBox, "GroupBox1", page[0], "Welcome");
  GroupBox1->SetBounds({186, 112, 442, 52});
  Label2 = label("Label2", GroupBox1, "", {12, 22, 420, 18});
  Label2->SetHint("-1");
  Memo1 = &Add<ui::Memo>(Kind::Memo, "Memo1", page[0]);
  Memo1->SetBounds({186, 172, 442, 296});
  Memo1->SetLines({"Klaruvex Pro v4 - SE", "",
                   "Scan for viruses checks every file, folder, running program and start-up "
                   "entry named in the threat database.",
                   "Fix removes what the scan found; Add to Quarantine keeps an enciphered copy "
                   "first, so a file can be restored.",
                   "", "Questions and answers", "",
                   "Q: The scan found nothing, is my computer clean?",
                   "A: It is clean of the threats the database knows. Update the database "
                   "regularly.",
                   "Q: A file cannot be deleted.",
                   "A: Close all programs, or restart in Safe Mode and scan again."});

  // Page 1: findings.
  label("Label1", page[1], "Worms && Viruses list:", {12, 8, 300, 18});
  List1 = &Add<ui::ListBox>(Kind::CheckListBox, "List1", page[1]);
  List1->SetBounds({12, 28, 616, 210});
  Memo2 = &Add<ui::Memo>(Kind::Memo, "Memo2", page[1]);
  Memo2->SetBounds({12, 246, 616, 162});
  // How far a running scan has come; status panel 0 shows the item.
  LabelProgress = label("LabelProgress", page[1], "", {12, 412, 616, 18});
  LabelProgress->SetHint("-1");
  button("Button1", page[1], "Quick scan", {12, 436, 110, 30});
  button("Button2", page[1], "Fix", {130, 436, 110, 30})->SetEnabled(false);
  button("Button3", page[1], "Abort", {248, 436, 110, 30})->SetEnabled(false);
  button("Button6", page[1], "Back", {518, 436, 110, 30});
  button("xpButton5", page[1], "Add to Quarantine", {366, 436, 144, 30})->SetEnabled(false);

  // Page 2: processes.
  label("Label3", page[2], "Active processes:", {12, 8, 300, 18});
  List2 = &Add<ui::ListView>(Kind::ListView, "List2", page[2]);
  List2->SetBounds({12, 28, 616, 370});
  List2->checkBoxes = true;
  List2->SetColumns({{"Active process", 590}});
  button("Button11", page[2], "End Task", {12, 436, 110, 30});
  button("Button12", page[2], "Refresh", {130, 436, 110, 30});
  button("Button13", page[2], "Back", {518, 436, 110, 30});
  cbx1 = &Add<ui::CheckBox>(Kind::OwnerCheckBox, "cbx1", page[2],
                            "Delete process from your hard drive!");
  cbx1->SetBounds({12, 406, 400, 22});

  // Page 3: start-up values.
  label("Label4", page[3], "Startup files:", {12, 8, 300, 18});
  List3 = &Add<ui::ListView>(Kind::ListView, "List3", page[3]);
  List3->SetBounds({12, 28, 616, 398});
  List3->checkBoxes = true;
  List3->SetColumns({{"Program Key", 200}, {"Program Value", 390}});
  button("Button14", page[3], "Delete values", {12, 436, 120, 30});
  button("Button15", page[3], "Refresh", {140, 436, 110, 30});
  button("Button16", page[3], "Back", {518, 436, 110, 30});
  button("xpButton14", page[3], "Details", {258, 436, 110, 30});

  // Page 4: about.
  const std::string host = KVX_VENDOR_HOST;
  const std::string domain = host.rfind("www.", 0) == 0 ? host.substr(4) : host;
  const std::string about[] = {"Developed by Brenvik Systems", "Build date: " KVX_BUILD_DATE,
                               "http://" + host, "Brenvik Systems", "support@" + domain};
  for (int i = 0; i < 5; ++i)
    label((std::string("Label") + char('5' + i)).c_str(), page[4], about[i].c_str(),
          {200, 90 + i * 26, 420, 20})
        ->SetHint("-1");
  Add(Kind::Image, "Image3", page[4]).SetBounds({12, 12, 170, 170});
  Add(Kind::Image, "Image4", page[4]).SetBounds({200, 12, 420, 64});
  button("Button19", page[4], "Back", {518, 436, 110, 30});
  button("xpButton1", page[4], "Report bug", {12, 436, 120, 30});
  button("xpButton2", page[4], "Report virus", {140, 436, 120, 30});
  button("xpButton25", page[4], "Select language", {268, 436, 140, 30});

  // Page 5: services.
  ListView2 = &Add<ui::ListView>(Kind::ListView, "ListView2", page[5]);
  ListView2->SetBounds({12, 12, 616, 414});
  ListView2->gridLines = ListView2->rowSelect = ListView2->readOnly = ListView2->sorted = true;
  ListView2->SetColumns({{"Name", 140}, {"Path", 270}, {"Status", 80}, {"StartupType", 100}});
  button("xpButton8", page[5], "Back", {518, 436, 110, 30});
  button("xpButton9", page[5], "Stop Service", {12, 436, 100, 30});
  button("xpButton10", page[5], "Start Service", {116, 436, 100, 30});
  button("xpButton11", page[5], "Restart Service", {220, 436, 110, 30});
  button("xpButton12", page[5], "Refresh", {334, 436, 80, 30});
  button("xpButton13", page[5], "Details", {418, 436, 90, 30});

  sb1 = &Add<ui::StatusBar>(Kind::StatusBar, "sb1");
  sb1->SetBounds({0, 478, 640, 20});
  sb1->SetPanels({{"", 210}, {"Klaruvex Pro - SE", 120}, {"", 310}});

  auto& menu = Add(Kind::MainMenu, "MainMenu1");
  const char* items[][2] = {{"mm1", "Fix current threats"},
                            {"mm2", "Add to Quarantine"},
                            {"mm3", "Report false positive"},
                            {"mm4", "Save scan report"}};
  for (auto& it : items) {
    auto& m = Add<ui::CheckBox>(Kind::MenuItem, it[0], &menu, it[1]);
    m.SetHint("-1");
    m.SetVisible(false);
  }

  Timer1 = &Add<ui::Timer>(Kind::Timer, "Timer1");
  Timer1->SetInterval(10);
  Timer1->SetEnabled(false);
  Timer3 = &Add<ui::Timer>(Kind::Timer, "Timer3");
  Timer3->SetInterval(2000);
  Timer3->SetEnabled(false);
}

void TForm1::Wire() {
  for (const auto& h : kHints) {
    int entry = h.entry;
    Find(h.control)->OnMouseMove = [this, entry] { SetStatus(program.msg[entry]); };
  }
  auto on = [this](const char* name, std::function<void()> fn) { Find(name)->OnClick = std::move(fn); };
  for (const char* back : {"Button6", "Button13", "Button16", "Button19", "xpButton8"})
    on(back, [this] { ShowPage(0); });
  on("Button1", [this] { Button1Click(); });
  on("Button2", [this] { Button2Click(); });
  on("Button3", [this] { Button3Click(); });
  on("Button4", [this] { Button4Click(); });
  on("Button7", [this] { Button7Click(); });
  on("Button8", [this] { Button8Click(); });
  on("Button11", [this] { Button11Click(); });
  on("Button12", [this] { Button12Click(); });
  // Entering the page book brings the process list and the start-up value
  // list up to date.
  Note1->OnEnter = [this] {
    Button12Click();
    Button15Click();
  };
  on("Button9", [this] { ShowPage(3); });
  on("Button10", [this] { Button10Click(); });
  on("Button17", [this] { Close(); });
  on("Button18", [this] { ShowPage(4); });
  on("xpButton5", [this] { xpButton5Click(); });
  on("xpButton6", [this] { ShowQuarantineManager(); });
  on("xpButton11", [this] { xpButton11Click(); });
  on("xpButton13", [this] { ShowProcessManager(); });
  on("xpButton14", [this] { ShowProcessManager(); });
  on("xpButton15", [this] { xpButton15Click(); });
  on("xpButton25", [this] { program.formL->Show(); });
  on("xpButtonOptions", [this] { ShowScanOptions(); });
  for (const char* bug : {"xpButton1", "xpButton3"}) on(bug, [this] { OpenVendorPage("/reportbug.php"); });
  for (const char* virus : {"xpButton2", "xpButton4"})
    on(virus, [this] { OpenVendorPage("/reportvirus.php"); });
  on("mm1", [this] { Button2Click(); });
  on("mm2", [this] { xpButton5Click(); });

  // "Add to Quarantine" follows "Fix".
  Find("Button2")->OnEnabledChange = [this] {
    Find("xpButton5")->SetEnabled(Find("Button2")->Enabled());
  };
  Timer1->OnTimer = [this] { cleanTimer += 0.01L; };
  Timer3->OnTimer = [this] {
    Timer3->SetEnabled(false);  // once per showing
    if (startupUpdateCheckRun) startupUpdateCheckRun();
  };
}

bool TForm1::Ask(int entry) {
  return program.Box(program.msg[entry], program.msg[28], ui::Buttons::YesNo, ui::Icon::Question) ==
         ui::kIdYes;
}

void TForm1::Button1Click() {
  // One scan, fix, log or update at a time: another would pull the findings
  // from under the one running.
  if (program.Busy()) return;
  const std::string text =
      program.msg[59] + "\r\r" + program.msg[134] + "\r" + program.msg[135];
  if (program.Box(text, program.msg[28], ui::Buttons::YesNo, ui::Icon::Question) != ui::kIdYes)
    return;
  if (startQuickScan) startQuickScan();
}

void TForm1::Button2Click() {
  if (!program.Busy() && Ask(60) && startFix) startFix();
}

void TForm1::xpButton5Click() {
  if (!program.Busy() && Ask(108) && startAddToQuarantine) startAddToQuarantine();
}

void TForm1::Button3Click() { abortRequest = true; }

void TForm1::Button4Click() {
  ShowPage(1);
  Button1Click();
}

void TForm1::Button7Click() {
  if (startUpdate) startUpdate();
}

void TForm1::Button8Click() {
  Button12Click();
  ShowPage(2);
}

void TForm1::Button10Click() { program.formR->Show(); }

void TForm1::xpButton11Click() { startup::xpButton11Click(*this); }

void TForm1::xpButton15Click() { startup::xpButton15Click(*this); }

void TForm1::OpenVendorPage(const char* page) {
  program.machine.Sh().Execute("open", std::string("http://") + KVX_VENDOR_HOST + page, "", "",
                               platform::kShowNormal);
}

void TForm1::ShowQuarantineManager() { program.form9->Show(); }
void TForm1::ShowProcessManager() { program.frmMain->Show(); }
void TForm1::ShowIgnoreList() { program.formIG->Show(); }
void TForm1::ShowScanOptions() { program.optscan->Show(); }
void TForm1::ShowMainWindow() { Show(); }

void TForm1::FormCreate() {
  auto& m = program.machine;
  // Only the system's name counts: a build number such as 22000 is no reason to refuse.
  const std::string name =
      platform::LowerCase(app::WindowsVersionName(app::WindowsVersionText(m.Sys(), m.Reg())));
  for (const char* old : {"95", "98", "millennium", "2000"}) {
    if (name.find(old) != std::string::npos) {
      program.Box(program.msg[61], "Klaruvex Pro", ui::Buttons::Ok, ui::Icon::Error);
      program.app.Terminate(1);
      return;
    }
  }
  LoadDatabase();
  ShowDatabaseDate();
}

void TForm1::LoadDatabase() {
  const std::string path = program.programFolder + "files.dat";
  const std::string problem =
      engine::LoadProblem(database.Load(program.machine.Files(), path, update::LanguageKey()));
  if (problem.empty()) return;
  // A failed load keeps the text loaded before, if there was one.
  program.Box("The threat database \"" + path + "\" " + problem +
                  (database.Loaded() ? " The database loaded before stays in use."
                                     : " Scans find nothing until the database is updated."),
              "Klaruvex Pro", ui::Buttons::Ok, ui::Icon::Warning);
}

void TForm1::FormShow() {
  abortRequest = true;
  ShowTexts();
  if (startupUpdateCheck) Timer3->SetEnabled(true);
}

std::string TForm1::DatabaseDateText() { return database.Date(program.msg[2]); }

void TForm1::ShowTexts() {
  ShowDatabaseDate();
  GroupBox1->SetCaption(program.msg[178]);
}

void TForm1::ShowDatabaseDate() {
  std::string text = program.msg[62] + DatabaseDateText();
  sb1->SetPanelText(2, text);
  Label2->SetCaption(text);
}


TForm2::TForm2(app::Program& p) : Form("TForm2"), program(p) {
  SetCaption("Select your action");
  SetBounds({0, 0, 366, 250});
  Add(Kind::Label, "Label1", this, "Welcome, Klaruvex Pro").SetBounds({16, 12, 330, 20});
  auto& group = Add(Kind::GroupBox, "GroupBox1", this, "Please Select your action:");
  group.SetBounds({16, 40, 330, 96});
  Add(Kind::OwnerButton, "Button1", &group, "Scan for viruses").SetBounds({16, 24, 298, 28});
  Add(Kind::OwnerButton, "Button3", &group, "Full report log").SetBounds({16, 58, 298, 28});
  Add(Kind::OwnerButton, "Button2", this, "Close action window").SetBounds({16, 176, 330, 28});
  c1 = &Add<ui::CheckBox>(Kind::OwnerCheckBox, "c1", this, "Show this dialog next time on startup.");
  c1->SetBounds({16, 146, 330, 22});
  c1->SetChecked(true);
  Timer1 = &Add<ui::Timer>(Kind::Timer, "Timer1");
  Timer1->SetInterval(1000);
  Timer1->SetEnabled(false);

  Find("Button1")->OnClick = [this] {
    Close();
    program.form1->Button4Click();
  };
  Find("Button3")->OnClick = [this] {
    program.form1->Button10Click();
    Close();
  };
  Find("Button2")->OnClick = [this] { Close(); };
  Timer1->OnTimer = [this] {
    Timer1->SetEnabled(false);
    Show();
  };
  OnCreate = [this] {
    // A missing key leaves the layout's state; a missing value means "show".
    if (auto show = app::ReadActionDialogOption(program.machine.Reg())) c1->SetChecked(*show);
  };
  OnShow = [this] { program.form1->SetEnabled(false); };
  OnClose = [this] {
    program.form1->SetEnabled(true);
    app::WriteActionDialogOption(program.machine.Reg(), c1->Checked());
  };
}
