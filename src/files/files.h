// The product's files: the install folder, its executable in the system directory, the
// Start-menu program group and the desktop shortcut.
#pragma once

// Deletes the files directly in g_installDir, the folder itself, and the system executable.
// A folder that cannot be searched, or that cannot be the product's own, is left alone, and the
// system executable with it.
void RemoveInstallFiles();

// Removes the program group and the desktop shortcut, all-users folders first.
void RemoveShellItems();

// Removes the program group (its files, one level, and the folder) from the Programs folder
// given, without a trailing backslash.
void RemoveProgramGroup(const char* programsFolder);
