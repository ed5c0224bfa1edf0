#include "engine/startup_registry.h"

#include <algorithm>

#include "engine/helpers.h"
#include "platform/text.h"
#include "undo/undo_journal.h"

namespace engine {
namespace {

using platform::Hive;
namespace keyaccess = platform::keyaccess;

// A registry base is a short list of keys; anything larger is not one.
constexpr std::size_t kMaxRegBaseBytes = 1 << 20;
// The longest key path the registry accepts.
constexpr std::size_t kMaxKeyPath = 32767;

// Splits text into lines at CR LF, LF or a lone CR.
class LineReader {
 public:
  explicit LineReader(std::string_view text) : text_(text) {}
  bool Next(std::string_view& line) {
    if (pos_ >= text_.size()) return false;
    std::size_t end = text_.find_first_of("\r\n", pos_);
    if (end == std::string_view::npos) end = text_.size();
    line = text_.substr(pos_, end - pos_);
    pos_ = end;
    if (pos_ < text_.size() && text_[pos_] == '\r') ++pos_;
    if (pos_ < text_.size() && text_[pos_] == '\n') ++pos_;
    return true;
  }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
};

// A decimal number as the format writes it (blanks around it allowed).
bool ParseCount(std::string_view line, long long& out) {
  std::string t = platform::Trim(line);
  if (t.empty() || t.size() > 18) return false;
  std::size_t i = (t[0] == '-' || t[0] == '+') ? 1 : 0;
  if (i == t.size()) return false;
  long long v = 0;
  for (; i < t.size(); ++i) {
    if (t[i] < '0' || t[i] > '9') return false;
    v = v * 10 + (t[i] - '0');
  }
  out = t[0] == '-' ? -v : v;
  return true;
}

void AddOnce(std::vector<std::string>& list, const std::string& text) {
  for (const auto& s : list)
    if (platform::SameText(s, text)) return;
  list.push_back(text);
}

class ServerScan {
 public:
  ServerScan(platform::Machine& m, const std::function<void()>& pump) : m_(m), pump_(pump) {}

  std::unique_ptr<platform::RegistryKey> Open(Hive hive, const std::string& path) {
    return m_.Reg().Open(hive, path, keyaccess::kAllAccess);
  }

  // Every value of the key that reads as text, resolved, if a valid file.
  void AddValuesOf(Hive hive, const std::string& path) {
    auto key = Open(hive, path);
    if (!key) return;
    for (const auto& name : key->ValueNames()) {
      auto text = key->ReadString(name);
      if (!text) continue;
      std::string file = ResolvePath(m_.Files(), *text);
      if (!file.empty() && IsValidFile(m_.Files(), file)) AddOnce(list, file);
    }
  }

  void AddClsid(const std::string& clsid) {
    AddValuesOf(Hive::ClassesRoot, "CLSID\\" + clsid + "\\InProcServer32");
    AddValuesOf(Hive::ClassesRoot, "CLSID\\" + clsid + "\\LocalServer32");
  }

  void Pump() {
    if (pump_) pump_();
  }

  std::vector<std::string> list;

 private:
  platform::Machine& m_;
  const std::function<void()>& pump_;
};

}  // namespace

Hive RootKeyOfIndex(int index) {
  switch (index) {
    case 0: return Hive::ClassesRoot;
    case 2: return Hive::LocalMachine;
    case 3: return Hive::Users;
    case 4: return Hive::CurrentConfig;
    default: return Hive::CurrentUser;
  }
}

std::string RootKeyName(int index) {
  static const char* const kNames[] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER",
                                       "HKEY_LOCAL_MACHINE", "HKEY_USERS", "HKEY_CURRENT_CONFIG"};
  return index >= 0 && index < 5 ? kNames[index] : "";
}

std::vector<RegBaseRecord> ParseRegBase(std::string_view text, bool* complete) {
  std::vector<RegBaseRecord> out;
  if (complete) *complete = false;
  LineReader lines(text);
  std::string_view line;
  long long n = 0;
  if (!lines.Next(line) || !ParseCount(line, n)) return out;
  for (long long i = 0; i < n; ++i) {
    long long index = 0;
    std::string_view path, note;
    if (!lines.Next(line) || !ParseCount(line, index) || index < 0 || index > 4) return out;
    if (!lines.Next(path) || path.size() > kMaxKeyPath) return out;
    RegBaseRecord r{static_cast<int>(index), std::string(path)};
    const bool last = !lines.Next(note);  // the free-text line
    out.push_back(std::move(r));
    if (last && i + 1 < n) return out;
  }
  if (complete) *complete = true;
  return out;
}

bool LoadRegBase(platform::FileSystem& fs, const std::string& programFolder,
                 std::vector<RegBaseRecord>& out) {
  out.clear();
  auto f = fs.Open(programFolder + kRegBaseName, platform::OpenMode::Read);
  if (!f) return false;
  std::string text(static_cast<std::size_t>(std::min<std::uint64_t>(f->Size(), kMaxRegBaseBytes)),
                   '\0');
  std::size_t got = 0;
  while (got < text.size()) {
    std::size_t n = f->Read(text.data() + got, text.size() - got);
    if (n == 0) break;
    got += n;
  }
  text.resize(got);
  out = ParseRegBase(text);
  return true;
}

