// The product's files: the install folder, its executable in the system directory, the
// Start-menu program group and the desktop shortcut.
#pragma once

// Deletes the files directly in g_installDir, the folder itself, and the system executable.
void RemoveInstallFiles();

// Removes the program group and the desktop shortcut, all-users folders first.
void RemoveShellItems();
