// The log upload against a real FTP server (pyftpdlib) on the loopback interface.
#include <gtest/gtest.h>

#include <regex>

#include "app/options.h"
#include "kvx_config.h"
#include "tests/unit/loopback_servers.h"
#include "tests/unit/program_fixture.h"
#include "update/log_upload.h"
#include "update/updater.h"

namespace {

class LogUploadTest : public ProgramFixture {
 protected:
  void StartServer(const std::string& password) {
    char tmpl[] = "/tmp/kvx-ftp-XXXXXX";
    ftpRoot = mkdtemp(tmpl);
    server = std::make_unique<LoopbackServer>(
        "ftp_server.py", std::vector<std::string>{"--home", (ftpRoot / "home").string(), "--user",
                                                  KVX_UPLOAD_USER, "--password=" + password});
    auto key = machine.Reg().Create(platform::Hive::CurrentUser, app::kOptionsKey,
                                    platform::keyaccess::kAllAccess);
    key->WriteString("UploadServer", server->Address());
  }
  ~LogUploadTest() override {
    server.reset();
    if (!ftpRoot.empty()) std::filesystem::remove_all(ftpRoot);
  }
  std::vector<std::string> Stored() {
    std::vector<std::string> names;
    for (auto& e : std::filesystem::directory_iterator(ftpRoot / "home"))
      names.push_back(e.path().filename().string());
    return names;
  }
  std::vector<std::string> Commands() {
    std::ifstream in(ftpRoot / "_commands.log");
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  std::unique_ptr<app::Program> StartWithSwitch(bool on) {
    auto p = StartProgram();
    p->updater->logUploadSwitch = on;
    p->updater->logLines = [] {
      return update::LogLines{{"c:\\windows\\explorer.exe|md5a|100", "C:\\b.exe|md5b|20"},
                              {"Infected: c:\\bad.exe", "c:\\WINDOWS\\explorer.exe|md5a|100"}};
    };
    return p;
  }

  std::filesystem::path ftpRoot;
  std::unique_ptr<LoopbackServer> server;
};

TEST_F(LogUploadTest, StoresTheLogUnderUserNameAndNumberOnce) {
  StartServer(KVX_UPLOAD_PASSWORD);
  machine.SimSys().SetUserName("Anna");
  auto p = StartWithSwitch(true);
  host.Answer(ui::kIdYes, p->msg[45], p->msg[28]);
  host.Answer(ui::kIdOk, p->msg[123], p->msg[23]);
  update::OfferLogUpload(*p, true);
  EXPECT_EQ(host.PendingAnswers(), 0u);

  const std::string expected =
      "C:\\b.exe|md5b|20\r\nc:\\windows\\explorer.exe|md5a|100\r\nInfected: c:\\bad.exe\r\n";
  std::string local;
  platform::ReadWholeFile(machine.Files(), std::string(kFolder) + "SendLog.txt", local);
  EXPECT_EQ(local, expected);
  auto stored = Stored();
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_TRUE(std::regex_match(stored[0], std::regex("Anna[0-9]{1,4}\\.txt"))) << stored[0];
  EXPECT_EQ(ReadHostFile(ftpRoot / "home" / stored[0]), expected);
  auto commands = Commands();
  auto allo = std::find(commands.begin(), commands.end(), "ALLO " + std::to_string(expected.size()));
  auto stor = std::find(commands.begin(), commands.end(), "STOR " + stored[0]);
  ASSERT_NE(allo, commands.end());
  ASSERT_NE(stor, commands.end());
  EXPECT_LT(allo, stor);
  EXPECT_NE(std::find(commands.begin(), commands.end(), std::string("USER ") + KVX_UPLOAD_USER),
            commands.end());
  EXPECT_EQ(p->form1->sb1->PanelText(0), p->msg[124]);
  EXPECT_FALSE(p->updater->logUploadSwitch);

  // No second offer in this run.
  update::OfferLogUpload(*p, true);
  EXPECT_EQ(host.Boxes().size(), 2u);
}

TEST_F(LogUploadTest, ARefusedLoginStoresNothingAndSaysSo) {
  StartServer(std::string("not-") + KVX_UPLOAD_PASSWORD);
  auto p = StartWithSwitch(true);
  host.Answer(ui::kIdYes, p->msg[27], p->msg[28]);
  host.Answer(ui::kIdOk, p->msg[125], p->msg[2]);
  update::OfferLogUpload(*p, false);
  EXPECT_EQ(host.PendingAnswers(), 0u);
  EXPECT_EQ(host.Boxes().back().spec.icon, ui::Icon::Error);
  EXPECT_TRUE(Stored().empty());
  EXPECT_EQ(p->form1->sb1->PanelText(0), p->msg[126]);
  EXPECT_TRUE(p->updater->logUploadSwitch);
}

TEST_F(LogUploadTest, SwitchOffAsksNothingAndAnUnwritableLogIsReported) {
  StartServer(KVX_UPLOAD_PASSWORD);
  auto p = StartWithSwitch(false);
  update::OfferLogUpload(*p, false);
  EXPECT_TRUE(host.Boxes().empty());

  p->updater->logUploadSwitch = true;
  machine.SimFiles().FailWrites(kFolder);
  host.Answer(ui::kIdOk, p->msg[1], p->msg[2]);
  update::UploadLog(*p);
  EXPECT_EQ(host.PendingAnswers(), 0u);
  EXPECT_EQ(p->form1->sb1->PanelText(0), p->msg[3]);
  EXPECT_TRUE(Stored().empty());

  // An empty log is reported the same way, not passed over in silence.
  machine.SimFiles().ClearWriteFailures();
  p->updater->logLines = [] { return update::LogLines{}; };
  host.Answer(ui::kIdOk, p->msg[1], p->msg[2]);
  update::UploadLog(*p);
  EXPECT_EQ(host.PendingAnswers(), 0u);
  EXPECT_TRUE(Stored().empty());
}

TEST(LogLines, SortedWithoutDuplicatesIgnoringCase) {
  update::LogLines lines{{"b", "A", "c"}, {"a", "B2", "0"}};
  EXPECT_EQ(update::SendLogLines(lines), (std::vector<std::string>{"0", "A", "b", "B2", "c"}));
}

}  // namespace
