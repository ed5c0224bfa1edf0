// The program's entry: the real machine, and the real windows unless the
// command line asks for unattended work.
#include <string>
#include <vector>

#include "app/unattended.h"
#include "kvx_config.h"
#include "platform/win32/machine.h"

// The key the update list must be signed with: the build setting. The
// Windows tests build the same entry once more with a test key of their own.
#ifndef KVX_PROGRAM_UPDATE_KEY
#define KVX_PROGRAM_UPDATE_KEY KVX_UPDATE_PUBLIC_KEY
#endif

int main(int argc, char** argv) {
  auto machine = platform::win32::CreateMachine();
  return app::RunProgram(*machine, std::vector<std::string>(argv + 1, argv + argc),
                         [] { return platform::win32::CreateHost(); }, KVX_PROGRAM_UPDATE_KEY);
}
