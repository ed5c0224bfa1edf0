#include "tools/hivemake/hivemake.h"

#include <hivex.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace hivemake {
namespace {

constexpr std::size_t kBaseBlock = 0x1000;
constexpr std::size_t kBin = 0x1000;
constexpr std::uint32_t kNone = 0xFFFFFFFF;

void Put16(std::string& b, std::size_t at, std::uint16_t v) {
  b[at] = static_cast<char>(v & 0xFF);
  b[at + 1] = static_cast<char>(v >> 8);
}

void Put32(std::string& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>(v >> (8 * i) & 0xFF);
}

std::uint32_t Get32(const std::string& b, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + i])) << (8 * i);
  return v;
}

// XOR of the base block's first 127 double words, with 0 and -1 avoided.
void MendChecksum(std::string& b) {
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i < 0x1FC; i += 4) sum ^= Get32(b, i);
  if (sum == 0xFFFFFFFF) sum = 0xFFFFFFFE;
  if (sum == 0) sum = 1;
  Put32(b, 0x1FC, sum);
}

// A self-relative security descriptor: owner Administrators, group SYSTEM,
// one ACE giving everyone full access to the key and its subkeys.
std::string SecurityDescriptor() {
  std::string sd(76, '\0');
  sd[0] = 1;                 // revision
  Put16(sd, 2, 0x8004);      // self-relative, DACL present
  Put32(sd, 4, 48);          // owner
  Put32(sd, 8, 64);          // group
  Put32(sd, 12, 0);          // no SACL
  Put32(sd, 16, 20);         // DACL
  sd[20] = 2;                // ACL revision
  Put16(sd, 22, 28);         // ACL size
  Put16(sd, 24, 1);          // one ACE
  sd[28] = 0;                // ACCESS_ALLOWED_ACE_TYPE
  sd[29] = 0x02;             // CONTAINER_INHERIT_ACE
  Put16(sd, 30, 20);         // ACE size
  Put32(sd, 32, 0xF003F);    // KEY_ALL_ACCESS
  sd[36] = 1;                // S-1-1-0
  sd[37] = 1;
  sd[43] = 1;
  Put32(sd, 44, 0);
  sd[48] = 1;                // S-1-5-32-544
  sd[49] = 2;
  sd[55] = 5;
  Put32(sd, 56, 32);
  Put32(sd, 60, 544);
  sd[64] = 1;                // S-1-5-18
  sd[65] = 1;
  sd[71] = 5;
  Put32(sd, 72, 18);
  return sd;
}

std::size_t Align8(std::size_t n) { return (n + 7) & ~static_cast<std::size_t>(7); }

[[noreturn]] void Fail(const std::string& what) {
  throw std::runtime_error("hivemake: " + what + ": " + std::strerror(errno));
}

}  // namespace

std::string EmptyHive(std::string_view rootName) {
  std::string b(kBaseBlock + kBin, '\0');
  // Base block.
  b.replace(0, 4, "regf");
  Put32(b, 0x04, 1);  // primary sequence number
  Put32(b, 0x08, 1);  // secondary sequence number
  Put32(b, 0x14, 1);  // major version
  Put32(b, 0x18, 5);  // minor version
  Put32(b, 0x1C, 0);  // primary file
  Put32(b, 0x20, 1);  // direct memory load
  Put32(b, 0x24, 0x20);  // root cell, from the start of the bins
  Put32(b, 0x28, kBin);  // size of the bins
  Put32(b, 0x2C, 1);     // clustering factor

  // The hive bin.
  const std::size_t bin = kBaseBlock;
  b.replace(bin, 4, "hbin");
  Put32(b, bin + 0x04, 0);    // offset of this bin
  Put32(b, bin + 0x08, kBin);  // its size

  // Root key cell.
  const std::size_t nkCell = 0x20;  // offsets are counted from the first bin
  const std::size_t nkSize = Align8(4 + 0x4C + rootName.size());
  const std::size_t skCell = nkCell + nkSize;
  const std::string sd = SecurityDescriptor();
  const std::size_t skSize = Align8(4 + 0x14 + sd.size());
  std::size_t at = bin + nkCell;
  Put32(b, at, static_cast<std::uint32_t>(-static_cast<std::int32_t>(nkSize)));  // in use
  at += 4;
  b.replace(at, 2, "nk");
  Put16(b, at + 0x02, 0x2C);   // hive entry, not deletable, name in ASCII
  Put32(b, at + 0x10, kNone);  // no parent
  Put32(b, at + 0x1C, kNone);  // no subkey list
  Put32(b, at + 0x20, kNone);  // no volatile subkey list
  Put32(b, at + 0x28, kNone);  // no value list
  Put32(b, at + 0x2C, static_cast<std::uint32_t>(skCell));
  Put32(b, at + 0x30, kNone);  // no class name
  Put16(b, at + 0x48, static_cast<std::uint16_t>(rootName.size()));
  b.replace(at + 0x4C, rootName.size(), rootName);

  // Its security cell, the only one: it links to itself.
  at = bin + skCell;
  Put32(b, at, static_cast<std::uint32_t>(-static_cast<std::int32_t>(skSize)));
  at += 4;
  b.replace(at, 2, "sk");
  Put32(b, at + 0x04, static_cast<std::uint32_t>(skCell));
  Put32(b, at + 0x08, static_cast<std::uint32_t>(skCell));
  Put32(b, at + 0x0C, 1);  // referenced by the root key
  Put32(b, at + 0x10, static_cast<std::uint32_t>(sd.size()));
  b.replace(at + 0x14, sd.size(), sd);

  // The rest of the bin is one free cell.
  const std::size_t freeCell = skCell + skSize;
  Put32(b, bin + freeCell, static_cast<std::uint32_t>(kBin - freeCell));

  MendChecksum(b);
  return b;
}

