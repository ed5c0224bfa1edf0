// The console twin's entry: the unattended command line on the real
// machine, its lines on the console, never a window.
#include <string>
#include <vector>

#include "app/console.h"
#include "kvx_config.h"
#include "platform/win32/machine.h"

int main(int argc, char** argv) {
  auto machine = platform::win32::CreateMachine();
  return app::RunConsole(*machine, std::vector<std::string>(argv + 1, argv + argc),
                         platform::win32::WriteStandardOutput,
                         platform::win32::WriteStandardError, KVX_UPDATE_PUBLIC_KEY);
}
