// The whole life of the program: single-instance guard, lookup, confirmation, notification,
// cleanup in its fixed order, and the closing message.
#pragma once

#include <windows.h>

extern const char kMutexName[];
extern const char kCaption[];
extern const char kAlreadyRemovedText[];
extern const char kConfirmText[];
extern const char kCompletedText[];
extern const char kRightsText[];

// Ignores all four arguments; returns 0, the exit code, on every path.
int RunUninstall(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showState);
