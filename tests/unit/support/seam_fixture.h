// Shared test support: resets the platform seam after every test, so a stand-in set by one test
// never leaks into the next, and records the seam calls a test chooses to watch.
#pragma once

#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "platform/seam.h"

class SeamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    memset(&g_seam, 0, sizeof(g_seam));
    Calls().clear();
  }
  void TearDown() override { memset(&g_seam, 0, sizeof(g_seam)); }

 public:
  // The calls recorded by the stand-ins of the running test, in order.
  static std::vector<std::string>& Calls() {
    static std::vector<std::string> calls;
    return calls;
  }
  static void Record(const std::string& call) { Calls().push_back(call); }
};

// Runs the real operation from inside its own stand-in, which is taken out for the call and put
// back after it: PassThrough(g_seam.OpenEntry, &SysOpenEntry, folder, name, length).
template <typename Function, typename... Args>
auto PassThrough(Function& standIn, Function real, Args... args) {
  Function saved = standIn;
  standIn = nullptr;
  auto result = real(args...);
  standIn = saved;
  return result;
}

// Opens as Windows 2000 and later do, and Wine does not: in the merged view of HKEY_CLASSES_ROOT
// a key under HKCU\Software\Classes takes priority over the machine-wide key of the same name.
inline LONG OpenMergedClasses(HKEY root, const char* path, REGSAM access, HKEY* key) {
  std::string user = std::string("Software\\Classes\\") + path;
  if (root == HKEY_CLASSES_ROOT &&
      RegOpenKeyExA(HKEY_CURRENT_USER, user.c_str(), 0, access, key) == ERROR_SUCCESS)
    return ERROR_SUCCESS;
  return RegOpenKeyExA(root, path, 0, access, key);
}

// A clock for tests that stand in Sleep: the performance counter and the tick count read it
// (from bases of their own), and Sleep, recorded as "sleep N", moves it on.
struct SleepClock {
  DWORD counter = 4000000000u, ticks = 7000;  // the counter wraps during the wait
  DWORD shortfall = 0;                        // the next Sleep ends this much early
};
inline SleepClock& Clock() {
  static SleepClock clock;
  return clock;
}
inline void Advance(DWORD ms) {
  Clock().counter += ms;
  Clock().ticks += ms;
}
inline void UseSleepClock() {
  Clock() = SleepClock();
  g_seam.GetMilliseconds = []() -> DWORD { return Clock().counter; };
  g_seam.GetTickCount = []() -> DWORD { return Clock().ticks; };
  g_seam.Sleep = [](DWORD ms) {
    SeamTest::Record("sleep " + std::to_string(ms));
    Advance(ms - Clock().shortfall);
    Clock().shortfall = 0;
  };
}

// Text in the ANSI code page in UTF-16, converted by Windows itself, unchanged otherwise.
inline std::wstring FromAnsi(const std::string& ansi) {
  std::wstring wide(ansi.size() + 1, L'\0');
  int n = MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, &wide[0], wide.size());
  wide.resize(n > 0 ? n - 1 : 0);
  return wide;
}

// The UTF-8 text in code page 949, converted by Windows itself (independent of the program's
// byte strings).
inline std::string ToCp949(const char* utf8) {
  wchar_t wide[512];
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide, 512);
  char bytes[1024];
  int m = WideCharToMultiByte(949, 0, wide, n, bytes, sizeof(bytes), nullptr, nullptr);
  return m > 0 ? std::string(bytes, m - 1) : std::string("<conversion failed>");
}
