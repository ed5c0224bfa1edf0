// The undo journal on the real Windows layer: the program, run as its own
// process from a folder of its own, fixes planted findings (files, a folder
// with its contents, a Run value that starts one of them) and puts them back
// with /undo; and a backup that cannot be written leaves every finding.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "engine/threat_database.h"
#include "platform/text.h"
#include "platform/win32/machine.h"
#include "update/ezcrypt.h"

namespace {

const std::string kRun = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

class Win32Undo : public ::testing::Test {
 protected:
  void SetUp() override {
    auto& fs = machine->Files();
    const std::string pid = std::to_string(machine->Procs().CurrentPid());
    dir_ = "C:\\kvxundo" + pid;
    prog_ = dir_ + "\\prog\\";
    value_ = "KvxUndoTest" + pid;
    for (const char* d : {"", "\\prog", "\\bad", "\\bad\\nest", "\\bad\\nest\\deeper"})
      ASSERT_EQ(fs.CreateDirectory(dir_ + d), platform::kOk) << d;
    // The program in a folder of its own: its backups are this test's alone.
    const std::string folder = platform::ExtractFilePath(machine->Sys().ModulePath());
    ASSERT_EQ(fs.CopyFile(folder + "klaruvex.exe", prog_ + "klaruvex.exe", false), platform::kOk);
    ASSERT_EQ(platform::WriteWholeFile(fs, prog_ + "RegBase.rgk", "1\r\n1\r\n" + kRun + "\r\nuser\r\n"),
              platform::kOk);
    for (const auto& [path, bytes] : Planted())
      ASSERT_EQ(platform::WriteWholeFile(fs, dir_ + path, bytes), platform::kOk) << path;
    auto run = machine->Reg().Create(platform::Hive::CurrentUser, kRun, platform::keyaccess::kAllAccess);
    ASSERT_TRUE(run);
    ASSERT_EQ(run->Set(value_, platform::ValueType::ExpandString, RunData()), platform::kOk);
    const std::string rules = "Undo test database\r\n[Start]\r\n[Worm]:" + dir_ +
                              "\\bad\\worm.exe\r\n[Note]:" + dir_ + "\\bad\\note.txt\r\n[Nest]:" +
                              dir_ + "\\bad\\nest\\\\\r\n_end\r\n";
    ASSERT_EQ(platform::WriteWholeFile(fs, dir_ + "\\test.dat",
                                       engine::PackDatabase(rules, update::LanguageKey())),
              platform::kOk);
  }
  void TearDown() override {
    auto& fs = machine->Files();
    if (auto run = machine->Reg().Open(platform::Hive::CurrentUser, kRun, platform::keyaccess::kAllAccess))
      run->DeleteValue(value_);
    RemoveTree(dir_);
    (void)fs;
  }

  // Everything below a folder, and the folder.
  void RemoveTree(const std::string& folder) {
    auto& fs = machine->Files();
    std::vector<std::string> names;
    platform::FindData d;
    if (auto find = fs.FindFirst(folder + "\\*", d)) {
      do {
        if (d.name != "." && d.name != "..") names.push_back(d.name);
      } while (find->Next(d));
    }
    for (const auto& n : names) {
      const std::string path = folder + "\\" + n;
      if (platform::DirectoryExists(fs, path)) {
        RemoveTree(path);
      } else {
        fs.SetAttributes(path, platform::fileattr::kNormal);
        fs.DeleteFile(path);
      }
    }
    fs.RemoveDirectory(folder);
  }

  std::vector<std::pair<std::string, std::string>> Planted() const {
    std::string big(300000, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 31 + 7);
    return {{"\\bad\\worm.exe", std::string("MZ\x90\0\x03 harmless planted sample", 30)},
            {"\\bad\\note.txt", "a note the sample left"},
            {"\\bad\\nest\\a.dll", "nested library"},
            {"\\bad\\nest\\deeper\\b.dat", big}};
  }
  std::string RunData() const {
    const std::string text = dir_ + "\\bad\\worm.exe -q";
    return std::string(text.c_str(), text.size() + 1);
  }

