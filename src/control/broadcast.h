// Tells the product's running components, through a registered window message sent to every
// top-level window, that the product is being uninstalled.
#pragma once

#include <windows.h>

const LPARAM kUninstallNotice = 1023;  // carried in lParam

// The message number the system gives "_Tolvane BroadCast Message_" (0 if registration fails).
UINT GetComponentMessage();

// Broadcasts the message with wParam 0 and lParam code, then gives the components one second,
// counted from the broadcast's return. whileWaiting, when given, runs in that second: it must
// only read, for the components are still stopping. What is left of the second after it is
// waited out; when it took longer, the second is over and nothing more is waited. Always
// returns 1.
int NotifyComponents(LPARAM code, void (*whileWaiting)() = nullptr);
