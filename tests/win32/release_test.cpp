// What Windows and its users see of the two programs the release ships:
// version, icon and manifest.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "kvx_config.h"
#include "platform/text.h"
#include "platform/win32/machine.h"

namespace {

struct Program {
  const char* file;
  const char* description;
  const char* executionLevel;
};
const Program kPrograms[] = {
    {"klaruvex.exe", "Klaruvex Pro v4 - SE", "level=\"highestAvailable\""},
    {"klaruvexc.exe", "Klaruvex Pro v4 - SE (command line)", "level=\"asInvoker\""},
};

std::string Beside(const char* file) {
  auto m = platform::win32::CreateMachine();
  return platform::ExtractFilePath(m->Sys().ModulePath()) + file;
}

TEST(WinRelease, VersionResourceMatchesTheProgramsVersion) {
  auto m = platform::win32::CreateMachine();
  for (const auto& p : kPrograms) {
    const std::string path = Beside(p.file);
    const auto strings = m->Svc().FileVersionStrings(path);
    ASSERT_TRUE(strings) << path;
    const std::map<std::string, std::string> want = {
        {"CompanyName", "Brenvik Systems"}, {"FileDescription", p.description},
        {"FileVersion", "4.0.0.0"},         {"InternalName", p.file},
        {"OriginalFilename", p.file},       {"ProductName", "Klaruvex Pro"},
        {"ProductVersion", "4.0"}};
    EXPECT_EQ(strings->values, want) << p.file;
    EXPECT_EQ(std::string(KVX_VERSION), "4.0");

    // The numbers Explorer shows: VS_FIXEDFILEINFO after its signature.
    const auto version = platform::win32::ProgramResource(path, 16, 1);
    ASSERT_TRUE(version) << p.file;
    const std::uint32_t signature = 0xFEEF04BD;
    const auto at = version->find(std::string(reinterpret_cast<const char*>(&signature), 4));
    ASSERT_NE(at, std::string::npos) << p.file;
    ASSERT_GE(version->size(), at + 24);
    std::uint32_t fields[6];
    std::memcpy(fields, version->data() + at, sizeof fields);
    EXPECT_EQ(fields[2], 0x00040000u) << p.file;  // file version 4.0
    EXPECT_EQ(fields[3], 0u) << p.file;           //   .0.0
    EXPECT_EQ(fields[4], 0x00040000u) << p.file;  // product version 4.0
    EXPECT_EQ(fields[5], 0u) << p.file;
  }
}

TEST(WinRelease, IconAndManifest) {
  auto m = platform::win32::CreateMachine();
  for (const auto& p : kPrograms) {
    const std::string path = Beside(p.file);
    EXPECT_TRUE(m->Sh().HasIcon(path)) << p.file;
    const auto manifest = platform::win32::ProgramResource(path, 24, 1);
    ASSERT_TRUE(manifest) << p.file;
    EXPECT_NE(manifest->find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""),
              std::string::npos)
        << p.file;
    EXPECT_NE(manifest->find(p.executionLevel), std::string::npos) << p.file;
    EXPECT_NE(manifest->find("<description>" + std::string(p.description) + "</description>"),
              std::string::npos)
        << p.file;
  }
}

}  // namespace
