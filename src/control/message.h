// The uninstaller's message boxes, whose texts are Korean in code page 949 on every system.
#pragma once

#include <windows.h>

// Shows a message box with no owner window and returns the answer, as MessageBoxA does. Where
// the system's ANSI code page is 949 the bytes go to MessageBoxA as they are. Elsewhere
// MessageBoxA would read them in that code page and show mojibake, so they are converted from
// code page 949 and shown with MessageBoxW; where that conversion is not available (code page
// 949 not installed), MessageBoxA all the same.
int ShowMessage(const char* text, const char* caption, UINT style);
