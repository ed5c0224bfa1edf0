#pragma once
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "platform/sim/sim_machine.h"
#include "platform/text.h"

// A simulated machine with drive C: on a fresh host folder holding the
// Windows folders.
class SimFixture : public ::testing::Test {
 protected:
  SimFixture() {
    char tmpl[] = "/tmp/kvx-unit-XXXXXX";
    root = mkdtemp(tmpl);
    machine.SimFiles().MapDrive('C', root);
    std::filesystem::create_directories(root / "WINDOWS" / "system32");
  }
  ~SimFixture() override { std::filesystem::remove_all(root); }

  void WriteFile(const std::string& winPath, std::string_view bytes) {
    auto folder = platform::ExtractFilePath(winPath);
    std::filesystem::create_directories(machine.SimFiles().HostPath(folder));
    ASSERT_EQ(platform::WriteWholeFile(machine.Files(), winPath, bytes), platform::kOk);
  }

  std::filesystem::path root;
  platform::sim::SimMachine machine;
};
