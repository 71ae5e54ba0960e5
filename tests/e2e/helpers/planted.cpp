// End-to-end helper: a DLL that the harness copies beside the uninstaller under the names of
// system DLLs that Windows loads on demand. Whenever a process loads it, it leaves a mark file
// beside itself (its own path plus ".ran", holding the loading program's path) and refuses to
// stay loaded, so the program goes on as if the DLL were missing.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  char mark[MAX_PATH + 8];
  DWORD length = GetModuleFileNameA(module, mark, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return FALSE;
  lstrcatA(mark, ".ran");
  HANDLE file = CreateFileA(mark, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    char program[MAX_PATH];
    DWORD size = GetModuleFileNameA(nullptr, program, MAX_PATH);
    DWORD written;
    WriteFile(file, program, size < MAX_PATH ? size : 0, &written, nullptr);
    CloseHandle(file);
  }
  return FALSE;
}
