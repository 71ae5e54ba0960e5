// What the end-to-end helper programs share: a line log that the harness reads while they run,
// wall-clock time in milliseconds since 1970 (comparable with the harness's own clock), and the
// stop file by which the harness ends them.
#pragma once

#include <windows.h>

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>

static FILE* g_log;

static inline void OpenLog(const char* path) { g_log = fopen(path, "w"); }

static inline void Log(const char* format, ...) {
  if (!g_log) return;
  va_list args;
  va_start(args, format);
  vfprintf(g_log, format, args);
  va_end(args);
  fputc('\n', g_log);
  fflush(g_log);
}

static inline unsigned long long NowMs() {
  FILETIME ft;
  GetSystemTimeAsFileTime(&ft);
  unsigned long long t = ((unsigned long long)ft.dwHighDateTime << 32) | ft.dwLowDateTime;
  return (t - 116444736000000000ULL) / 10000ULL;
}

static inline bool StopRequested(const char* stopFile) {
  return GetFileAttributesA(stopFile) != INVALID_FILE_ATTRIBUTES;
}

// Hex of a byte string, so the log shows the exact code-page bytes.
static inline void ToHex(const char* bytes, char* out, size_t outSize) {
  static const char digits[] = "0123456789abcdef";
  size_t n = 0;
  for (const unsigned char* p = (const unsigned char*)bytes; *p && n + 3 <= outSize; ++p) {
    out[n++] = digits[*p >> 4];
    out[n++] = digits[*p & 15];
  }
  out[n] = 0;
}
