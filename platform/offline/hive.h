#pragma once
// One registry hive file of an installation that is not running, read and
// changed through hivex. Names and strings are converted between the hive's
// Unicode and the program's code page (code_page.h). Changes stay in memory
// until Commit writes the whole hive to a new file.
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/offline/code_page.h"
#include "platform/registry.h"
#include "platform/status.h"

struct hive_h;

namespace platform::offline {

// A value larger than this is stored in pieces (the format's "big data"),
// which hivex cannot write: a key holding one is never rewritten.
inline constexpr std::size_t kLargestWritableValue = 16344;
// Hives larger than this are not read.
inline constexpr std::uint64_t kLargestHive = 1ull << 30;

// The base block's two sequence numbers, at offsets 4 and 8. A hive whose
// numbers differ was not closed cleanly: its last writes are still in its
// transaction logs.
struct HiveHeader {
  bool isHive = false;  // begins with "regf"
  std::uint32_t primarySequence = 0;
  std::uint32_t secondarySequence = 0;
  bool Dirty() const { return isHive && primarySequence != secondarySequence; }
};
HiveHeader ReadHiveHeader(std::string_view firstBytes);

class HiveFile {
 public:
  using Node = std::size_t;  // 0: none

  // path: a file name hivex can open (the caller's "/proc/self/fd/N");
  // label: how messages name the hive. Null with *error set when hivex
  // cannot open it.
  static std::unique_ptr<HiveFile> Open(const std::string& path, std::string label,
                                        bool writable, const CodePage* codePage,
                                        std::string* error);
  ~HiveFile();
  HiveFile(const HiveFile&) = delete;
  HiveFile& operator=(const HiveFile&) = delete;

  const std::string& Label() const { return label_; }
  bool Writable() const { return writable_; }
  // Changed in memory since it was opened or last committed.
  bool Changed() const { return changed_; }
  // Names read from now on use this code page.
  void SetCodePage(const CodePage* codePage);

  Node Root();
  // Subkeys in the order the hive keeps them (sorted, as Windows lists them).
  std::vector<std::string> ChildNames(Node node);
  Node Child(Node node, std::string_view name);
  std::size_t ChildCount(Node node);
  std::vector<std::string> ValueNames(Node node);
  std::optional<RegValue> Value(Node node, std::string_view name);

  Status SetValue(Node node, std::string_view name, ValueType type, std::string_view data);
  Status DeleteValue(Node node, std::string_view name);
  Node AddChild(Node node, std::string_view name, Status* error);
  // Deletes a subkey that has no subkeys of its own.
  Status DeleteChild(Node node, std::string_view name);

  // Writes the whole hive to path (a new file); the hive stays open.
  Status Commit(const std::string& path, std::string* error);
  // Reads the hive again from path, its file having been replaced (by an
  // undo): what was read before is forgotten. False with *error set, and
  // the hive as it was, when the new file does not open.
  bool Reload(const std::string& path, std::string* error);

 private:
  HiveFile() = default;
  struct Children {
    std::vector<std::pair<std::string, Node>> ordered;
    std::unordered_map<std::string, Node> byLowerName;
  };
  struct RawValue {
    std::string utf8Name;  // as hivex gives it, for rewriting the other values unchanged
    std::string name;      // in the code page
    std::uint32_t type = 0;
    std::string data;
    bool big = false;
  };
  const Children& ChildrenOf(Node node);
  // Every value of a node; false when one cannot be read.
  bool ReadValues(Node node, std::vector<RawValue>& out, bool withData);
  Status WriteValues(Node node, const std::vector<RawValue>& values);
  std::string Name(const char* utf8, std::size_t len) const;

  std::recursive_mutex mutex_;
  hive_h* h_ = nullptr;
  std::string label_;
  bool writable_ = false;
  bool changed_ = false;
  const CodePage* cp_ = nullptr;
  std::map<Node, Children> children_;
};

}  // namespace platform::offline
