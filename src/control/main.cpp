// Process entry point of TolvaneUninstall.exe.
#include "control/uninstall.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showState) {
  return RunUninstall(instance, previous, commandLine, showState);
}
