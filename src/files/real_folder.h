// Where a folder really leads, as Windows tells it: the long form of every name, every link on
// the way followed, and only links an administrator made.
#pragma once

// Asks Windows where folder really leads and stores it in real (a PathBuffer), as plain text:
// the long form of every name, every link (symbolic link, junction, mount point) on the folder
// or a folder above it followed, and a drive letter that stands for a folder or a share
// replaced. Returns 0 when Windows cannot tell: a name on the path cannot be found or comes back
// unusable, a link cannot be resolved on this system, or folder is no path below a drive; and,
// with trustedLinksOnly, when a link on the path is not one an administrator made
// (IsTrustedLink). A folder whose files are to be deleted is followed only through such links;
// the system's own folders, which the guard refuses wherever they lead, through any.
int FindRealFolder(const char* folder, char* real, int trustedLinksOnly);

// Whether the link at path (opened itself, not what it leads to) is owned by the Administrators
// group, SYSTEM or TrustedInstaller, as Windows 11's RedirectionGuard decides: only such a link
// was made by someone who could change the system anyway. A link a standard user made, or one
// whose owner Windows cannot tell, is not trusted.
int IsTrustedLink(const char* path);

// The plain text of a final path as SysGetFinalPathNameByHandle gives it, in real (a
// PathBuffer): "\\?\C:\..." becomes "C:\...", and "\\?\UNC\server\share\..." becomes
// "\\server\share\...". Returns 0 for any other form (a volume without a drive letter) and for a
// path with a name that the conversion to the ANSI code page changed.
int PlainFinalPath(const char* final, char* real);
