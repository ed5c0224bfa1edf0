// kvx_make_installation VOLUME PLAN [--user NAME] [--profiles FOLDER] [--windows FOLDER]:
// writes a small Windows installation (hives made from the format, see
// installation.h) into the folder VOLUME and plants what the plan lists.
// The same plan can be planted into a Wine prefix, so the rescue from Linux
// and the Windows program see the same samples.
//
// Plan lines, fields separated by tabs ("#" starts a comment line):
//   file     PATH  TEXT                      a file below C:\ with that text
//   value    ROOT  KEY  NAME  TYPE  DATA     ROOT HKLM, HKCU or HKCR; TYPE
//                                            REG_SZ, REG_EXPAND_SZ or REG_DWORD;
//                                            "{profile}" in DATA is the profile folder
//   startup  NAME  TARGET                    a shortcut in the user's Startup folder
//   service  KEY   IMAGEPATH                 a Win32 service started on demand
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/offline/code_page.h"
#include "platform/offline/shell_link.h"
#include "tools/hivemake/installation.h"

namespace {

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> out;
  std::stringstream s(line);
  std::string f;
  while (std::getline(s, f, '\t')) out.push_back(f);
  return out;
}

bool Prefix(const std::string& s, const std::string& p) {
  return s.size() >= p.size() && std::equal(p.begin(), p.end(), s.begin(), [](char a, char b) {
           return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
         });
}

int Fail(const std::string& what) {
  std::cerr << "kvx_make_installation: " << what << "\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::cerr << "usage: kvx_make_installation VOLUME PLAN [--user NAME] [--profiles FOLDER] "
                 "[--windows FOLDER]\n";
    return 2;
  }
  hivemake::InstallationSpec spec;
  for (int i = 3; i + 1 < argc; i += 2) {
    const std::string opt = argv[i];
    if (opt == "--user") spec.users = {argv[i + 1]};
    else if (opt == "--profiles") spec.profilesFolder = argv[i + 1];
    else if (opt == "--windows") spec.windowsFolder = argv[i + 1];
    else return Fail("unknown option " + opt);
  }
  std::ifstream plan(argv[2]);
  if (!plan) return Fail(std::string("cannot read ") + argv[2]);
  try {
    hivemake::Installation inst(argv[1], spec);
    const std::string user = spec.users.front();
    const std::string startup = spec.profilesFolder + "\\" + user +
                                "\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup\\";
    const auto cp = platform::offline::CodePage::Windows1252();
    std::string line;
    int number = 0;
    while (std::getline(plan, line)) {
      ++number;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.empty() || line[0] == '#') continue;
      const auto f = Fields(line);
      const std::string where = std::string(argv[2]) + ":" + std::to_string(number) + ": ";
      if (f[0] == "file" && f.size() == 3) {
        inst.File(f[1], f[2]);
      } else if (f[0] == "startup" && f.size() == 3) {
        inst.File(startup + f[1], platform::offline::MakeShellLink(f[2], cp));
      } else if (f[0] == "service" && f.size() == 3) {
        const std::string key = "ControlSet001\\Services\\" + f[1];
        inst.System()
            .Dword(key, "Type", 0x10)
            .Dword(key, "Start", 3)
            .Dword(key, "ErrorControl", 1)
            .ExpandString(key, "ImagePath", f[2])
            .String(key, "DisplayName", f[1])
            .String(key, "ObjectName", "LocalSystem");
      } else if (f[0] == "value" && f.size() == 6) {
        std::string key = f[2], data = f[5];
        if (const auto at = data.find("{profile}"); at != std::string::npos)
          data.replace(at, 9, inst.ProfileFolder(user));
        hivemake::Hive* hive = nullptr;
        if (f[1] == "HKCU") {
          hive = &inst.User(user);
        } else if (f[1] == "HKCR") {
          hive = &inst.Software();
          key = "Classes\\" + key;
        } else if (f[1] == "HKLM" && Prefix(key, "Software\\")) {
          hive = &inst.Software();
          key = key.substr(9);
        } else if (f[1] == "HKLM" && Prefix(key, "System\\CurrentControlSet\\")) {
          hive = &inst.System();
          key = "ControlSet001\\" + key.substr(25);
        } else {
          return Fail(where + "no hive holds " + f[1] + "\\" + f[2]);
        }
        if (f[4] == "REG_SZ") hive->String(key, f[3], data);
        else if (f[4] == "REG_EXPAND_SZ") hive->ExpandString(key, f[3], data);
        else if (f[4] == "REG_DWORD") hive->Dword(key, f[3], static_cast<std::uint32_t>(std::stoul(data, nullptr, 0)));
        else return Fail(where + "unknown type " + f[4]);
      } else {
        return Fail(where + "not a plan line");
      }
    }
    inst.Save();
  } catch (const std::exception& e) {
    return Fail(e.what());
  }
  return 0;
}
