#include "control/start_folder.h"

#include "platform/path.h"
#include "platform/platform.h"

int LeaveStartFolder() {
  PathBuffer system;
  return GetSystemFolder(system) && SysSetCurrentDirectory(system);
}
