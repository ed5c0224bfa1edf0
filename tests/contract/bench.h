#pragma once
// What the contract suite needs from each implementation of the platform:
// the machine, an empty folder to work in, and real running programs.
#include <cstdint>
#include <memory>
#include <string>

#include "platform/machine.h"

namespace contract {

class TestBench {
 public:
  virtual ~TestBench() = default;
  virtual platform::Machine& M() = 0;
  // An empty folder (Windows path, no trailing backslash), removed afterwards.
  virtual std::string Scratch() = 0;
  // Starts a long-running program whose executable is placed at winPath.
  virtual std::uint32_t StartProgram(const std::string& winPath) = 0;
  // Places the test service's program (which carries a version resource with
  // the copyright "Copyright (C) Brenvik Systems") at winPath.
  virtual bool PlaceServiceProgram(const std::string& winPath) = 0;
  // Registry key under HKEY_CURRENT_USER that the test may fill; removed afterwards.
  virtual std::string ScratchKey() = 0;
  // A link at `link` to the folder `target` that the system reports as a
  // reparse point; false when this system cannot make one.
  virtual bool MakeDirectoryLink(const std::string& link, const std::string& target) = 0;

  // What a machine may lack: an installation that is not running runs no
  // program and no service, and follows no link.
  virtual bool RunsPrograms() { return true; }
  virtual bool RunsServices() { return true; }
  virtual bool FollowsDirectoryLinks() { return true; }
};

std::unique_ptr<TestBench> MakeBench();

}  // namespace contract
