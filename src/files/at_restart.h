// Deletion at the next start of Windows on the 9x family, for the files that Windows will not
// delete while they are in use (a running image, a loaded DLL). The NT family's goes through
// handles, by paths nobody but an administrator can steer (restart_folder.h).
#pragma once

// The 9x family, which has no links and no rights: deletes the file at path now, a read-only one
// too, or, when Windows will not delete it now, at the next start of Windows through WININIT.INI's
// [rename] section, by its short name. Returns 0 when it stays for good.
int DeleteNowOrAtRestart(const char* path);
