// A Win32 service for the tests: reports a pending start with rising check
// points, runs until it is told to stop, and stops through a pending state.
#include "platform/win32/win.h"

namespace {

SERVICE_STATUS_HANDLE statusHandle;
HANDLE stopEvent;
SERVICE_STATUS status;

void Report(DWORD state, DWORD checkPoint, DWORD waitHint) {
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = state;
  status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
  status.dwWin32ExitCode = NO_ERROR;
  status.dwCheckPoint = checkPoint;
  status.dwWaitHint = waitHint;
  SetServiceStatus(statusHandle, &status);
}

DWORD WINAPI Handler(DWORD control, DWORD, LPVOID, LPVOID) {
  if (control == SERVICE_CONTROL_STOP) {
    Report(SERVICE_STOP_PENDING, 1, 2000);
    SetEvent(stopEvent);
  } else if (control == SERVICE_CONTROL_INTERROGATE) {
    SetServiceStatus(statusHandle, &status);
  }
  return NO_ERROR;
}

void WINAPI ServiceMain(DWORD, LPSTR*) {
  statusHandle = RegisterServiceCtrlHandlerExA("", Handler, nullptr);
  if (!statusHandle) return;
  stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  for (DWORD step = 1; step <= 3; ++step) {
    Report(SERVICE_START_PENDING, step, 1000);
    Sleep(150);
  }
  Report(SERVICE_RUNNING, 0, 0);
  WaitForSingleObject(stopEvent, INFINITE);
  Sleep(150);
  Report(SERVICE_STOPPED, 0, 0);
}

}  // namespace

int main() {
  char name[] = "";
  SERVICE_TABLE_ENTRYA table[] = {{name, ServiceMain}, {nullptr, nullptr}};
  return StartServiceCtrlDispatcherA(table) ? 0 : 1;
}