void SetSequenceNumbers(std::string& hive, std::uint32_t primary, std::uint32_t secondary) {
  Put32(hive, 4, primary);
  Put32(hive, 8, secondary);
  MendChecksum(hive);
}

std::string Utf16(std::string_view s) {
  std::string out;
  for (std::size_t i = 0; i < s.size();) {
    auto b = static_cast<unsigned char>(s[i]);
    char32_t u = b;
    int extra = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : 0;
    if (extra) u = b & (0x3F >> extra);
    for (int k = 1; k <= extra && i + k < s.size(); ++k)
      u = u << 6 | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    i += 1 + extra;
    auto put = [&](char32_t w) {
      out += static_cast<char>(w & 0xFF);
      out += static_cast<char>(w >> 8);
    };
    if (u >= 0x10000) {
      put(0xD800 + ((u - 0x10000) >> 10));
      put(0xDC00 + ((u - 0x10000) & 0x3FF));
    } else {
      put(u);
    }
  }
  out.append(2, '\0');
  return out;
}

Hive Hive::Create(const std::string& path, std::string_view rootName) {
  {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f << EmptyHive(rootName);
    if (!f) Fail("cannot write " + path);
  }
  return OpenExisting(path);
}

Hive Hive::OpenExisting(const std::string& path) {
  hive_h* h = hivex_open(path.c_str(), HIVEX_OPEN_WRITE);
  if (!h) Fail("hivex cannot open " + path);
  return Hive(h, path);
}

Hive::Hive(Hive&& o) noexcept : h_(o.h_), path_(std::move(o.path_)) { o.h_ = nullptr; }

Hive::~Hive() {
  if (h_) hivex_close(h_);
}

std::size_t Hive::Node(std::string_view path, bool create) {
  hive_node_h node = hivex_root(h_);
  std::size_t i = 0;
  while (i < path.size()) {
    std::size_t end = path.find('\\', i);
    if (end == std::string_view::npos) end = path.size();
    const std::string part(path.substr(i, end - i));
    i = end + 1;
    if (part.empty()) continue;
    hive_node_h child = hivex_node_get_child(h_, node, part.c_str());
    if (!child) {
      if (!create) Fail("no key " + std::string(path));
      child = hivex_node_add_child(h_, node, part.c_str());
      if (!child) Fail("cannot add key " + part);
    }
    node = child;
  }
  return node;
}

Hive& Hive::Key(std::string_view path) {
  Node(path, true);
  return *this;
}

Hive& Hive::Raw(std::string_view key, std::string_view name, std::uint32_t type,
                std::string_view bytes) {
  const std::string n(name), data(bytes);
  hive_set_value v{const_cast<char*>(n.c_str()), static_cast<hive_type>(type), data.size(),
                   const_cast<char*>(data.data())};
  if (hivex_node_set_value(h_, Node(key, true), &v, 0) != 0) Fail("cannot set value " + n);
  return *this;
}

Hive& Hive::String(std::string_view key, std::string_view name, std::string_view value) {
  return Raw(key, name, 1, Utf16(value));
}

Hive& Hive::ExpandString(std::string_view key, std::string_view name, std::string_view value) {
  return Raw(key, name, 2, Utf16(value));
}

Hive& Hive::MultiString(std::string_view key, std::string_view name,
                        const std::vector<std::string>& values) {
  std::string bytes;
  for (const auto& v : values) bytes += Utf16(v);
  bytes.append(2, '\0');
  return Raw(key, name, 7, bytes);
}

Hive& Hive::Dword(std::string_view key, std::string_view name, std::uint32_t value) {
  std::string b(4, '\0');
  Put32(b, 0, value);
  return Raw(key, name, 4, b);
}

Hive& Hive::Binary(std::string_view key, std::string_view name, std::string_view bytes) {
  return Raw(key, name, 3, bytes);
}

void Hive::Save(const std::string& path) {
  if (hivex_commit(h_, path.empty() ? nullptr : path.c_str(), 0) != 0)
    Fail("cannot write " + (path.empty() ? path_ : path));
}

}  // namespace hivemake