  int Run(const std::string& args, nlohmann::json& report) {
    const std::string file = dir_ + "\\report.json";
    machine->Files().DeleteFile(file);
    const int code = platform::win32::RunAndWait(prog_ + "klaruvex.exe",
                                                 args + " /report \"" + file + "\"", 120000);
    std::string bytes;
    EXPECT_EQ(platform::ReadWholeFile(machine->Files(), file, bytes), platform::kOk) << args;
    report = nlohmann::json::parse(bytes, nullptr, false);
    return code;
  }
  std::string Fix() { return "/fix /db \"" + dir_ + "\\test.dat\""; }

  void ExpectEverythingInPlace() {
    auto& fs = machine->Files();
    for (const auto& [path, bytes] : Planted()) {
      std::string now;
      EXPECT_EQ(platform::ReadWholeFile(fs, dir_ + path, now), platform::kOk) << path;
      EXPECT_TRUE(now == bytes) << path << " is not back byte for byte";
    }
    auto run = machine->Reg().Open(platform::Hive::CurrentUser, kRun, platform::keyaccess::kRead);
    ASSERT_TRUE(run);
    auto v = run->Query(value_);
    ASSERT_TRUE(v);
    EXPECT_EQ(v->type, platform::ValueType::ExpandString);
    EXPECT_EQ(v->data, RunData());
  }

  std::unique_ptr<platform::Machine> machine = platform::win32::CreateMachine();
  std::string dir_, prog_, value_;
};

TEST_F(Win32Undo, FixThenUndoPutsEverythingBackByteForByte) {
  auto& fs = machine->Files();
  nlohmann::json r;
  ASSERT_EQ(Run(Fix(), r), 1);
  EXPECT_EQ(r["fixed"], true) << r.dump(2);
  ASSERT_TRUE(r["backup"].is_string()) << r.dump(2);
  const std::string id = r["backup"];
  EXPECT_FALSE(platform::DirectoryExists(fs, dir_ + "\\bad\\nest"));
  EXPECT_FALSE(platform::FileExists(fs, dir_ + "\\bad\\worm.exe"));
  auto run = machine->Reg().Open(platform::Hive::CurrentUser, kRun, platform::keyaccess::kRead);
  ASSERT_TRUE(run);
  EXPECT_FALSE(run->Query(value_));
  // The technician's regedit file holds the removed value as it was.
  std::string reg;
  ASSERT_EQ(platform::ReadWholeFile(fs, prog_ + "Backups\\" + id + "\\Registry.reg", reg), platform::kOk);
  EXPECT_EQ(reg.rfind("REGEDIT4\r\n", 0), 0u);
  EXPECT_NE(reg.find("\"" + value_ + "\"=hex(2):"), std::string::npos) << reg;

  ASSERT_EQ(Run("/undo", r), 0) << r.dump(2);
  EXPECT_EQ(r["result"], "undone");
  EXPECT_EQ(r["backup"], id);
  EXPECT_EQ(r["undo"]["removed"], true);
  ExpectEverythingInPlace();
  EXPECT_FALSE(platform::DirectoryExists(fs, prog_ + "Backups\\" + id));

  ASSERT_EQ(Run("/undo", r), 2);
  EXPECT_EQ(r["result"], "nothing to undo");
  EXPECT_EQ(r["error"], "There is nothing to undo.");
}

TEST_F(Win32Undo, BackupThatCannotBeWrittenLeavesEveryFinding) {
  // A file where the backup folder should be (Wine runs everything as
  // administrator and ignores read-only folders).
  ASSERT_EQ(platform::WriteWholeFile(machine->Files(), prog_ + "Backups", "in the way"),
            platform::kOk);
  nlohmann::json r;
  ASSERT_EQ(Run(Fix(), r), 2) << r.dump(2);
  EXPECT_EQ(r["result"], "failed");
  EXPECT_EQ(r["fixed"], false);
  EXPECT_TRUE(r["backup"].is_null());
  ASSERT_EQ(r["findings"].size(), 6u) << r.dump(2);
  for (const auto& f : r["findings"])
    EXPECT_NE(f["error"].get<std::string>().find("could not be backed up"), std::string::npos) << f;
  ExpectEverythingInPlace();
}

}  // namespace
