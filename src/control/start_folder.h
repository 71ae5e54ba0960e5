// The folder the program was started in.
#pragma once

// Makes the system directory the program's current folder. A program's current folder is held
// open, and no folder can be removed while it is; the uninstaller is often started in the
// install folder (the program group's shortcut names it as "Start in"). Returns 0 when the
// current folder stays as it was.
int LeaveStartFolder();
