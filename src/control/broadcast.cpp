#include "control/broadcast.h"

#include "platform/platform.h"

static const char kComponentMessageName[] = "_Tolvane BroadCast Message_";
static const DWORD kComponentGraceMs = 1000;
static const DWORD kTickStepMs = 16;  // GetTickCount's step: 10 to 15.6 ms

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
  // Counted to the millisecond by the performance counter, since GetTickCount's steps would cut
  // up to 16 ms off the second; and by the tick count as well, give or take one step, since the
  // counter of some multi-processor machines of Windows XP's time runs backwards or jumps when
  // the thread moves to another processor. Sleep may end a step early: the clocks are read again.
  DWORD counterAtReturn = SysGetMilliseconds(), ticksAtReturn = SysGetTickCount();
  if (whileWaiting) whileWaiting();
  for (;;) {
    DWORD byCounter = SysGetMilliseconds() - counterAtReturn;
    DWORD byTicks = SysGetTickCount() - ticksAtReturn + kTickStepMs;
    DWORD left = 0;
    if (byCounter < kComponentGraceMs) left = kComponentGraceMs - byCounter;
    if (byTicks < kComponentGraceMs && kComponentGraceMs - byTicks > left)
      left = kComponentGraceMs - byTicks;
    if (!left) return 1;
    SysSleep(left);
  }
}
