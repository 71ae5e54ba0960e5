// Deletion at the next start of Windows, for the files that Windows will not delete while they
// are in use (a running image, a loaded DLL).
#pragma once

// Whether this Windows has ntdll's file calls, with which a folder is held and its entries are
// opened through its handle: the whole NT family, whatever version a compatibility layer
// reports. Without them (the 9x family) files go by their names.
int HasHandleCalls();

// Asks for the deletion of path at the next start of Windows, where it stands: through
// MoveFileEx where the handle calls exist, else through WININIT.INI's [rename] section, by its
// short name, as Windows 9x processes it at its start. Only for a path that nobody but an
// administrator can redirect meanwhile (a folder of the uninstaller's own, the system
// directory), or on the 9x family, which has no links and no rights. Returns 0 when it could
// not be asked for.
int DeleteAtRestart(const char* path);

// Deletes the file at path now, a read-only one too, or, when Windows will not delete it now,
// at the next start of Windows (DeleteAtRestart, with its conditions). Returns 1 when it is gone
// now.
int DeleteNowOrAtRestart(const char* path);
