#include <algorithm>

#include "platform/sim/sim_machine.h"
#include "platform/text.h"

namespace platform::sim {

struct SimRegistry::Node {
  std::string name;
  std::map<std::string, std::shared_ptr<Node>> subkeys;  // by lower-case name: enumerates sorted
  std::vector<std::pair<std::string, RegValue>> values;  // in creation order
  bool deleted = false;

  auto FindValue(std::string_view n) {
    return std::find_if(values.begin(), values.end(),
                        [&](const auto& v) { return SameText(v.first, n); });
  }
};

namespace {

class SimKey final : public RegistryKey {
 public:
  SimKey(std::shared_ptr<SimRegistry::Node> node, std::uint32_t access, std::recursive_mutex& m,
         std::shared_ptr<const bool> full)
      : node_(std::move(node)), access_(access), mutex_(m), full_(std::move(full)) {}

  std::vector<std::string> SubkeyNames() override {
    std::lock_guard lock(mutex_);
    std::vector<std::string> out;
    if (!(access_ & keyaccess::kEnumerateSubKeys)) return out;
    for (const auto& [k, n] : node_->subkeys) out.push_back(n->name);
    return out;
  }
  std::vector<std::string> ValueNames() override {
    std::lock_guard lock(mutex_);
    std::vector<std::string> out;
    if (!(access_ & keyaccess::kQueryValue)) return out;
    for (const auto& v : node_->values) out.push_back(v.first);
    return out;
  }
  std::optional<RegValue> Query(std::string_view name) override {
    std::lock_guard lock(mutex_);
    if (!(access_ & keyaccess::kQueryValue) || node_->deleted) return std::nullopt;
    auto it = node_->FindValue(name);
    if (it == node_->values.end()) return std::nullopt;
    return it->second;
  }
  Status Set(std::string_view name, ValueType type, std::string_view data) override {
    std::lock_guard lock(mutex_);
    if (!(access_ & keyaccess::kSetValue)) return kAccessDenied;
    if (node_->deleted) return 1018;  // ERROR_KEY_DELETED
    if (*full_) return 1450;          // ERROR_NO_SYSTEM_RESOURCES: the registry is full
    auto it = node_->FindValue(name);
    RegValue v{type, std::string(data)};
    if (it == node_->values.end())
      node_->values.emplace_back(std::string(name), std::move(v));
    else
      it->second = std::move(v);
    return kOk;
  }
  Status DeleteValue(std::string_view name) override {
    std::lock_guard lock(mutex_);
    if (!(access_ & keyaccess::kSetValue)) return kAccessDenied;
    auto it = node_->FindValue(name);
    if (it == node_->values.end()) return kFileNotFound;
    node_->values.erase(it);
    return kOk;
  }

 private:
  std::shared_ptr<SimRegistry::Node> node_;
  std::uint32_t access_;
  std::recursive_mutex& mutex_;
  std::shared_ptr<const bool> full_;
};

std::string DenyKeyText(Hive hive, std::string_view path) {
  return std::to_string(static_cast<int>(hive)) + "\\" + LowerCase(path);
}

}  // namespace

SimRegistry::SimRegistry() {
  for (Hive h : {Hive::ClassesRoot, Hive::CurrentUser, Hive::LocalMachine, Hive::Users,
                 Hive::CurrentConfig})
    roots_[h] = std::make_shared<Node>();
}

SimRegistry::~SimRegistry() = default;

void SimRegistry::DenyKey(Hive hive, std::string_view path) {
  std::lock_guard lock(mutex_);
  auto parts = SplitKeyPath(path);
  std::string joined;
  for (const auto& p : parts) joined += (joined.empty() ? "" : "\\") + p;
  denied_.insert(DenyKeyText(hive, joined));
}

bool SimRegistry::Writes(std::uint32_t access) const {
  return (access & (keyaccess::kSetValue | keyaccess::kCreateSubKey)) != 0;
}

std::shared_ptr<SimRegistry::Node> SimRegistry::Find(Hive hive, std::string_view path,
                                                     bool create, Status* error) {
  auto node = roots_[hive];
  std::string walked;
  for (const auto& part : SplitKeyPath(path)) {
    walked += (walked.empty() ? "" : "\\") + part;
    auto key = LowerCase(part);
    auto it = node->subkeys.find(key);
    if (it == node->subkeys.end()) {
      if (!create) {
        if (error) *error = kFileNotFound;
        return nullptr;
      }
      auto child = std::make_shared<Node>();
      child->name = part;
      it = node->subkeys.emplace(key, std::move(child)).first;
    }
    node = it->second;
  }
  if (denied_.count(DenyKeyText(hive, walked))) {
    if (error) *error = kAccessDenied;
    return nullptr;
  }
  return node;
}

std::unique_ptr<RegistryKey> SimRegistry::Open(Hive hive, std::string_view path,
                                               std::uint32_t access, Status* error) {
  std::lock_guard lock(mutex_);
  if (error) *error = kOk;
  auto node = Find(hive, path, false, error);
  if (!node) return nullptr;
  if (!admin_ && hive == Hive::LocalMachine && Writes(access)) {
    if (error) *error = kAccessDenied;
    return nullptr;
  }
  return std::make_unique<SimKey>(node, access, mutex_, full_);
}

std::unique_ptr<RegistryKey> SimRegistry::Create(Hive hive, std::string_view path,
                                                 std::uint32_t access, Status* error) {
  std::lock_guard lock(mutex_);
  if (error) *error = kOk;
  if (!admin_ && hive == Hive::LocalMachine) {
    // Opening an existing key read-only still works; anything else is refused.
    if (!Writes(access)) {
      if (auto node = Find(hive, path, false, nullptr))
        return std::make_unique<SimKey>(node, access, mutex_, full_);
    }
    if (error) *error = kAccessDenied;
    return nullptr;
  }
  auto node = Find(hive, path, true, error);
  if (!node) return nullptr;
  return std::make_unique<SimKey>(node, access, mutex_, full_);
}

Status SimRegistry::DeleteKey(Hive hive, std::string_view path) {
  std::lock_guard lock(mutex_);
  auto parts = SplitKeyPath(path);
  if (parts.empty()) return kAccessDenied;
  if (!admin_ && hive == Hive::LocalMachine) return kAccessDenied;
  std::string parentPath;
  for (size_t i = 0; i + 1 < parts.size(); ++i) parentPath += parts[i] + "\\";
  Status err = kOk;
  auto parent = Find(hive, parentPath, false, &err);
  if (!parent) return err;
  auto it = parent->subkeys.find(LowerCase(parts.back()));
  if (it == parent->subkeys.end()) return kFileNotFound;
  if (!it->second->subkeys.empty()) return kAccessDenied;
  it->second->deleted = true;
  parent->subkeys.erase(it);
  return kOk;
}

}  // namespace platform::sim
