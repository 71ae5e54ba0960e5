// The rights the uninstaller runs with. It carries no manifest (its one resource is its icon),
// so on Windows Vista and later only the installer detection raises it, for the word
// "Uninstall" in its name, and that detection is off by default on machines joined to a domain:
// there it would start with the user's limited token, fail to remove what is machine-wide (or
// have it land in the per-user VirtualStore), and still say that Tolvane has been removed.
#pragma once

#include <windows.h>

// The argument a copy passes to the one it starts for its rights. It only keeps that copy from
// starting yet another: it grants nothing, so whoever adds it to a command line can at most
// stop a relaunch. Every other argument is ignored.
extern const char kRelaunchedMarker[];

// Runs the uninstaller with the rights it needs, decided from the live token, never from a
// setting that may wait for the next start of Windows:
// - elevated, an administrator where UAC does not hold, or where nothing can be told (the 9x
//   family, NT 4): RunUninstall;
// - a limited administrator's token (UAC holds now), or a user who is no administrator where UAC
//   holds now (the token may be virtualized) or on Windows 2000 and XP (the "Run As" dialog):
//   the uninstaller started again with "runas" and the marker, once; this copy ends having
//   shown nothing, changed nothing and taken no mutex, whether the user accepts or cancels;
// - a user who is no administrator and cannot get the rights that way (UAC does not hold now),
//   a relaunch that Windows refused or that failed, and a relaunched copy still without the
//   rights: one box saying that administrator rights are needed, and nothing changed.
// commandLine is the program's own; only the marker is looked for in it. Returns the exit
// code, 0.
int RunWithRights(const char* commandLine);
