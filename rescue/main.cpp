// klaruvex-rescue: the unattended program run from Linux on a Windows
// installation that is not running (see rescue.h).
#include <unistd.h>

#include <climits>
#include <iostream>
#include <string>
#include <vector>

#include "rescue/rescue.h"

int main(int argc, char** argv) {
  // The program's own files lie beside it, wherever it was started from.
  char self[PATH_MAX] = {};
  const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  const std::string program = n > 0 ? std::string(self, static_cast<std::size_t>(n)) : argv[0];
  return rescue::RunRescue(std::vector<std::string>(argv + 1, argv + argc), program, std::cout,
                           std::cerr);
}
