// The program's entry: the real machine and the real windows.
#include "app/program.h"
#include "platform/win32/machine.h"

int main() {
  auto machine = platform::win32::CreateMachine();
  auto host = platform::win32::CreateHost();
  app::Program program(*machine, *host);
  return program.Main();
}
