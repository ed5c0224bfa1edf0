#include "platform/offline/hive.h"

#include <hivex.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/offline/errors.h"
#include "platform/text.h"

namespace platform::offline {
namespace {

constexpr Status kBadRegistry = 1009;  // ERROR_BADDB: the hive is damaged

// hivex hands out malloc'ed memory.
struct Freer {
  void operator()(void* p) const { std::free(p); }
};
template <class T>
using Owned = std::unique_ptr<T, Freer>;

bool IsString(std::uint32_t type) {
  return type == static_cast<std::uint32_t>(ValueType::String) ||
         type == static_cast<std::uint32_t>(ValueType::ExpandString) ||
         type == static_cast<std::uint32_t>(ValueType::MultiString);
}

std::uint32_t Le32(std::string_view b, std::size_t at) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(b[at])) |
         static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 2])) << 16 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24;
}

std::string Describe(int err) {
  switch (err) {
    case ENOTSUP:
      return "it is damaged or not a registry hive";
    case EINVAL:
      return "it is too short or its header is damaged";
    case ENOMEM:
      return "there is not enough memory";
    default:
      return std::strerror(err);
  }
}

}  // namespace

HiveHeader ReadHiveHeader(std::string_view b) {
  HiveHeader h;
  if (b.size() < 12 || b.substr(0, 4) != "regf") return h;
  h.isHive = true;
  h.primarySequence = Le32(b, 4);
  h.secondarySequence = Le32(b, 8);
  return h;
}

namespace {

hive_h* OpenHandle(const std::string& path, const std::string& label, bool writable,
                   std::string* error) {
  errno = 0;
  hive_h* h = hivex_open(path.c_str(), writable ? HIVEX_OPEN_WRITE : 0);
  if (!h && error) *error = "the registry hive " + label + " cannot be read: " + Describe(errno);
  return h;
}

}  // namespace

std::unique_ptr<HiveFile> HiveFile::Open(const std::string& path, std::string label,
                                         bool writable, const CodePage* codePage,
                                         std::string* error) {
  hive_h* h = OpenHandle(path, label, writable, error);
  if (!h) return nullptr;
  std::unique_ptr<HiveFile> hive(new HiveFile);
  hive->h_ = h;
  hive->label_ = std::move(label);
  hive->writable_ = writable;
  hive->cp_ = codePage;
  return hive;
}

bool HiveFile::Reload(const std::string& path, std::string* error) {
  std::lock_guard lock(mutex_);
  hive_h* h = OpenHandle(path, label_, writable_, error);
  if (!h) return false;
  hivex_close(h_);
  h_ = h;
  children_.clear();
  changed_ = false;
  return true;
}

HiveFile::~HiveFile() {
  if (h_) hivex_close(h_);
}

void HiveFile::SetCodePage(const CodePage* codePage) {
  std::lock_guard lock(mutex_);
  cp_ = codePage;
  children_.clear();
}

std::string HiveFile::Name(const char* utf8, std::size_t len) const {
  return cp_->FromUtf8(std::string_view(utf8, len), false);
}

HiveFile::Node HiveFile::Root() {
  std::lock_guard lock(mutex_);
  return hivex_root(h_);
}

const HiveFile::Children& HiveFile::ChildrenOf(Node node) {
  auto it = children_.find(node);
  if (it != children_.end()) return it->second;
  Children c;
  if (Owned<hive_node_h> list{hivex_node_children(h_, node)}) {
    for (const hive_node_h* n = list.get(); *n; ++n) {
      Owned<char> name{hivex_node_name(h_, *n)};
      if (!name) continue;  // a name that is not UTF-16 cannot be asked for
      std::string text = Name(name.get(), hivex_node_name_len(h_, *n));
      c.byLowerName.emplace(LowerCase(text), *n);
      c.ordered.emplace_back(std::move(text), *n);
    }
  }
  return children_.emplace(node, std::move(c)).first->second;
}

std::vector<std::string> HiveFile::ChildNames(Node node) {
  std::lock_guard lock(mutex_);
  std::vector<std::string> out;
  for (const auto& [name, n] : ChildrenOf(node).ordered) out.push_back(name);
  return out;
}

HiveFile::Node HiveFile::Child(Node node, std::string_view name) {
  std::lock_guard lock(mutex_);
  const auto& c = ChildrenOf(node).byLowerName;
  auto it = c.find(LowerCase(name));
  return it == c.end() ? 0 : it->second;
}

std::size_t HiveFile::ChildCount(Node node) {
  std::lock_guard lock(mutex_);
  return ChildrenOf(node).ordered.size();
}

bool HiveFile::ReadValues(Node node, std::vector<RawValue>& out, bool withData) {
  Owned<hive_value_h> list{hivex_node_values(h_, node)};
  if (!list) return false;
  for (const hive_value_h* v = list.get(); *v; ++v) {
    RawValue r;
    Owned<char> key{hivex_value_key(h_, *v)};
    if (!key) return false;
    r.utf8Name.assign(key.get(), hivex_value_key_len(h_, *v));
    r.name = Name(r.utf8Name.data(), r.utf8Name.size());
    hive_type t{};
    std::size_t len = 0;
    if (hivex_value_type(h_, *v, &t, &len) != 0) return false;
    r.type = static_cast<std::uint32_t>(t);
    r.big = len > kLargestWritableValue;
    if (withData) {
      Owned<char> data{hivex_value_value(h_, *v, &t, &len)};
      if (!data) return false;
      r.data.assign(data.get(), len);
    }
    out.push_back(std::move(r));
  }
  return true;
}

