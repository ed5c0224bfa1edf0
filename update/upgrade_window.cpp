#include "update/upgrade_window.h"

#include <thread>

#include "app/all_windows.h"
#include "update/updater.h"

using ui::Kind;

TForm4::TForm4(app::Program& p)
    : Form("TForm4"), program(p), Get1(p.app.GetHost(), p.machine.Net(), p.machine.Files()) {
  SetCaption("Upgrading...");
  SetBounds({0, 0, 400, 170});
  Label1 = &Add(Kind::Label, "Label1", this, "New Version: 0.0.0");
  Label1->SetBounds({12, 12, 370, 18});
  Label2 = &Add(Kind::Label, "Label2", this, "Transfer");
  Label2->SetBounds({12, 40, 370, 18});
  pb1 = &Add<ui::ProgressBar>(Kind::ProgressBar, "pb1", this);
  pb1->SetBounds({12, 66, 370, 18});
  Add(Kind::OwnerButton, "xpButton1", this, "Cancel").SetBounds({282, 100, 100, 28});
  Find("xpButton1")->OnClick = [this] { xpButton1Click(); };

  Get1.AcceptTypes = "*/*";
  Get1.Agent = "UtilMind HTTPGet";
  Get1.OnProgress = [this](std::uint64_t t, std::uint64_t r) { Get1Progress(t, r); };
  Get1.OnDoneFile = [this](const std::string& f, std::uint64_t s) { Get1DoneFile(f, s); };
  // The worker of a cancelled download may still have held the file when
  // the cancel deleted it.
  Get1.OnError = [this] {
    if (cancelled_) DeleteCopy();
  };

  OnShow = [this] {
    cancelled_ = false;
    program.form1->SetEnabled(false);
  };
  OnCloseQuery = [this] {
    if (!AskAbort()) return false;
    program.form1->SetEnabled(true);
    cancelled_ = true;
    Get1.Abort();
    DeleteCopy();
    return true;
  };
  // The start-up update check exists from here on.
  program.form1->startupUpdateCheck = true;
}

bool TForm4::AskAbort() {
  return program.Box(program.msg[151], program.msg[28], ui::Buttons::YesNo, ui::Icon::Question) ==
         ui::kIdYes;
}

void TForm4::DeleteCopy() {
  program.machine.Files().DeleteFile(program.programFolder + app::kUpgradeCopyName);
}

void TForm4::xpButton1Click() {
  if (!AskAbort()) return;
  cancelled_ = true;
  Get1.Abort();
  DeleteCopy();
  Close();
}

void TForm4::Get1Progress(std::uint64_t total, std::uint64_t readed) {
  pb1->SetPosition(update::ProgressPosition(total, readed));
  Label2->SetCaption(program.msg[107] + std::to_string(readed) + "/" + std::to_string(total) +
                     program.msg[93]);
}

void TForm4::UpgradeFailed(const std::string& text) {
  DeleteCopy();
  Label2->SetCaption(program.msg[94]);
  program.updater->outcome = update::UpdateOutcome::Failed;
  program.updater->Tell(text, program.msg[2], ui::Icon::Error);
}

void TForm4::Get1DoneFile(const std::string& fileName, std::uint64_t size) {
  if (size == 0) return;
  auto& updater = *program.updater;
  std::string bytes;
  const bool read = platform::ReadWholeFile(program.machine.Files(), fileName, bytes,
                                            update::kProgramCap) == platform::kOk;
  // Never start a program that is not the one the list announced.
  if (!read || !updater.Vouches(update::kProgramPath, bytes) ||
      (!updater.programDigest.empty() && update::Sha256Hex(bytes) != updater.programDigest)) {
    updater.failure = "the downloaded program does not match the update list";
    UpgradeFailed("The downloaded program does not match the update list and has been "
                  "deleted. Please try the update again later.");
    return;
  }
  Label2->SetCaption(program.msg[148]);
  if (updater.unattended && updater.handOverLater) {
    // The run does what it was asked first and starts the copy at its end.
    updater.outcome = update::UpdateOutcome::UpgradeReady;
    return;
  }
  // The box comes first: the copy waits only so long for this program to end.
  updater.Tell(program.msg[149], program.msg[150], ui::Icon::Information);
  StartCopy(updater.unattended);
}

bool TForm4::StartCopy(bool unattended) {
  const std::string copy = program.programFolder + app::kUpgradeCopyName;
  if (program.machine.Sh().Execute("open", copy, unattended ? app::kHandOverSwitch : "", "",
                                   platform::kShowNormal) != platform::kOk) {
    // Nothing was upgraded: this program stays and says so.
    program.updater->failure = "the new program could not be started";
    UpgradeFailed("The new program could not be started, nothing was upgraded. Please try the "
                  "update again later.");
    return false;
  }
  program.app.Terminate(1);
  return true;
}

namespace update {

int ProgressPosition(std::uint64_t total, std::uint64_t readed) {
  const std::uint64_t step = total / 100;
  std::uint64_t position;
  if (step == 0) {
    // Below 100 bytes: in proportion.
    position = total ? readed * 100 / total : 0;
  } else if (readed == step) {
    position = 1;
  } else if (readed < step) {
    position = 0;
  } else {
    // How often the step is added to a first step until the sum reaches readed.
    position = (readed - step + step - 1) / step;
  }
  return static_cast<int>(std::min<std::uint64_t>(position, 1u << 30));
}

int RunUpgradeCopy(app::Program& program, CopyRetry retry, const std::string& params) {
  auto& fs = program.machine.Files();
  const std::string self = program.machine.Sys().ModulePath();
  const std::string target = program.programFolder + "klaruvex.exe";
  std::string bytes;
  bool read = false;
  for (int attempt = 0; attempt < retry.attempts; ++attempt) {
    if (attempt) std::this_thread::sleep_for(retry.pause);
    if (!read) read = platform::ReadWholeFile(fs, self, bytes) == platform::kOk;
    if (read && platform::WriteFileReplacing(fs, target, bytes) == platform::kOk) {
      if (program.machine.Sh().Execute("open", target, params, "", platform::kShowNormal) ==
          platform::kOk)
        return 0;
      program.Box("Klaruvex Pro has been upgraded but could not be started: start \"" + target +
                      "\" again.",
                  "Klaruvex Pro", ui::Buttons::Ok, ui::Icon::Error);
      return 1;
    }
  }
  program.Box("Klaruvex Pro could not be upgraded: \"" + target +
                  "\" stays in use or cannot be written.\r\rClose every running Klaruvex Pro "
                  "and start \"" + self + "\" again.",
              "Klaruvex Pro", ui::Buttons::Ok, ui::Icon::Error);
  return 1;
}

}  // namespace update
