// The product's files: the install folder, its executable in the system directory, the
// Start-menu program group and the desktop shortcut.
#pragma once

// Collects the system folders that the install folder is judged against (CollectGuardedFolders).
// It only reads, so the uninstall does it while the components are given their second; the
// next RemoveInstallFiles uses what it collected.
void PrepareInstallFiles();

// Deletes the files directly in g_installDir, the folder itself, and the system executable.
// A folder that cannot be searched, or that cannot be the product's own, is left alone, and the
// system executable with it. Judges by the folders PrepareInstallFiles collected, and collects
// them itself when it was not called since the last removal. Returns 0 when a file of the
// product's stays for good (files that go at the next start of Windows count as gone): then the
// record of the install folder must stay for the next run to find.
int RemoveInstallFiles();

// Removes the program group and the desktop shortcut, all-users folders first.
void RemoveShellItems();

// Removes the program group (its files, one level, and the folder) from the Programs folder
// given, without a trailing backslash.
void RemoveProgramGroup(const char* programsFolder);
