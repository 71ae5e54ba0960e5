// End-to-end helper: holds the uninstaller's single-instance mutex, as another program of the
// same name would, until the harness creates the stop file or the deadline passes.
//   e2e_mutex_holder <log> <stop file> <deadline ms>
#include "helper_common.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  if (__argc != 4) return 2;
  OpenLog(__argv[1]);
  HANDLE mutex = CreateMutexA(nullptr, TRUE, "_tolvane - updatextrict_");
  if (!mutex) {
    Log("error CreateMutexA %lu", GetLastError());
    return 1;
  }
  Log("ready");
  unsigned long long deadline = NowMs() + strtoul(__argv[3], nullptr, 10);
  while (!StopRequested(__argv[2]) && NowMs() < deadline) Sleep(20);
  Log("released");
  CloseHandle(mutex);
  return 0;
}
