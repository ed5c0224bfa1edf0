#include "update/log_upload.h"

#include <algorithm>
#include <chrono>
#include <random>

#include "app/all_windows.h"
#include "kvx_config.h"
#include "platform/text.h"

namespace update {
namespace {

void Failed(app::Program& program, int text, int status) {
  program.Box(program.msg[text], program.msg[2], ui::Buttons::Ok, ui::Icon::Error);
  program.form1->SetStatus(program.msg[status]);
}

// The number in the remote name: the clock seeds the generator and three
// draws are passed over first.
unsigned RemoteNumber() {
  std::minstd_rand random(static_cast<unsigned>(
      std::chrono::steady_clock::now().time_since_epoch().count() ^
      std::chrono::system_clock::now().time_since_epoch().count()));
  std::uniform_int_distribution<unsigned> below10000(0, 9999);
  for (int i = 0; i < 3; ++i) below10000(random);
  return below10000(random);
}

}  // namespace

std::string UploadServer(app::Program& program) {
  std::string server = ServerOption(program, "UploadServer");
  return server.empty() ? KVX_UPLOAD_HOST : server;
}

std::vector<std::string> SendLogLines(const LogLines& lines) {
  std::vector<std::pair<std::string, std::string>> keyed;
  for (const auto* list : {&lines.inventory, &lines.summary})
    for (const auto& line : *list) keyed.emplace_back(platform::LowerCase(line), line);
  std::stable_sort(keyed.begin(), keyed.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  keyed.erase(std::unique(keyed.begin(), keyed.end(),
                          [](const auto& a, const auto& b) { return a.first == b.first; }),
              keyed.end());
  std::vector<std::string> out;
  out.reserve(keyed.size());
  for (auto& k : keyed) out.push_back(std::move(k.second));
  return out;
}

void OfferLogUpload(app::Program& program, bool afterFix) {
  if (!program.updater || !program.updater->logUploadSwitch) return;
  if (program.Box(program.msg[afterFix ? 45 : 27], program.msg[28], ui::Buttons::YesNo,
                  ui::Icon::Question) == ui::kIdYes)
    UploadLog(program);
}

void UploadLog(app::Program& program) {
  auto& updater = *program.updater;
  if (!updater.logUploadSwitch) return;
  auto& m = program.machine;
  auto& form = *program.form1;
  const std::string path = program.programFolder + "SendLog.txt";

  std::string text;
  for (const auto& line : SendLogLines(updater.logLines ? updater.logLines() : LogLines{}))
    text += line + "\r\n";
  // The copy on disk is what the user can look at; an empty log is nothing to send.
  if (text.empty() || platform::WriteFileReplacing(m.Files(), path, text) != platform::kOk) {
    Failed(program, 1, 3);
    return;
  }

  platform::FtpServer server;
  server.port = 21;
  if (!platform::SplitHostPort(UploadServer(program), server.host, server.port)) {
    Failed(program, 125, 126);
    return;
  }
  server.userName = KVX_UPLOAD_USER;
  server.password = KVX_UPLOAD_PASSWORD;
  form.SetStatus(program.msg[0]);
  platform::Status error = platform::kOk;
  auto session = m.Net().FtpLogin(server, &error);
  if (!session) {
    Failed(program, 125, 126);
    return;
  }
  form.SetStatus(program.msg[0]);
  const std::string remote = m.Sys().UserName() + std::to_string(RemoteNumber()) + ".txt";
  if (session->Allocate(text.size()) != platform::kOk ||
      session->Store(remote, text) != platform::kOk) {
    Failed(program, 1, 3);
    return;
  }
  updater.logUploadSwitch = false;  // no further offer in this run
  program.Box(program.msg[123], program.msg[23], ui::Buttons::Ok, ui::Icon::Information);
  form.SetStatus(program.msg[124]);
}

}  // namespace update
