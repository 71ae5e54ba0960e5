// End-to-end helper: says what each path names now, as a program of the prefix sees it: its long
// form, or that nothing is there. The harness asks it about the paths a program left in
// WININIT.INI for the next start of Windows 9x, short names of Wine's own making included.
//   e2e_long_path <log> <path>...
// Logs "found path=<hex> long=<hex> attributes=<n>" or "missing path=<hex>" per path, the code
// page's bytes in hex, then "done".
#include "helper_common.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  if (__argc < 2) return 2;
  OpenLog(__argv[1]);
  for (int i = 2; i < __argc; ++i) {
    char longForm[MAX_PATH];
    char hexPath[2 * MAX_PATH + 1], hexLong[2 * MAX_PATH + 1];
    ToHex(__argv[i], hexPath, sizeof(hexPath));
    DWORD length = GetLongPathNameA(__argv[i], longForm, sizeof(longForm));
    if (length == 0 || length >= sizeof(longForm)) {
      Log("missing path=%s", hexPath);
      continue;
    }
    ToHex(longForm, hexLong, sizeof(hexLong));
    Log("found path=%s long=%s attributes=%lu", hexPath, hexLong,
        GetFileAttributesA(longForm));
  }
  Log("done");
  return 0;
}
