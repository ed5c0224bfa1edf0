#include "platform/offline/offline_registry.h"

#include <algorithm>

#include "platform/offline/hive.h"
#include "platform/text.h"

namespace platform::offline {

struct OfflineRegistry::Target {
  HiveFile* hive = nullptr;
  std::vector<std::string> parts;
};

namespace {

constexpr const char* kWow = "Wow6432Node";

bool HasWow(const std::vector<std::string>& parts) {
  return std::any_of(parts.begin(), parts.end(), [](const auto& p) { return SameText(p, kWow); });
}

struct Location {
  HiveFile* hive;
  HiveFile::Node node;
  bool controlSetBelow;  // SYSTEM's root: "CurrentControlSet" is listed too
};

// Finds the node of a target; 0 when a key on the way is missing.
HiveFile::Node Walk(const OfflineRegistry::Target& t) {
  HiveFile::Node node = t.hive->Root();
  for (const auto& part : t.parts) {
    node = t.hive->Child(node, part);
    if (!node) return 0;
  }
  return node;
}

bool Contains(const std::vector<std::string>& names, const std::string& name) {
  return std::any_of(names.begin(), names.end(), [&](const auto& n) { return SameText(n, name); });
}

class OfflineKey final : public RegistryKey {
 public:
  OfflineKey(std::vector<Location> at, std::vector<std::string> virtualNames, std::uint32_t access,
             std::recursive_mutex& mutex)
      : at_(std::move(at)), virtual_(std::move(virtualNames)), access_(access), mutex_(mutex) {}

  std::vector<std::string> SubkeyNames() override {
    std::lock_guard lock(mutex_);
    std::vector<std::string> out;
    if (!(access_ & keyaccess::kEnumerateSubKeys)) return out;
    out = virtual_;
    for (const auto& l : at_) {
      for (auto& name : l.hive->ChildNames(l.node))
        if (!Contains(out, name)) out.push_back(std::move(name));
      if (l.controlSetBelow && !Contains(out, "CurrentControlSet")) out.push_back("CurrentControlSet");
    }
    return out;
  }
  std::vector<std::string> ValueNames() override {
    std::lock_guard lock(mutex_);
    std::vector<std::string> out;
    if (!(access_ & keyaccess::kQueryValue)) return out;
    for (const auto& l : at_)
      for (auto& name : l.hive->ValueNames(l.node))
        if (!Contains(out, name)) out.push_back(std::move(name));
    return out;
  }
  std::optional<RegValue> Query(std::string_view name) override {
    std::lock_guard lock(mutex_);
    if (!(access_ & keyaccess::kQueryValue)) return std::nullopt;
    for (const auto& l : at_)
      if (auto v = l.hive->Value(l.node, name)) return v;
    return std::nullopt;
  }
  Status Set(std::string_view name, ValueType type, std::string_view data) override {
    std::lock_guard lock(mutex_);
    if (!(access_ & keyaccess::kSetValue) || at_.empty()) return kAccessDenied;
    // The value the key shows is the one changed: the native key's first.
    for (const auto& l : at_)
      if (l.hive->Value(l.node, name)) return l.hive->SetValue(l.node, name, type, data);
    return at_.front().hive->SetValue(at_.front().node, name, type, data);
  }
  Status DeleteValue(std::string_view name) override {
    std::lock_guard lock(mutex_);
    if (!(access_ & keyaccess::kSetValue) || at_.empty()) return kAccessDenied;
    for (const auto& l : at_)
      if (l.hive->Value(l.node, name)) return l.hive->DeleteValue(l.node, name);
    return kFileNotFound;
  }

