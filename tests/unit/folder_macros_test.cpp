// Folder macros of rule paths.
#include <gtest/gtest.h>

#include "scanopt/folder_macros.h"
#include "tests/unit/sim_fixture.h"

namespace {

class FolderMacrosTest : public SimFixture {
 protected:
  std::string X(std::string_view text) { return scanopt::ExpandFolderMacros(machine, text); }
};

TEST_F(FolderMacrosTest, EveryMacroInItsFixedOrder) {
  namespace c = platform::csidl;
  machine.SimSys().SetUserName("Ann");
  machine.SimFiles().SetTempPath("C:\\TEMP\\");
  auto key = machine.Reg().Create(platform::Hive::LocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
                                  platform::keyaccess::kAllAccess);
  key->WriteString("CommonFilesDir", "C:\\Program Files\\Common Files");
  const std::string p = "C:\\Documents and Settings\\User", a = "C:\\Documents and Settings\\All Users";
  struct Case {
    const char* in;
    std::string out;
  } cases[] = {
      {"%%wt%%\\a.exe", "C:\\TEMP\\a.exe"},
      {"%%WinTemp%%\\a.exe", "C:\\TEMP\\a.exe"},
      {"%%pf%%|%%PersonalFolder%%|%%md%%|%%MyDocuments%%", p + "\\My Documents|" + p + "\\My Documents|" + p +
                                                             "\\My Documents|" + p + "\\My Documents"},
      {"%%user%%-%%User%%", "Ann-Ann"},
      {"%%ff%%|%%sf%%|%%stf%%|%%df%%", p + "\\Favorites|" + p + "\\Start Menu\\Programs\\Startup|" + p +
                                           "\\Start Menu|" + p + "\\Desktop"},
      // "%%csf%%" is the all-users Start Menu; the all-users Startup folder has only its long form.
      {"%%csf%%", a + "\\Start Menu"},
      {"%%CommonStartupFolder%%", a + "\\Start Menu\\Programs\\Startup"},
      {"%%cpf%%|%%cdf%%|%%caf%%", a + "\\Start Menu\\Programs|" + a + "\\Desktop|" + a + "\\Application Data"},
      {"%%af%%|%%tf%%|%%ckf%%|%%prf%%", p + "\\Application Data|" + p + "\\Templates|" + p + "\\Cookies|" + p},
      {"%%icf%%|%%hf%%", p + "\\Local Settings\\Temporary Internet Files|" + p + "\\Local Settings\\History"},
      {"%%cff%%\\x.dll", "C:\\Program Files\\Common Files\\x.dll"},
      {"%%root%%\\boot.ini %%rt%%", "C:\\boot.ini C:"},
      {"%%Wt%%\\a.exe %%WINTEMP%%", "%%Wt%%\\a.exe %%WINTEMP%%"},
      {"%%sf%%\\1 %%sf%%\\2", p + "\\Start Menu\\Programs\\Startup\\1 " + p + "\\Start Menu\\Programs\\Startup\\2"},
      {"c:\\plain\\path.exe", "c:\\plain\\path.exe"},
  };
  for (const auto& t : cases) EXPECT_EQ(X(t.in), t.out) << t.in;

  // A folder that cannot be found gives the empty text.
  key->DeleteValue("CommonFilesDir");
  machine.SimSh().SetSpecialFolder(c::kFavorites, "");
  EXPECT_EQ(X("%%cff%%\\x.dll"), "\\x.dll");
  EXPECT_EQ(X("%%FavoritesFolder%%\\f"), "\\f");
}

}  // namespace
