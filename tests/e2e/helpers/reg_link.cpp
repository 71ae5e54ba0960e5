// End-to-end helper: makes a registry link key, which reg.exe cannot. The link at <path> leads to
// the existing key <target path>, both as this program sees them (HKLM or HKCU); it is built for
// the uninstaller's architecture, so Wine redirects them as it does the fixture's other keys; the link holds the target's native name
// (\REGISTRY\MACHINE\...) without a terminator, as Windows' own links do. Exit code 0 when made.
//   e2e_reg_link <root> <path> <target root> <target path>
#include <windows.h>
#include <string.h>

static HKEY Root(const char* name) {
  return !strcmp(name, "HKLM") ? HKEY_LOCAL_MACHINE
         : !strcmp(name, "HKCU") ? HKEY_CURRENT_USER
                                 : nullptr;
}

// ntdll's NtQueryKey with KeyNameInformation (3): the key's native name.
struct KeyNameInformation {
  ULONG length;  // in bytes
  WCHAR name[1024];
};
typedef LONG(WINAPI* NtQueryKeyFunction)(HANDLE, int, void*, ULONG, ULONG*);

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  if (__argc != 5 || !Root(__argv[1]) || !Root(__argv[3])) return 2;
  HKEY target;
  if (RegOpenKeyExA(Root(__argv[3]), __argv[4], 0, KEY_READ, &target) != ERROR_SUCCESS) return 3;
  static KeyNameInformation native;
  ULONG length = 0;
  NtQueryKeyFunction query = reinterpret_cast<NtQueryKeyFunction>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryKey")));
  LONG status = query ? query(target, 3, &native, sizeof(native), &length) : -1;
  RegCloseKey(target);
  if (status != 0) return 4;

  WCHAR path[1024];
  if (!MultiByteToWideChar(CP_ACP, 0, __argv[2], -1, path, 1024)) return 5;
  HKEY link;
  if (RegCreateKeyExW(Root(__argv[1]), path, 0, nullptr, REG_OPTION_CREATE_LINK,
                      KEY_ALL_ACCESS | KEY_CREATE_LINK, nullptr, &link, nullptr) != ERROR_SUCCESS)
    return 6;
  LONG set = RegSetValueExW(link, L"SymbolicLinkValue", 0, REG_LINK,
                            reinterpret_cast<const BYTE*>(native.name), native.length);
  RegCloseKey(link);
  return set == ERROR_SUCCESS ? 0 : 7;
}
