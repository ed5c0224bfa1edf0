#include "app/language_window.h"

#include "app/language.h"
#include "app/main_window.h"
#include "app/options.h"

using ui::Kind;

TFormL::TFormL(app::Program& p) : Form("TFormL"), program(p) {
  SetCaption("Select language");
  SetBounds({0, 0, 300, 280});
  stayOnTop = true;
  List1 = &Add<ui::ListBox>(Kind::ListBox, "List1", this);
  List1->SetBounds({12, 12, 276, 178});
  xpButton1 = &Add(Kind::OwnerButton, "xpButton1", this, "Apply");
  xpButton1->SetBounds({12, 200, 134, 28});
  xpButton1->SetEnabled(false);
  xpButton2 = &Add(Kind::OwnerButton, "xpButton2", this, "Default");
  xpButton2->SetBounds({154, 200, 134, 28});
  xpButton3 = &Add(Kind::OwnerButton, "xpButton3", this, "Save default language");
  xpButton3->SetBounds({12, 238, 276, 28});

  List1->OnClick = [this] { xpButton1->SetEnabled(List1->ItemIndex() >= 0); };
  OnShow = [this] { xpButton1->SetEnabled(List1->ItemIndex() >= 0); };
  xpButton1->OnClick = [this] { xpButton1Click(); };
  xpButton2->OnClick = [this] { xpButton2Click(); };
  xpButton3->OnClick = [this] { xpButton3Click(); };
}

void TFormL::xpButton1Click() {
  const int i = List1->ItemIndex();
  const std::string name = i >= 0 ? List1->Items()[i] : std::string();
  if (!name.empty()) {
    app::WriteLanguageOption(program.machine.Reg(), name);
    const std::string path = app::LanguageFolder(program) + name;
    const app::LanguageResult result = app::ApplyLanguageFile(program, path);
    if (result != app::LanguageResult::Applied) {
      program.Box(app::LanguageFailureText(result, path), program.app.title, ui::Buttons::Ok,
                  ui::Icon::Error);
      return;
    }
    // Texts the main window builds from the message table follow at once.
    program.form1->ShowTexts();
  }
  Close();
}

void TFormL::xpButton2Click() {
  if (app::WriteLanguageOption(program.machine.Reg(), "Default")) {
    // The built-in texts come back with a fresh start.
    program.machine.Sh().Execute("open", program.machine.Sys().ModulePath(), "", "",
                                 platform::kShowNormal);
    program.app.Terminate(1);
    return;
  }
  Close();
}

void TFormL::xpButton3Click() {
  auto path = program.app.GetHost().SaveFileDialog("Save default language", "Default.txt",
                                                   "Text files (*.txt)|*.txt|All files (*.*)|*.*");
  if (!path) return;
  // A failed write keeps an earlier file of that name whole.
  if (platform::WriteFileReplacing(program.machine.Files(), *path,
                                   app::LanguageTemplate(program)) != platform::kOk) {
    program.Box("Cannot write \"" + *path + "\".", program.app.title, ui::Buttons::Ok,
                ui::Icon::Error);
    return;
  }
  program.Box("Language saved!", program.app.title, ui::Buttons::Ok, ui::Icon::None);
}
