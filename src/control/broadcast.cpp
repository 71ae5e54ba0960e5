#include "control/broadcast.h"

#include "platform/platform.h"

static const char kComponentMessageName[] = "_Tolvane BroadCast Message_";
static const DWORD kComponentGraceMs = 1000;

UINT GetComponentMessage() { return SysRegisterWindowMessage(kComponentMessageName); }

int NotifyComponents(LPARAM code) {
  // A failed registration gives 0; the broadcast and the wait still happen.
  UINT message = GetComponentMessage();
  SysSendMessage(HWND_BROADCAST, message, 0, code);  // returns once every window handled it
  SysSleep(kComponentGraceMs);
  return 1;
}
