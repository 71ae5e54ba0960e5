// Process entry point of TolvaneUninstall.exe. The exe has its own entry instead of the MinGW C
// runtime's start-up code: that code would try LoadLibraryA("libgcc_s_dw2-1.dll"), letting a
// DLL of that name placed beside the uninstaller run inside it, and the uninstaller needs nothing
// it sets up (no static constructors, no command line parsing, no thread-local data). msvcrt.dll
// initialises itself when it is loaded.
#include "control/dll_search.h"
#include "control/elevation.h"
#include "control/redirection_trust.h"
#include "control/start_folder.h"

extern "C" void __stdcall TolvaneEntry() {
  // First of all, before anything can load a library: no DLL from the program's own folder.
  RestrictDllSearch();
  // And before any file is looked at: where Windows has RedirectionGuard (Windows 11 22H2 and
  // later), no junction a standard user made is followed by any open of this process. Elsewhere
  // the file removal's own checks are what keep links out.
  EnforceRedirectionTrust();
  // Out of the folder it was started in, which may be the install folder it is about to remove.
  LeaveStartFolder();
  // Administrator rights first: without them this copy starts one that gets them, or says that
  // they are needed, and ends. Of the command line only the marker of a relaunched copy is read.
  ExitProcess(RunWithRights(GetCommandLineA()));
}
