#pragma once
// Makes every allocation of at least `fromBytes` bytes throw std::bad_alloc
// while it lives: memory running out in the middle of loading a file. The
// replaced operator new is in hostile_input_test.cpp.
#include <cstddef>

class FailAllocations {
 public:
  explicit FailAllocations(std::size_t fromBytes);
  ~FailAllocations();
  FailAllocations(const FailAllocations&) = delete;
  FailAllocations& operator=(const FailAllocations&) = delete;
};