std::vector<StartupF> ReadStartupValues(platform::Registry& reg,
                                        const std::vector<RegBaseRecord>& records,
                                        const std::function<void(const std::string&)>& log) {
  std::vector<StartupF> values;
  for (const auto& r : records) {
    auto key = reg.Open(RootKeyOfIndex(r.rootIndex), r.keyPath, keyaccess::kAllAccess);
    if (!key) continue;
    for (const auto& name : key->ValueNames()) {
      auto data = key->ReadString(name);
      if (!data) continue;
      values.push_back({RootKeyOfIndex(r.rootIndex), r.keyPath, name, *data});
      if (log) {
        log(RootKeyName(r.rootIndex) + "\\" + r.keyPath + "\\" + name);
        log("[" + *data + "]");
      }
    }
  }
  return values;
}

bool RemoveStartupValuesFor(platform::Machine& machine, const std::string& programFolder,
                            const std::string& path, undo::Backup& backup,
                            std::vector<std::string>* left) {
  // An empty path is contained in every text: it names nothing to remove.
  if (path.empty()) return false;
  const std::string lowPath = platform::LowerCase(path);
  const std::string lowName = platform::LowerCase(platform::ExtractFileName(path));
  std::vector<RegBaseRecord> records;
  if (!LoadRegBase(machine.Files(), programFolder, records)) return false;
  bool any = false;
  // After each deletion the walk starts again from the first key, until a
  // whole walk deletes nothing or the passes run out; the last pass only
  // looks at what is still there.
  for (int pass = 1; pass <= kMaxRemovalPasses; ++pass) {
    const bool lookOnly = pass == kMaxRemovalPasses;
    bool deleted = false;
    std::vector<std::string> still;
    for (const auto& r : records) {
      auto key = machine.Reg().Open(RootKeyOfIndex(r.rootIndex), r.keyPath, keyaccess::kAllAccess);
      // A key this user may only read (a machine-wide one) still tells what
      // stays behind.
      const bool readOnly = !key;
      if (readOnly && left) key = machine.Reg().Open(RootKeyOfIndex(r.rootIndex), r.keyPath, keyaccess::kRead);
      if (!key) continue;
      for (const auto& name : key->ValueNames()) {
        auto data = key->ReadString(name);
        if (!data) continue;
        const std::string low = platform::LowerCase(*data);
        if (low.find(lowPath) == std::string::npos && low != lowName) continue;
        if (!lookOnly && !readOnly) {
          // Kept in the backup first; one that cannot be kept stays.
          if (const auto kept = backup.KeepValue(RootKeyOfIndex(r.rootIndex), r.keyPath, name)) {
            if (key->DeleteValue(name) == platform::kOk) {
              deleted = any = true;
              continue;
            }
            backup.NotDone(kept);
          }
        }
        still.push_back(RootKeyName(r.rootIndex) + "\\" + r.keyPath + "\\" + name);
      }
    }
    if (left) *left = std::move(still);
    if (!deleted) break;
  }
  return any;
}

std::vector<std::string> ScanStartupRegistry(platform::Machine& machine,
                                             const std::function<void()>& pump) {
  ServerScan scan(machine, pump);
  const std::string nt = "Software\\Microsoft\\Windows NT\\CurrentVersion\\";
  const std::string win = "Software\\Microsoft\\Windows\\CurrentVersion\\";
  scan.AddValuesOf(Hive::LocalMachine, nt + "Windows");

  if (auto key = scan.Open(Hive::LocalMachine, win + "ShellServiceObjectDelayLoad")) {
    for (const auto& name : key->ValueNames()) {
      scan.Pump();
      if (auto clsid = key->ReadString(name)) scan.AddClsid(*clsid);
    }
  }
  if (auto key = scan.Open(Hive::LocalMachine, nt + "Winlogon\\Notify")) {
    for (const auto& sub : key->SubkeyNames())
      scan.AddValuesOf(Hive::LocalMachine, nt + "Winlogon\\Notify\\" + sub);
  }
  if (auto key = scan.Open(Hive::LocalMachine, win + "Explorer\\SharedTaskScheduler")) {
    for (const auto& name : key->ValueNames()) {
      scan.Pump();
      scan.AddClsid(name);
    }
  }
  for (const char* hooks : {"Explorer\\Browser Helper Objects", "Explorer\\ShellExecuteHooks"}) {
    if (auto key = scan.Open(Hive::LocalMachine, win + hooks))
      for (const auto& sub : key->SubkeyNames()) scan.AddClsid(sub);
  }
  if (auto key = scan.Open(Hive::LocalMachine, nt + "Windows")) {
    if (auto dlls = key->ReadString("AppInit_DLLs")) {
      std::string text = *dlls;
      if (text.empty() || text.back() != ',') text += ',';
      const int n = CountFields(text, ',');
      for (int i = 0; i < n; ++i) {
        const std::string field = GetField(text, i, ',');
        std::string file = ResolvePath(machine.Files(), field);
        AddOnce(scan.list, file.empty() ? field : file);
      }
    }
  }
  if (auto key = scan.Open(Hive::CurrentUser, win + "Uninstall")) {
    for (const auto& sub : key->SubkeyNames()) {
      std::string command;
      if (auto app = scan.Open(Hive::CurrentUser, win + "Uninstall\\" + sub))
        command = app->ReadString("UninstallString").value_or("");
      command.erase(std::remove(command.begin(), command.end(), '"'), command.end());
      AddOnce(scan.list, command);
    }
  }
  return std::move(scan.list);
}

}  // namespace engine
