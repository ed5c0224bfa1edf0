// The program's entry: the real machine, and the real windows unless the
// command line asks for unattended work.
#include <string>
#include <vector>

#include "app/unattended.h"
#include "platform/win32/machine.h"

int main(int argc, char** argv) {
  auto machine = platform::win32::CreateMachine();
  return app::RunProgram(*machine, std::vector<std::string>(argv + 1, argv + argc),
                         [] { return platform::win32::CreateHost(); });
}
