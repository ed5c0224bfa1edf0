#include "update/updater.h"

#include <new>

#include "app/all_windows.h"
#include "app/options.h"
#include "engine/threat_database.h"
#include "kvx_config.h"
#include "platform/local_time.h"
#include "update/ezcrypt.h"
#include "update/list_signature.h"

namespace update {
namespace {

constexpr const char* kAgent = "UtilMind HTTPGet";
// The highest list serial accepted on this machine, in the options key.
constexpr const char* kSerialValue = "UpdateSerial";

void Configure(THTTPGet& get, bool binary, bool wait) {
  get.AcceptTypes = "*/*";
  get.Agent = kAgent;
  get.BinaryData = binary;
  get.UseCache = false;
  get.WaitThread = wait;
}

}  // namespace

std::string ServerOption(app::Program& program, const char* value) {
  auto key = program.machine.Reg().Open(platform::Hive::CurrentUser, app::kOptionsKey,
                                        platform::keyaccess::kRead);
  if (!key) return {};
  return key->ReadString(value).value_or("");
}

std::string UpdateServer(app::Program& program) {
  if (program.updater && !program.updater->serverOverride.empty())
    return program.updater->serverOverride;
  std::string server = ServerOption(program, "UpdateServer");
  return server.empty() ? KVX_VENDOR_HOST : server;
}

Updater::Updater(app::Program& p, std::string key)
    : program(p),
      Get1(p.app.GetHost(), p.machine.Net(), p.machine.Files()),
      Get2(p.app.GetHost(), p.machine.Net(), p.machine.Files()),
      Get3(p.app.GetHost(), p.machine.Net(), p.machine.Files()),
      publicKey(std::move(key)) {
  Configure(Get1, true, true);
  Configure(Get2, false, false);
  Configure(Get3, false, true);
  Get2.MaxSize = kListCap;
  Get3.MaxSize = kSignatureCap;
  Get1.OnProgress = [this](std::uint64_t t, std::uint64_t r) { Get1Progress(t, r); };
  Get1.OnDoneFile = [this](const std::string& f, std::uint64_t s) { Get1DoneFile(f, s); };
  Get1.OnError = [this] { Get1Error(); };
  Get2.OnDoneFile = [this](const std::string& f, std::uint64_t s) { Get2DoneFile(f, s); };
  // No list: the update the user asked for is over.
  Get2.OnError = [this] {
    if (holding_) program.EndJob(app::Job::Update);
    holding_ = false;
  };
  auto& form = *program.form1;
  form.startUpdate = [this] { Button7Click(); };
  form.startupUpdateCheckRun = [this] { Timer3Timer(); };
}

std::string Updater::Url(const std::string& path) { return "http://" + UpdateServer(program) + path; }

bool Updater::AskYes(const std::string& text, const std::string& caption) {
  if (unattended) return true;
  auto& main = *program.form1;
  main.SetEnabled(false);
  const int answer = program.Box(text, caption, ui::Buttons::YesNo, ui::Icon::Question);
  main.SetEnabled(true);
  return answer == ui::kIdYes;
}

void Updater::Tell(const std::string& text, const std::string& caption, ui::Icon icon) {
  if (!unattended) program.Box(text, caption, ui::Buttons::Ok, icon);
}

void Updater::Shutdown() {
  Get1.Shutdown();
  Get2.Shutdown();
  Get3.Shutdown();
}

void Updater::StartListCheck() {
  failure.clear();
  Get2.URL = Url(kListPath);
  Get2.FileName = program.programFolder + "list.htm";
  Get2.GetFile();
}

void Updater::Button7Click() {
  // The update may replace the database a scan is reading: one job at a time.
  if (!program.BeginJob(app::Job::Update)) return;
  holding_ = true;
  const int previous = updateState;
  StartListCheck();
  const auto& msg = program.msg;
  if (previous == 1) {
    Tell(msg[63], msg[23], ui::Icon::Information);
  } else if (previous == 3) {
    Tell("Cannot upgrade, please check your internet connection.\r\r"
         "Tips:\r"
         "1. Check if some firewall is disable Klaruvex Pro internet connection.\r"
         "2. Open Microsoft Internet Explorer and Turn off option Work offline if it is active.\r"
         "3. Make sure that you have latest Microsoft Internet Explorer version.",
         "Connection error", ui::Icon::Error);
  }
}

void Updater::Timer3Timer() {
  // The start-up check waits for a job that runs.
  if (program.RunningJob() != app::Job::None) {
    program.form1->Timer3->SetEnabled(true);
    return;
  }
  const int previous = updateState;
  StartListCheck();
  if (previous == 2) program.form2->Timer1->SetEnabled(program.form2->c1->Checked());
}

bool Updater::SignatureVerifies(std::string_view bytes) {
  auto& fs = program.machine.Files();
  const std::string file = program.programFolder + "list.sig";
  Get3.URL = Url(kSignaturePath);
  Get3.FileName = file;
  Get3.GetFile();
  std::string text;
  const bool read =
      Get3.Succeeded() && platform::ReadWholeFile(fs, file, text, kSignatureCap) == platform::kOk;
  fs.DeleteFile(file);
  const auto signature = read ? ParseSignatureText(text) : std::nullopt;
  return signature && VerifySignature(publicKey, bytes, *signature);
}

std::string Updater::Accept(const UpdateList& list, std::string_view bytes) {
  if (!list.Usable()) return "the update list could not be read";
  if (publicKey.empty()) return {};
  if (!SignatureVerifies(bytes)) return "the update list is not signed";
  // A list signed long ago must not take this machine back to what it had.
  if (!list.serial) return "the update list carries no serial number";
  auto key = program.machine.Reg().Create(platform::Hive::CurrentUser, app::kOptionsKey,
                                          platform::keyaccess::kAllAccess);
  const std::uint32_t accepted = key ? key->ReadDword(kSerialValue).value_or(0) : 0;
  if (*list.serial < accepted) return "the update list is older than one used before";
  if (list.expires) {
    const platform::LocalTime now = platform::NowLocal();
    const auto today = std::uint32_t(now.year * 10000 + now.month * 100 + now.day);
    if (today > *list.expires) return "the update list has expired";
  }
  if (key && *list.serial > accepted) key->WriteDword(kSerialValue, *list.serial);
  return {};
}

bool Updater::Vouches(const std::string& serverPath, std::string_view bytes) const {
  const auto it = hashes_.find(serverPath);
  if (it == hashes_.end()) return publicKey.empty();
  return !it->second.empty() && Sha256Hex(bytes) == it->second;
}

void Updater::Get2DoneFile(const std::string& fileName, std::uint64_t size) {
  // A list that arrives while the one before waits for its signature is
  // left alone: that check is still running.
  if (Get3.Running()) return;
  auto& fs = program.machine.Files();
  // Every way out of the check removes the list.
  struct Remove {
    platform::FileSystem& fs;
    const std::string& path;
    ~Remove() { fs.DeleteFile(path); }
  } remove{fs, fileName};
  // A start-up check whose list arrives while a job runs is tried again later.
  if (!holding_ && !program.BeginJob(app::Job::Update, false)) {
    program.form1->Timer3->SetEnabled(true);
    return;
  }
  struct EndJob {
    Updater& u;
    ~EndJob() {
      u.program.EndJob(app::Job::Update);
      u.holding_ = false;
    }
  } endJob{*this};
  updateState = 3;
  std::string bytes;
  if (size == 0 || platform::ReadWholeFile(fs, fileName, bytes, kListCap) != platform::kOk)
    bytes.clear();

  const UpdateList list = ParseUpdateList(bytes);
  if (std::string refusal = Accept(list, bytes); !refusal.empty()) {
    outcome = UpdateOutcome::Failed;
    failure = std::move(refusal);
    return;
  }
  hashes_ = list.hashes;
  logUploadSwitch = list.UploadAllowed();
  programDigest = list.ProgramDigest();
  updateState = 1;
  const auto& msg = program.msg;

  bool outdated = false;
  if (list.version != kBuiltInVersion) {
    updateState = 2;
    if (neverUpgrade) announcedVersion = list.version;
    if (!neverUpgrade && AskYes(msg[100] + "\r" + msg[101] + kBuiltInVersion + "\r" + msg[102] + list.version,
               msg[23])) {
      StartProgramDownload(list.version);
      return;
    }
    outdated = true;
  }
  if (program.form1->DatabaseDateText() == list.date) {
    outcome = UpdateOutcome::UpToDate;
    return;
  }
  if (outdated) {
    auto& main = *program.form1;
    main.SetEnabled(false);
    Tell(msg[103], msg[23], ui::Icon::Error);
    main.SetEnabled(true);
    outcome = UpdateOutcome::Failed;
    failure = "the program is out of date";
    return;
  }
  updateState = 2;
  incrementalRun = false;
  if (!AskYes(msg[104] + "\r" + msg[105] + list.date, msg[23])) return;
  DownloadDatabase(list);
}

void Updater::StartGet1(const std::string& path, const std::string& file, std::uint64_t cap) {
  SetButtons(false);
  Get1.URL = Url(path);
  Get1.MaxSize = cap;
  Get1.FileName = program.programFolder + file;
  program.form1->Label2->SetCaption(program.msg[106]);
  Get1.GetFile();
}

void Updater::DownloadDatabase(const UpdateList& list) {
  if (!list.base.empty()) {
    const std::uint32_t L = UpdateNumber(program.form1->DatabaseDateText());
    const std::uint32_t S = UpdateNumber(list.date);
    const std::uint32_t B = DecimalOrZero(list.base);
    if (L != S && L && S && B && L >= B) {
      // Packages merge into a copy: the database in use changes only when
      // the whole chain has merged and been saved.
      pending_ = program.form1->database.Text();
      lastNumber = S;
      bool chained = true;
      if (S < L) outcome = UpdateOutcome::UpToDate;  // ours is the newer one
      for (std::uint32_t n = L + 1; n <= S && chained; ++n) {
        program.app.ProcessMessages();
        currentNumber = n;
        incrementalRun = true;
        package_ = Package::Failed;
        StartGet1(PackagePath(n), "Upd.dat", kPackageCap);
        chained = package_ == Package::Merged;
      }
      incrementalRun = false;
      pending_.clear();
      pending_.shrink_to_fit();
      program.machine.Files().DeleteFile(program.programFolder + "Upd.dat");
      // A package that failed, was ignored or did not merge ends the chain:
      // the complete database takes its place.
      if (chained || package_ == Package::Reported) return;
    }
  }
  StartGet1(kDatabasePath, "filess.dat", kDatabaseCap);
}

void Updater::Get1Progress(std::uint64_t total, std::uint64_t readed) {
  program.form1->SetStatus(program.msg[107] + std::to_string(readed) + "/" +
                           std::to_string(total) + program.msg[93]);
}

void Updater::Get1DoneFile(const std::string&, std::uint64_t size) {
  if (size < 100) {
    // Too short to be a database or package.
    if (!incrementalRun) {
      SetButtons(true);
      outcome = UpdateOutcome::Failed;
      failure = "the server sent no database";
    }
    return;
  }
  if (incrementalRun) {
    program.form1->SetStatus(program.msg[92] + std::to_string(currentNumber) + "/" +
                             std::to_string(lastNumber));
    if (!MergeDownloadedPackage()) return;
    if (currentNumber < lastNumber) return;
    if (platform::WriteFileReplacing(program.machine.Files(), program.programFolder + "files.dat",
                                     engine::PackDatabase(pending_, LanguageKey(), false)) !=
        platform::kOk) {
      package_ = Package::Reported;
      DownloadFailed();
      return;
    }
    program.form1->database.SetText(pending_);
  } else if (!TakeCompleteDatabase()) {
    DownloadFailed();
    return;
  }
  Finished(size);
}

bool Updater::MergeDownloadedPackage() {
  std::string package;
  if (platform::ReadWholeFile(program.machine.Files(), program.programFolder + "Upd.dat", package,
                              kPackageCap) != platform::kOk ||
      !Vouches(PackagePath(currentNumber), package))
    return false;
  DecipherInPlace(package, LanguageKey());
  // Past the database cap the chain has failed: the next start would refuse
  // the result.
  if (!MergePackage(pending_, package, kDatabaseCap)) return false;
  package_ = Package::Merged;
  return true;
}

bool Updater::TakeCompleteDatabase() {
  auto& fs = program.machine.Files();
  const std::string downloaded = program.programFolder + "filess.dat";
  std::string image, text;
  // Only a database that deciphers, decompresses and reads to its end line
  // may replace the one in use.
  bool sound = false;
  try {
    const bool read = platform::ReadWholeFile(fs, downloaded, image, kDatabaseCap) == platform::kOk;
    const bool vouched = read && Vouches(kDatabasePath, image);
    if (read && !vouched) failure = "the downloaded database does not match the update list";
    sound = vouched &&
            engine::UnpackDatabase(image, LanguageKey(), text) == engine::LoadResult::Ok &&
            EndsWithEndLine(text) &&
            fs.ReplaceFile(downloaded, program.programFolder + "files.dat") == platform::kOk;
  } catch (const std::bad_alloc&) {
    sound = false;  // decompresses to more than this machine holds
  }
  if (!sound) {
    fs.DeleteFile(downloaded);
    return false;
  }
  program.form1->database.SetText(std::move(text));
  return true;
}

void Updater::Finished(std::uint64_t size) {
  auto& form = *program.form1;
  const auto& msg = program.msg;
  const std::string date = form.DatabaseDateText();
  form.Label2->SetCaption(msg[90] + date);
  form.sb1->SetPanelText(2, msg[62] + date);
  form.SetEnabled(false);
  Tell(msg[91] + date, "Klaruvex Pro Info", ui::Icon::Information);
  form.SetEnabled(true);
  form.SetStatus(msg[92] + std::to_string(size) + msg[93]);
  SetButtons(true);
  outcome = UpdateOutcome::Updated;
}

void Updater::Get1Error() {
  // A failed package only ends the chain; the complete download follows.
  if (incrementalRun) return;
  DownloadFailed();
}

void Updater::DownloadFailed() {
  if (failure.empty()) failure = "the database could not be downloaded";
  auto& form = *program.form1;
  const auto& msg = program.msg;
  form.Label2->SetCaption(msg[94]);
  Tell(msg[95], msg[2], ui::Icon::Error);
  form.ShowDatabaseDate();
  SetButtons(true);
  outcome = UpdateOutcome::Failed;
}

void Updater::SetButtons(bool enabled) {
  program.form1->Find("Button4")->SetEnabled(enabled);
  program.form1->Find("Button7")->SetEnabled(enabled);
}

void Updater::StartProgramDownload(const std::string& version) {
  auto& upgrade = *program.form4;
  upgrade.Label1->SetCaption(program.msg[102] + version);
  upgrade.Get1.URL = Url(kProgramPath);
  upgrade.Get1.MaxSize = kProgramCap;
  upgrade.Get1.FileName = program.programFolder + app::kUpgradeCopyName;
  outcome = UpdateOutcome::Upgrading;
  upgrade.Get1.WaitThread = unattended;
  upgrade.Get1.GetFile();
  if (!unattended) upgrade.Show();
}

}  // namespace update
