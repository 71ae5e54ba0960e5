#include "control/start_folder.h"

#include "platform/path.h"
#include "platform/platform.h"

int LeaveStartFolder() {
  PathBuffer system;
  UINT length = SysGetSystemDirectory(system, sizeof(system));
  return length > 0 && length < sizeof(system) && SysSetCurrentDirectory(system);
}
