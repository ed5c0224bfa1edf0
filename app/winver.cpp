#include "app/winver.h"

#include "platform/text.h"

namespace app {

std::string WindowsVersionText(platform::SystemInfo& system, platform::Registry& registry) {
  const std::uint16_t arch = system.NativeArchitecture();
  auto v = system.Version();
  if (!v) v = system.Version();  // asked twice before giving up
  if (!v) return {};

  const auto sp = v->servicePack;
  const char sp2 = sp.size() > 1 ? sp[1] : '\0';
  switch (v->platformId) {
    case 0:
      return "Microsoft Win32s";
    case 1:
      if (v->major == 4 && v->minor == 0)
        return std::string("Microsoft Windows 95") + (sp2 == 'B' || sp2 == 'C' ? " OSR2" : "");
      if (v->major == 4 && v->minor == 10)
        return std::string("Microsoft Windows 98") + (sp2 == 'A' ? " SE" : "");
      if (v->major == 4 && v->minor == 90) return "Microsoft Windows Millennium Edition";
      return {};
    case 2:
      break;
    default:
      return {};
  }

  constexpr std::uint8_t kWorkstation = 1, kServer = 3;
  constexpr std::uint16_t kPersonal = 0x0200, kDatacenter = 0x0080, kEnterprise = 0x0002,
                          kWebServer = 0x0400;
  const bool is52 = v->major == 5 && v->minor == 2;
  std::string s;
  // 5.2 is Server 2003, or XP Professional x64 on a 64-bit workstation. Later
  // 64-bit workstations are not XP and take the generic NT name.
  if (is52 && v->productType == kWorkstation && arch == platform::arch::kAmd64)
    s = "Microsoft Windows XP Professional x64 Edition ";
  else if (is52)
    s = "Microsoft Windows Server 2003";
  else if (v->major == 5 && v->minor == 1)
    s = "Microsoft Windows XP";
  else if (v->major == 6 && v->minor == 0)
    s = "Microsoft Windows Vista";
  else if (v->major == 5 && v->minor == 0)
    s = "Microsoft Windows 2000";
  else
    s = "Microsoft Windows NT";

  if (v->productType == kWorkstation) {
    if (v->major == 4)
      s += " Workstation 4.0";
    else if (v->suiteMask & kPersonal)
      s += " Home Edition ";
    else
      s += " Professional ";
  } else if (v->productType == kServer) {
    if (is52) {
      if (v->suiteMask & kDatacenter)
        s += " Datacenter Edition ";
      else if (v->suiteMask & kEnterprise)
        s += " Enterprise Edition ";
      else if (v->suiteMask == kWebServer)
        s += " Web Edition ";
      else
        s += " Standard Edition ";
    } else if (v->major == 5 && v->minor == 0) {
      if (v->suiteMask & kDatacenter)
        s += " Datacenter Server ";
      else if (v->suiteMask & kEnterprise)
        s += " Advanced Server ";
      else
        s += " Server ";
    } else {
      s += " Server " + std::to_string(v->major) + "." + std::to_string(v->minor);
      if (v->suiteMask & kEnterprise) s += ", Enterprise Edition ";
    }
  }

  if (v->major == 4 && platform::SameText(sp, "Service Pack 6 ") &&
      registry.Open(platform::Hive::LocalMachine,
                    "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Hotfix\\Q246009",
                    platform::keyaccess::kQueryValue))
    s += " Service Pack 6a ";
  else
    s += sp;

  s += " (Build " + std::to_string(v->build & 0xFFFF) + ")";
  return s;
}

std::string WindowsVersionName(const std::string& versionText) {
  auto pos = versionText.rfind(" (Build ");
  return pos == std::string::npos ? versionText : versionText.substr(0, pos);
}

}  // namespace app
