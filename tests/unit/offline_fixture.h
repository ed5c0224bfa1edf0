#pragma once
// An installation that is not running, in a fresh host folder: the volume
// (hives made by tools/hivemake) and a program folder beside it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>

#include "platform/offline/offline_machine.h"
#include "tools/hivemake/installation.h"

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
