// Where a folder is, as Windows tells it: the long form of every name on its path, with or
// without following the links on the way.
#pragma once

// Walks folder name by name as Windows lists each and stores its long form in longForm (a
// PathBuffer): "C:\name\...", the drive letter upper-cased and every name as the folder that holds
// it spells it (short 8.3 names expanded). Returns 0 when folder is no path below a drive, a name
// on the way cannot be found, is no folder, comes back unusable or does not fit, and when any
// folder on the way is a link (symbolic link, junction, mount point): a folder whose files are
// deleted is never reached through one. Looks at the path, not at where a drive letter leads.
int FindLongForm(const char* folder, char* longForm);

// Asks Windows where folder really leads and stores it in real (a PathBuffer), as plain text:
// the long form of every name, every link on the folder or a folder above it followed, and a
// drive letter that stands for a folder or a share replaced. Returns 0 when Windows cannot tell:
// a name on the path cannot be found or comes back unusable, a link cannot be resolved on this
// system, or folder is no path below a drive. For the system's own folders, which the guard
// refuses wherever they lead.
int FindRealFolder(const char* folder, char* real);