std::vector<std::string> HiveFile::ValueNames(Node node) {
  std::lock_guard lock(mutex_);
  std::vector<RawValue> values;
  ReadValues(node, values, false);
  std::vector<std::string> out;
  for (auto& v : values) out.push_back(std::move(v.name));
  return out;
}

std::optional<RegValue> HiveFile::Value(Node node, std::string_view name) {
  std::lock_guard lock(mutex_);
  Owned<hive_value_h> list{hivex_node_values(h_, node)};
  if (!list) return std::nullopt;
  for (const hive_value_h* v = list.get(); *v; ++v) {
    Owned<char> key{hivex_value_key(h_, *v)};
    if (!key || !SameText(Name(key.get(), hivex_value_key_len(h_, *v)), name)) continue;
    hive_type t{};
    std::size_t len = 0;
    Owned<char> data{hivex_value_value(h_, *v, &t, &len)};
    if (!data) return std::nullopt;
    RegValue r;
    r.type = static_cast<ValueType>(t);
    const std::string_view bytes(data.get(), len);
    r.data = IsString(t) ? cp_->FromUtf16(bytes) : std::string(bytes);
    return r;
  }
  return std::nullopt;
}

Status HiveFile::WriteValues(Node node, const std::vector<RawValue>& values) {
  std::vector<hive_set_value> set;
  set.reserve(values.size());
  for (const auto& v : values) {
    // Big values cannot be written back as they were: the key is left alone.
    if (v.big || v.data.size() > kLargestWritableValue) return kNotSupported;
    if (v.utf8Name.find('\0') != std::string::npos) return kNotSupported;
    set.push_back({const_cast<char*>(v.utf8Name.c_str()), static_cast<hive_type>(v.type),
                   v.data.size(), const_cast<char*>(v.data.data())});
  }
  if (hivex_node_set_values(h_, node, set.size(), set.data(), 0) != 0) return kBadRegistry;
  changed_ = true;
  return kOk;
}

Status HiveFile::SetValue(Node node, std::string_view name, ValueType type, std::string_view data) {
  std::lock_guard lock(mutex_);
  if (!writable_) return kAccessDenied;
  std::vector<RawValue> values;
  if (!ReadValues(node, values, true)) return kBadRegistry;
  RawValue* target = nullptr;
  for (auto& v : values)
    if (SameText(v.name, name)) target = &v;
  if (!target) {
    values.emplace_back();
    target = &values.back();
    target->utf8Name = cp_->ToReportUtf8(name);
    target->name = std::string(name);
  }
  target->type = static_cast<std::uint32_t>(type);
  target->data = IsString(target->type) ? cp_->ToUtf16(data) : std::string(data);
  target->big = false;
  return WriteValues(node, values);
}

Status HiveFile::DeleteValue(Node node, std::string_view name) {
  std::lock_guard lock(mutex_);
  if (!writable_) return kAccessDenied;
  std::vector<RawValue> values;
  if (!ReadValues(node, values, true)) return kBadRegistry;
  for (auto it = values.begin(); it != values.end(); ++it) {
    if (!SameText(it->name, name)) continue;
    values.erase(it);
    return WriteValues(node, values);
  }
  return kFileNotFound;
}

HiveFile::Node HiveFile::AddChild(Node node, std::string_view name, Status* error) {
  std::lock_guard lock(mutex_);
  auto fail = [&](Status s) -> Node {
    if (error) *error = s;
    return 0;
  };
  if (!writable_) return fail(kAccessDenied);
  if (name.empty() || name.find('\\') != std::string_view::npos) return fail(kInvalidParameter);
  const std::string utf8 = cp_->ToReportUtf8(name);
  const Node child = hivex_node_add_child(h_, node, utf8.c_str());
  if (!child) return fail(kBadRegistry);
  children_.erase(node);
  changed_ = true;
  if (error) *error = kOk;
  return child;
}

Status HiveFile::DeleteChild(Node node, std::string_view name) {
  std::lock_guard lock(mutex_);
  if (!writable_) return kAccessDenied;
  const auto& c = ChildrenOf(node).byLowerName;
  auto it = c.find(LowerCase(name));
  if (it == c.end()) return kFileNotFound;
  const Node child = it->second;
  if (hivex_node_nr_children(h_, child) != 0) return kAccessDenied;
  if (hivex_node_delete_child(h_, child) != 0) return kBadRegistry;
  children_.erase(node);
  children_.erase(child);
  changed_ = true;
  return kOk;
}

Status HiveFile::Commit(const std::string& path, std::string* error) {
  std::lock_guard lock(mutex_);
  if (!writable_) return kAccessDenied;
  errno = 0;
  if (hivex_commit(h_, path.c_str(), 0) != 0) {
    if (error) *error = "the registry hive " + label_ + " cannot be written: " + std::strerror(errno);
    return errno == ENOSPC ? 112 : kAccessDenied;  // ERROR_DISK_FULL
  }
  changed_ = false;
  return kOk;
}

}  // namespace platform::offline
