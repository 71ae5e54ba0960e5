// The rights the uninstaller runs with. It carries no manifest (its one resource is its icon), so
// on Windows Vista and later only the installer detection raises it, for the word "Uninstall" in
// its name, and that detection is off by default on machines joined to a domain: there it would
// start with the user's limited token, fail to remove what is machine-wide (or have it land in
// the per-user VirtualStore), and still say that Tolvane has been removed.
#pragma once

#include <windows.h>

// Runs the uninstaller with the rights it needs. A copy that does not run elevated while UAC is
// on asks Windows to start the uninstaller again elevated ("runas") and ends at once, whether the
// user accepts or declines, having shown nothing, changed nothing and taken no mutex. Elsewhere
// (elevated, UAC off, Windows XP and older, the 9x family, or where any of that cannot be told:
// a relaunch must be certain to end elevated or not at all, never in a loop) it runs
// RunUninstall with the four arguments. Returns the exit code, 0.
int RunWithRights(HINSTANCE instance, LPSTR commandLine, int showState);
