// End-to-end helper: stands in for the product's running components. A hidden top-level window
// registers the product's broadcast message and logs every receipt (wParam, lParam, time) with
// whether the product was still intact at that moment (class default value, first settings key,
// install folder). It polls the same items every 10 ms and logs when each disappears, so the
// harness can check the order: broadcast first, removals at least a second after the listener
// returned from it. With <handle ms> it takes that long to handle the broadcast, as a component
// that shuts down would, and logs when it returns. With <held file> it holds that file open
// without sharing its deletion until it stops, as a component that keeps its log open would.
//   e2e_listener <log> <stop file> <deadline ms> <install folder> [<handle ms> [<held file>]]
#include "helper_common.h"

static const char kClassKey[] = "CLSID\\{C19F4B73-6E2A-4D85-B0F7-8E3A1D9C5B26}\\InProcServer32";
static const char kConfigKey[] = "SOFTWARE\\Brenlock\\Tolvane\\Config";

static UINT g_message;
static const char* g_stopFile;
static const char* g_installDir;
static unsigned long long g_deadline;
static DWORD g_handleMs;
static bool g_classGone, g_configGone, g_folderGone;

static bool ClassValuePresent() {
  HKEY key;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, kClassKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
    return false;
  bool present = RegQueryValueExA(key, nullptr, nullptr, nullptr, nullptr, nullptr) ==
                 ERROR_SUCCESS;
  RegCloseKey(key);
  return present;
}

static bool ConfigKeyPresent() {
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kConfigKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
    return false;
  RegCloseKey(key);
  return true;
}

static bool FolderPresent() {
  return GetFileAttributesA(g_installDir) != INVALID_FILE_ATTRIBUTES;
}

static void Poll(bool* gone, bool present, const char* name) {
  if (!*gone && !present) {
    *gone = true;
    Log("gone %s time=%llu", name, NowMs());
  }
}

static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == g_message && g_message != 0) {
    Log("broadcast time=%llu wparam=%lu lparam=%ld classvalue=%d config=%d folder=%d", NowMs(),
        (unsigned long)wParam, (long)lParam, ClassValuePresent(), ConfigKeyPresent(),
        FolderPresent());
    if (g_handleMs) Sleep(g_handleMs);
    Log("returned time=%llu", NowMs());
    return 0;
  }
  if (message == WM_TIMER) {
    Poll(&g_classGone, ClassValuePresent(), "classvalue");
    Poll(&g_configGone, ConfigKeyPresent(), "config");
    Poll(&g_folderGone, FolderPresent(), "folder");
    if (StopRequested(g_stopFile) || NowMs() >= g_deadline) DestroyWindow(window);
    return 0;
  }
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  if (__argc < 5 || __argc > 7) return 2;
  OpenLog(__argv[1]);
  g_stopFile = __argv[2];
  g_deadline = NowMs() + strtoul(__argv[3], nullptr, 10);
  g_installDir = __argv[4];
  g_handleMs = __argc >= 6 ? strtoul(__argv[5], nullptr, 10) : 0;
  HANDLE held = INVALID_HANDLE_VALUE;
  if (__argc == 7) {
    held = CreateFileA(__argv[6], GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (held == INVALID_HANDLE_VALUE) return 1;
  }
  g_message = RegisterWindowMessageA("_Tolvane BroadCast Message_");

  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = "TolvaneE2EListener";
  if (!RegisterClassA(&windowClass)) return 1;
  // A top-level window, never shown: broadcasts reach hidden top-level windows too.
  HWND window = CreateWindowExA(0, windowClass.lpszClassName, "listener", WS_OVERLAPPED, 0, 0, 10,
                                10, nullptr, nullptr, instance, nullptr);
  if (!window || !SetTimer(window, 1, 10, nullptr)) return 1;
  g_classGone = !ClassValuePresent();
  g_configGone = !ConfigKeyPresent();
  g_folderGone = !FolderPresent();
  Log("ready message=%u classvalue=%d config=%d folder=%d", g_message, !g_classGone,
      !g_configGone, !g_folderGone);

  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
  if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
  Log("stopped");
  return 0;
}
