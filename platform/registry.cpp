#include "platform/registry.h"

namespace platform {

std::vector<std::string> SplitKeyPath(std::string_view path) {
  std::vector<std::string> parts;
  std::string cur;
  for (char c : path) {
    if (c == '\\') {
      if (!cur.empty()) parts.push_back(std::move(cur));
      cur.clear();
    } else {
      cur += c;
    }
  }
  if (!cur.empty()) parts.push_back(std::move(cur));
  return parts;
}

std::optional<std::string> RegistryKey::ReadString(std::string_view name) {
  auto v = Query(name);
  if (!v || (v->type != ValueType::String && v->type != ValueType::ExpandString)) return std::nullopt;
  std::string s = std::move(v->data);
  if (auto nul = s.find('\0'); nul != std::string::npos) s.resize(nul);
  return s;
}

std::optional<std::vector<std::string>> RegistryKey::ReadMultiString(std::string_view name) {
  auto v = Query(name);
  if (!v || v->type != ValueType::MultiString) return std::nullopt;
  std::vector<std::string> out;
  const std::string& d = v->data;
  size_t i = 0;
  while (i < d.size()) {
    size_t nul = d.find('\0', i);
    if (nul == std::string::npos) nul = d.size();
    if (nul == i) break;  // the empty string ends the list
    out.emplace_back(d.substr(i, nul - i));
    i = nul + 1;
  }
  return out;
}

std::optional<std::uint32_t> RegistryKey::ReadDword(std::string_view name) {
  auto v = Query(name);
  if (!v || v->type != ValueType::Dword || v->data.size() != 4) return std::nullopt;
  const auto* b = reinterpret_cast<const unsigned char*>(v->data.data());
  return std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 | std::uint32_t(b[2]) << 16 |
         std::uint32_t(b[3]) << 24;
}

std::optional<std::string> RegistryKey::ReadBinary(std::string_view name) {
  auto v = Query(name);
  if (!v || v->type != ValueType::Binary) return std::nullopt;
  return std::move(v->data);
}

Status RegistryKey::WriteString(std::string_view name, std::string_view value) {
  std::string d(value);
  d.push_back('\0');
  return Set(name, ValueType::String, d);
}

Status RegistryKey::WriteExpandString(std::string_view name, std::string_view value) {
  std::string d(value);
  d.push_back('\0');
  return Set(name, ValueType::ExpandString, d);
}

Status RegistryKey::WriteMultiString(std::string_view name, const std::vector<std::string>& values) {
  std::string d;
  for (const auto& s : values) {
    d += s;
    d.push_back('\0');
  }
  d.push_back('\0');
  return Set(name, ValueType::MultiString, d);
}

Status RegistryKey::WriteDword(std::string_view name, std::uint32_t value) {
  char b[4] = {char(value & 0xFF), char(value >> 8 & 0xFF), char(value >> 16 & 0xFF),
               char(value >> 24 & 0xFF)};
  return Set(name, ValueType::Dword, std::string_view(b, 4));
}

Status RegistryKey::WriteBinary(std::string_view name, std::string_view bytes) {
  return Set(name, ValueType::Binary, bytes);
}

}  // namespace platform
