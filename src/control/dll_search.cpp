// Keeps DLLs placed beside the uninstaller out of it. Windows raises the uninstaller to
// administrator rights for its name, and it runs from wherever it was copied: a Downloads
// folder, a share, an unpacked archive. Windows' own libraries load further DLLs by name while
// it runs, and by default look in the program's folder first, so a DLL named like one of them
// and put next to the uninstaller would run with those rights.
//
// The exe carries no dependent-load flags (PE load configuration), which on Windows 10 1607 and
// later would also hold the static imports' own dependencies to the system directory: the MinGW
// linker (binutils 2.40) cannot write a load configuration directory, and where the flags are
// read, all five static imports are known DLLs, which Windows takes, with their dependencies,
// from the system directory anyway. (Wine 8 does not read them either.)
#include "control/dll_search.h"

#include "platform/family.h"
#include "platform/path.h"
#include "platform/platform.h"

// The DLLs that the program's message boxes and shell calls load by name after start-up, as a
// loader trace of a whole run shows (WINEDEBUG=+loaddll), less those Windows takes from the
// system directory in any case: the first message box loads uxtheme.dll for its frame. The
// others that trace shows are known DLLs on every NT version (ole32.dll, rpcrt4.dll), exist
// only where the call below does (combase.dll) or only in Wine (winex11.drv), or are loaded
// before the program's first instruction (imm32.dll, version.dll).
const char* const kPreloadedDlls[] = {"uxtheme.dll"};

typedef BOOL(WINAPI* SetDefaultDllDirectoriesCall)(DWORD flags);
typedef BOOL(WINAPI* SetDllDirectoryCall)(const char* path);

void RestrictDllSearch() {
  // Windows 8 and later, and Vista, 7 and their server versions with the update that added it:
  // from here on, DLLs loaded by name come from the system directory only.
  SetDefaultDllDirectoriesCall setDefaultDllDirectories =
      reinterpret_cast<SetDefaultDllDirectoriesCall>(
          reinterpret_cast<void*>(SysGetKernelProc("SetDefaultDllDirectories")));
  if (setDefaultDllDirectories && setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)) return;

  // The 9x family has none of this, and no rights for a planted DLL to gain: nothing is done.
  if (GetWindowsFamily() == kFamily9x) return;

  // Vista and 7 without that update, XP SP1 and later: the current folder leaves the search.
  SetDllDirectoryCall setDllDirectory = reinterpret_cast<SetDllDirectoryCall>(
      reinterpret_cast<void*>(SysGetKernelProc("SetDllDirectoryA")));
  if (setDllDirectory) setDllDirectory("");

  // Those, and NT 4, 2000 and XP before SP1: the program's folder still comes first. Load the
  // on-demand DLLs now, by their full path in the system directory; a later load by name finds
  // the module already loaded and takes it. They stay loaded until the process ends. Without a
  // whole system directory path nothing is loaded: never by bare name.
  PathBuffer systemDir;
  ZeroMemory(systemDir, sizeof(systemDir));
  if (!GetSystemFolder(systemDir)) return;
  for (const char* name : kPreloadedDlls) {
    PathBuffer path;
    if (FormatPath(path, kPathSize, "%s\\%s", systemDir, name)) SysLoadLibrary(path);
  }
}
