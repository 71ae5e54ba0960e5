// The two Windows calls of the text functions, as Wine makes them in code page 949:
// IsDBCSLeadByte is true for 0x81 to 0xFE; CharLowerBuffA converts to UTF-16, lowers and
// converts back, so a pair the code page does not define, or a lead byte at the end, becomes
// one '?', and it returns the bytes it wrote, which may be fewer than it was given (the rest
// stays as it was). The guard's other Windows calls know no folder here.
#include "standins.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "cp949_table.inc"
#include "files/real_folder.h"
#include "platform/path.h"
#include "platform/platform.h"

LowerMode g_lowerMode = kLowerLikeWine;

namespace {

bool IsValidPair(unsigned char lead, unsigned char trail) {
  return (kValidPairs[(lead - 0x81) * 32 + trail / 8] >> (trail % 8)) & 1;
}

}  // namespace

BOOL SysIsDBCSLeadByte(BYTE byte) { return byte >= 0x81 && byte <= 0xFE; }

DWORD SysCharLowerBuff(char* text, DWORD length) {
  if (g_lowerMode == kLowerFails) return 0;
  unsigned char* bytes = reinterpret_cast<unsigned char*>(text);
  DWORD read = 0, written = 0;
  while (read < length) {
    unsigned char c = bytes[read];
    if (SysIsDBCSLeadByte(c)) {
      if (read + 1 >= length) {
        bytes[written++] = '?';
        ++read;
        continue;
      }
      unsigned char trail = bytes[read + 1];
      read += 2;
      if (!IsValidPair(c, trail)) {
        bytes[written++] = '?';
        continue;
      }
      for (const unsigned char* pair : kLowerPairs) {
        if (pair[0] == c && pair[1] == trail) {
          c = pair[2];
          trail = pair[3];
          break;
        }
      }
      bytes[written++] = c;
      bytes[written++] = trail;
    } else {
      bytes[written++] = c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c - 'A' + 'a') : c;
      ++read;
    }
  }
  if (g_lowerMode == kLowerShortens && written > 0) --written;
  return written;
}

BOOL SysGetSpecialFolderPath(char*, int) { return FALSE; }
DWORD SysGetEnvironmentVariable(const char*, char*, DWORD) { return 0; }
int FindRealFolder(const char*, char*) { return 0; }
int GetSystemFolder(PathBuffer folder) { return folder[0] = 0; }
int GetWindowsFolder(PathBuffer folder) { return folder[0] = 0; }

int FormatPath(char* buffer, int size, const char* format, ...) {
  if (size <= 0) return 0;
  va_list args;
  va_start(args, format);
  int written = vsnprintf(buffer, static_cast<size_t>(size), format, args);
  va_end(args);
  if (written < 0 || written >= size) {
    buffer[0] = 0;
    return 0;
  }
  return 1;
}