 private:
  std::vector<Location> at_;
  std::vector<std::string> virtual_;
  std::uint32_t access_;
  std::recursive_mutex& mutex_;
};

}  // namespace

void OfflineRegistry::SetMachineHives(HiveFile* software, HiveFile* system, std::string controlSet) {
  std::lock_guard lock(mutex_);
  software_ = software;
  system_ = system;
  controlSet_ = std::move(controlSet);
}

void OfflineRegistry::SetUserHives(std::vector<std::pair<std::string, HiveFile*>> users) {
  std::lock_guard lock(mutex_);
  users_ = std::move(users);
}

void OfflineRegistry::SetCurrentUser(HiveFile* user) {
  std::lock_guard lock(mutex_);
  currentUser_ = user;
}

void OfflineRegistry::PlaceOf(Hive& hive, std::string& path, std::string_view name) {
  std::lock_guard lock(mutex_);
  auto join = [](std::string head, const std::vector<std::string>& parts) {
    for (const auto& p : parts) head += "\\" + p;
    return head;
  };
  if (hive == Hive::CurrentUser) {
    for (const auto& [sid, h] : users_)
      if (h == currentUser_) {
        hive = Hive::Users;
        path = join(sid, SplitKeyPath(path));
        return;
      }
    return;
  }
  const auto targets = Map(hive, path, nullptr);
  for (std::size_t i = 0; i < targets.size(); ++i) {
    const auto node = Walk(targets[i]);
    if (!node || !targets[i].hive->Value(node, name)) continue;
    // Only SOFTWARE has a second view.
    if (i > 0 && targets[i].hive == software_) {
      hive = Hive::LocalMachine;
      path = join("SOFTWARE", targets[i].parts);
    }
    return;
  }
}

std::vector<OfflineRegistry::Target> OfflineRegistry::Map(Hive hive, std::string_view path,
                                                          std::vector<std::string>* virtualNames) {
  auto parts = SplitKeyPath(path);
  std::vector<Target> out;
  auto rest = [&](std::size_t from) {
    return std::vector<std::string>(parts.begin() + static_cast<std::ptrdiff_t>(from), parts.end());
  };
  // SOFTWARE's 32-bit view: "Wow6432Node" below SOFTWARE, and below Classes.
  auto software = [&](std::vector<std::string> p) {
    if (!software_) return;
    const bool twin = !p.empty() && !HasWow(p) && !(p.size() == 1 && SameText(p[0], "Classes"));
    std::vector<std::string> wow;
    if (twin) {
      const bool classes = SameText(p[0], "Classes");
      wow.push_back(classes ? p[0] : kWow);
      if (classes) wow.push_back(kWow);
      wow.insert(wow.end(), p.begin() + (classes ? 1 : 0), p.end());
    }
    out.push_back({software_, std::move(p)});
    if (twin) out.push_back({software_, std::move(wow)});
  };
  auto system = [&](std::vector<std::string> p) {
    if (!system_) return;
    if (!p.empty() && SameText(p[0], "CurrentControlSet")) p[0] = controlSet_;
    out.push_back({system_, std::move(p)});
  };
  switch (hive) {
    case Hive::LocalMachine:
      if (parts.empty()) {
        if (virtualNames) *virtualNames = {"SOFTWARE", "SYSTEM"};
      } else if (SameText(parts[0], "SOFTWARE")) {
        software(rest(1));
      } else if (SameText(parts[0], "SYSTEM")) {
        system(rest(1));
      }
      break;
    case Hive::CurrentUser:
      if (currentUser_) out.push_back({currentUser_, parts});
      break;
    case Hive::ClassesRoot: {
      std::vector<std::string> p{"Classes"};
      p.insert(p.end(), parts.begin(), parts.end());
      software(std::move(p));
      break;
    }
    case Hive::Users:
      if (parts.empty()) {
        if (virtualNames)
          for (const auto& [sid, h] : users_) virtualNames->push_back(sid);
      } else {
        for (const auto& [sid, h] : users_)
          if (SameText(sid, parts[0])) out.push_back({h, rest(1)});
      }
      break;
    case Hive::CurrentConfig: {
      std::vector<std::string> p{"CurrentControlSet", "Hardware Profiles", "Current"};
      p.insert(p.end(), parts.begin(), parts.end());
      system(std::move(p));
      break;
    }
  }
  return out;
}

std::unique_ptr<RegistryKey> OfflineRegistry::Open(Hive hive, std::string_view path,
                                                   std::uint32_t access, Status* error) {
  std::lock_guard lock(mutex_);
  if (error) *error = kOk;
  std::vector<std::string> virtualNames;
  const auto targets = Map(hive, path, &virtualNames);
  std::vector<Location> at;
  for (const auto& t : targets)
    if (const auto node = Walk(t))
      at.push_back({t.hive, node, t.hive == system_ && t.parts.empty()});
  // A root key always opens, even with no hive below it.
  if (at.empty() && virtualNames.empty() && !SplitKeyPath(path).empty()) {
    if (error) *error = kFileNotFound;
    return nullptr;
  }
  return std::make_unique<OfflineKey>(std::move(at), std::move(virtualNames), access, mutex_);
}

std::unique_ptr<RegistryKey> OfflineRegistry::Create(Hive hive, std::string_view path,
                                                     std::uint32_t access, Status* error) {
  std::lock_guard lock(mutex_);
  if (auto key = Open(hive, path, access, nullptr)) {
    if (error) *error = kOk;
    return key;
  }
  const auto targets = Map(hive, path, nullptr);
  if (targets.empty()) {
    if (error) *error = kAccessDenied;  // a key no hive holds
    return nullptr;
  }
  const Target& t = targets.front();
  HiveFile::Node node = t.hive->Root();
  for (const auto& part : t.parts) {
    HiveFile::Node child = t.hive->Child(node, part);
    if (!child) {
      Status s = kOk;
      child = t.hive->AddChild(node, part, &s);
      if (!child) {
        if (error) *error = s;
        return nullptr;
      }
    }
    node = child;
  }
  if (error) *error = kOk;
  return std::make_unique<OfflineKey>(std::vector<Location>{{t.hive, node, false}},
                                      std::vector<std::string>{}, access, mutex_);
}

Status OfflineRegistry::DeleteKey(Hive hive, std::string_view path) {
  std::lock_guard lock(mutex_);
  const auto targets = Map(hive, path, nullptr);
  for (const auto& t : targets) {
    if (t.parts.empty()) return kAccessDenied;  // a hive's root
    Target parent = t;
    parent.parts.pop_back();
    const auto node = Walk(parent);
    if (!node || !t.hive->Child(node, t.parts.back())) continue;
    return t.hive->DeleteChild(node, t.parts.back());
  }
  return kFileNotFound;
}

}  // namespace platform::offline
