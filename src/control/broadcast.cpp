#include "control/broadcast.h"

#include "platform/platform.h"

static const char kComponentMessageName[] = "_Tolvane BroadCast Message_";
static const DWORD kComponentGraceMs = 1000;

// The broadcast goes to every top-level window in turn and waits for each to handle it: that
// wait is the components' chance to shut down. A window whose thread Windows already counts as
// hung (no messages read for about five seconds) is skipped at once; any other window is waited
// for up to kComponentReplyBoundMs, four times the hung threshold, so that a component that
// takes several seconds to stop is still waited for, while a window that stops responding in
// the middle of handling the message holds the uninstall back for 20 seconds at most.
static const UINT kComponentReplyFlags = SMTO_NORMAL | SMTO_ABORTIFHUNG;
static const UINT kComponentReplyBoundMs = 20000;

UINT GetComponentMessage() { return SysRegisterWindowMessage(kComponentMessageName); }

int NotifyComponents(LPARAM code, void (*whileWaiting)()) {
  // A failed registration gives 0; the broadcast and the wait still happen.
  UINT message = GetComponentMessage();
  SysSendMessageTimeout(HWND_BROADCAST, message, 0, code, kComponentReplyFlags,
                        kComponentReplyBoundMs);
  // Counted to the millisecond: GetTickCount's steps would cut up to 16 ms off the second.
  DWORD returned = SysGetMilliseconds();
  if (whileWaiting) whileWaiting();
  DWORD spent = SysGetMilliseconds() - returned;
  if (spent < kComponentGraceMs) SysSleep(kComponentGraceMs - spent);
  return 1;
}
