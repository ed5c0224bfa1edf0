#pragma once
// An installation that is not running, in a fresh host folder: the volume
// (hives made by tools/hivemake) and a program folder beside it.
#include <gtest/gtest.h>
#include <hivex.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include <filesystem>
#include <fstream>
#include <optional>

#include "platform/offline/offline_machine.h"
#include "tools/hivemake/installation.h"

inline std::string Hex(const std::string& bytes) {
  std::string hex;
  for (unsigned char c : bytes) {
    char b[4];
    std::snprintf(b, sizeof b, "%02x", c);
    hex += b;
  }
  return hex;
}

// Reads a hive through hivex alone: every key path with its values as
// "name=type:hex", sorted, for comparing whole hives.
inline std::vector<std::string> Dump(const std::string& path) {
  std::vector<std::string> out;
  hive_h* h = hivex_open(path.c_str(), 0);
  if (!h) return {"(does not open)"};
  auto walk = [&](auto& self, hive_node_h node, const std::string& prefix) -> void {
    hive_value_h* values = hivex_node_values(h, node);
    for (hive_value_h* v = values; v && *v; ++v) {
      char* key = hivex_value_key(h, *v);
      hive_type t{};
      size_t len = 0;
      char* data = hivex_value_value(h, *v, &t, &len);
      out.push_back(prefix + "|" + key + "=" + std::to_string(t) + ":" + Hex(std::string(data, len)));
      std::free(key);
      std::free(data);
    }
    std::free(values);
    hive_node_h* children = hivex_node_children(h, node);
    for (hive_node_h* c = children; c && *c; ++c) {
      char* name = hivex_node_name(h, *c);
      out.push_back(prefix + "\\" + name);
      self(self, *c, prefix + "\\" + name);
      std::free(name);
    }
    std::free(children);
  };
  walk(walk, hivex_root(h), "");
  hivex_close(h);
  std::sort(out.begin(), out.end());
  return out;
}

class OfflineFixture : public ::testing::Test {
 public:
  static std::string Read(const std::filesystem::path& p) {
    std::ifstream f(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
  }

 protected:
  OfflineFixture() {
    char tmpl[] = "/tmp/kvx-offline-XXXXXX";
    root = mkdtemp(tmpl);
    volume = root / "volume";
    program = root / "program";
    std::filesystem::create_directories(program);
    std::filesystem::create_directories(volume);
  }
  ~OfflineFixture() override {
    std::error_code ec;
    std::filesystem::permissions(volume, std::filesystem::perms::all, ec);
    std::filesystem::remove_all(root, ec);
  }

  hivemake::Installation& Install(hivemake::InstallationSpec spec = {}) {
    installation.emplace(volume, std::move(spec));
    return *installation;
  }
  // Saves the hives and opens the installation.
  std::unique_ptr<platform::offline::OfflineMachine> Open(bool writable = false,
                                                          const std::string& user = "") {
    if (installation) installation->Save();
    platform::offline::OfflineOptions o;
    o.volume = volume.string();
    o.programPath = (program / "klaruvex-rescue").string();
    o.writable = writable;
    o.user = user;
    error.clear();
    return platform::offline::OfflineMachine::Open(o, &error, &failure);
  }
  std::filesystem::path root, volume, program;
  std::optional<hivemake::Installation> installation;
  std::string error;
  platform::offline::OfflineMachine::Failure failure{};
};
