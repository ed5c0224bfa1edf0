#pragma once
// Registry hive files for tests and demos of the rescue from Linux: the
// smallest valid empty hive written from the format, then keys and values
// added through hivex. Texts are UTF-8 here; the hive keeps UTF-16LE.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct hive_h;

namespace hivemake {

// A base block and one 4 KiB hive bin holding the root key (named rootName)
// and its security cell: 8,192 bytes.
std::string EmptyHive(std::string_view rootName = "ROOT");

// Sets the base block's two sequence numbers (a hive left dirty has them
// differ) and mends the header checksum.
void SetSequenceNumbers(std::string& hive, std::uint32_t primary, std::uint32_t secondary);

// A hive file opened for writing through hivex. Key paths are separated by
// backslashes, below the root; missing keys are created.
class Hive {
 public:
  // Writes an empty hive to path and opens it. Throws on failure.
  static Hive Create(const std::string& path, std::string_view rootName = "ROOT");
  // Opens an existing hive for writing. Throws on failure.
  static Hive OpenExisting(const std::string& path);
  Hive(Hive&&) noexcept;
  ~Hive();

  Hive& Key(std::string_view path);
  Hive& String(std::string_view key, std::string_view name, std::string_view value);
  Hive& ExpandString(std::string_view key, std::string_view name, std::string_view value);
  Hive& MultiString(std::string_view key, std::string_view name,
                    const std::vector<std::string>& values);
  Hive& Dword(std::string_view key, std::string_view name, std::uint32_t value);
  Hive& Binary(std::string_view key, std::string_view name, std::string_view bytes);
  // A value of any type with the given bytes.
  Hive& Raw(std::string_view key, std::string_view name, std::uint32_t type,
            std::string_view bytes);
  // Writes the hive to its file (or to another path).
  void Save(const std::string& path = "");

 private:
  Hive(hive_h* h, std::string path) : h_(h), path_(std::move(path)) {}
  std::size_t Node(std::string_view path, bool create);
  hive_h* h_ = nullptr;
  std::string path_;
};

// UTF-8 as UTF-16LE bytes with a terminating NUL, as Windows stores strings.
std::string Utf16(std::string_view utf8);

}  // namespace hivemake
