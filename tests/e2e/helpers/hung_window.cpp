// End-to-end helper: an unrelated program whose window has stopped responding. It shows a
// top-level window, reads its messages until the window is up, logs "ready", and from then on
// never reads a message again until the stop file appears or the deadline passes; after about
// five seconds Windows (and Wine) count its thread as hung.
//   e2e_hung_window <log> <stop file> <deadline ms>
#include "helper_common.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  if (__argc != 4) return 2;
  OpenLog(__argv[1]);
  unsigned long long deadline = NowMs() + strtoul(__argv[3], nullptr, 10);

  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = DefWindowProcA;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = "TolvaneE2EHungWindow";
  if (!RegisterClassA(&windowClass)) return 1;
  HWND window = CreateWindowExA(0, windowClass.lpszClassName, "Not responding",
                                WS_OVERLAPPEDWINDOW | WS_VISIBLE, 600, 400, 200, 100, nullptr,
                                nullptr, instance, nullptr);
  if (!window) return 1;
  UpdateWindow(window);
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
  Log("ready time=%llu", NowMs());

  // Sleep is no wait on the message queue: from here on the thread reads nothing.
  while (!StopRequested(__argv[2]) && NowMs() < deadline) Sleep(50);
  Log("stopped");
  return 0;
}
