#include <gtest/gtest.h>

#include "app/winver.h"
#include "platform/sim/sim_machine.h"

using platform::OsVersion;

namespace {

struct Row {
  const char* what;
  std::uint32_t platformId, major, minor, build;
  const char* sp;
  std::uint16_t suite;
  std::uint8_t product;
  std::uint16_t arch;
  const char* want;
};

const Row kRows[] = {
    {"Win32s", 0, 3, 10, 0, "", 0, 0, 0, "Microsoft Win32s"},
    {"95", 1, 4, 0, 950, " A", 0, 0, 0, "Microsoft Windows 95"},
    {"95 OSR2 B", 1, 4, 0, 1111, " B", 0, 0, 0, "Microsoft Windows 95 OSR2"},
    {"95 OSR2 C", 1, 4, 0, 1212, " C", 0, 0, 0, "Microsoft Windows 95 OSR2"},
    {"98", 1, 4, 10, 1998, " ", 0, 0, 0, "Microsoft Windows 98"},
    {"98 SE", 1, 4, 10, 2222, " A ", 0, 0, 0, "Microsoft Windows 98 SE"},
    {"Me", 1, 4, 90, 3000, " ", 0, 0, 0, "Microsoft Windows Millennium Edition"},
    {"unknown 9x", 1, 4, 50, 1, "", 0, 0, 0, ""},
    {"unknown platform", 3, 6, 1, 1, "", 0, 1, 0, ""},
    {"NT 4 workstation", 2, 4, 0, 1381, "Service Pack 5", 0, 1, 0,
     "Microsoft Windows NT Workstation 4.0Service Pack 5 (Build 1381)"},
    {"2000 Pro", 2, 5, 0, 2195, "Service Pack 4", 0, 1, 0,
     "Microsoft Windows 2000 Professional Service Pack 4 (Build 2195)"},
    {"2000 Server", 2, 5, 0, 2195, "", 0, 3, 0, "Microsoft Windows 2000 Server  (Build 2195)"},
    {"2000 Advanced", 2, 5, 0, 2195, "", 0x02, 3, 0,
     "Microsoft Windows 2000 Advanced Server  (Build 2195)"},
    {"2000 Datacenter", 2, 5, 0, 2195, "", 0x82, 3, 0,
     "Microsoft Windows 2000 Datacenter Server  (Build 2195)"},
    {"XP Home", 2, 5, 1, 2600, "Service Pack 2", 0x300, 1, 0,
     "Microsoft Windows XP Home Edition Service Pack 2 (Build 2600)"},
    {"XP Pro", 2, 5, 1, 2600, "Service Pack 3", 0x100, 1, 0,
     "Microsoft Windows XP Professional Service Pack 3 (Build 2600)"},
    {"XP Pro x64", 2, 5, 2, 3790, "Service Pack 2", 0, 1, 9,
     "Microsoft Windows XP Professional x64 Edition  Professional Service Pack 2 (Build 3790)"},
    {"2003 Standard", 2, 5, 2, 3790, "", 0, 3, 0,
     "Microsoft Windows Server 2003 Standard Edition  (Build 3790)"},
    {"2003 Enterprise", 2, 5, 2, 3790, "", 0x02, 3, 0,
     "Microsoft Windows Server 2003 Enterprise Edition  (Build 3790)"},
    {"2003 Datacenter", 2, 5, 2, 3790, "", 0x82, 3, 0,
     "Microsoft Windows Server 2003 Datacenter Edition  (Build 3790)"},
    {"2003 Web", 2, 5, 2, 3790, "", 0x400, 3, 0,
     "Microsoft Windows Server 2003 Web Edition  (Build 3790)"},
    {"2003 Web and more", 2, 5, 2, 3790, "", 0x410, 3, 0,
     "Microsoft Windows Server 2003 Standard Edition  (Build 3790)"},
    {"Vista Home", 2, 6, 0, 6002, "Service Pack 2", 0x200, 1, 0,
     "Microsoft Windows Vista Home Edition Service Pack 2 (Build 6002)"},
    {"Server 2008", 2, 6, 0, 6001, "Service Pack 1", 0x02, 3, 0,
     "Microsoft Windows Vista Server 6.0, Enterprise Edition Service Pack 1 (Build 6001)"},
    {"7 32-bit", 2, 6, 1, 7601, "Service Pack 1", 0x100, 1, 0,
     "Microsoft Windows NT Professional Service Pack 1 (Build 7601)"},
    // A 64-bit Windows 7 is not XP x64: only 5.2 workstations are.
    {"7 64-bit", 2, 6, 1, 7601, "Service Pack 1", 0x100, 1, 9,
     "Microsoft Windows NT Professional Service Pack 1 (Build 7601)"},
    {"domain controller", 2, 6, 1, 7601, "", 0, 2, 0, "Microsoft Windows NT (Build 7601)"},
    {"build above 16 bits", 2, 6, 1, 0x10001DB1, "", 0, 1, 0,
     "Microsoft Windows NT Professional  (Build 7601)"},
};

TEST(WindowsVersionText, EveryRowOfTheTable) {
  for (const auto& r : kRows) {
    platform::sim::SimMachine m;
    OsVersion v;
    v.platformId = r.platformId;
    v.major = r.major;
    v.minor = r.minor;
    v.build = r.build;
    v.servicePack = r.sp;
    v.suiteMask = r.suite;
    v.productType = r.product;
    m.SimSys().SetVersion(v);
    m.SimSys().SetNativeArchitecture(r.arch);
    EXPECT_EQ(app::WindowsVersionText(m.Sys(), m.Reg()), r.want) << r.what;
  }
}

TEST(WindowsVersionText, Nt4ServicePack6aNeedsTheHotfixKey) {
  platform::sim::SimMachine m;
  OsVersion v;
  v.platformId = 2;
  v.major = 4;
  v.build = 1381;
  v.servicePack = "service pack 6 ";
  v.productType = 1;
  m.SimSys().SetVersion(v);
  EXPECT_EQ(app::WindowsVersionText(m.Sys(), m.Reg()),
            "Microsoft Windows NT Workstation 4.0service pack 6  (Build 1381)");
  m.Reg().Create(platform::Hive::LocalMachine,
                 "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Hotfix\\Q246009",
                 platform::keyaccess::kAllAccess);
  EXPECT_EQ(app::WindowsVersionText(m.Sys(), m.Reg()),
            "Microsoft Windows NT Workstation 4.0 Service Pack 6a  (Build 1381)");
}

TEST(WindowsVersionText, NoRecordGivesEmptyText) {
  platform::sim::SimMachine m;
  m.SimSys().SetVersion(std::nullopt);
  EXPECT_EQ(app::WindowsVersionText(m.Sys(), m.Reg()), "");
}

}  // namespace
