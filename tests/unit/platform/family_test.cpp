// Which family the program takes itself to run on: told by ntdll's file calls, whatever version
// is reported. Wine has the calls in every version it plays (its "win98" setting included); the
// 9x family, which lacks them, and what it reports come through the seam.
#include "platform/family.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "support/seam_fixture.h"

namespace {

const DWORD kNt = VER_PLATFORM_WIN32_NT, k9x = VER_PLATFORM_WIN32_WINDOWS;
const DWORD kMissing = 0xFFFF;  // the query fails

struct Answers {
  const char* missingCall;  // the ntdll call this Windows lacks, or null
  DWORD program;            // GetVersionExA's platform
} g_answers;

class Family : public SeamTest {
 protected:
  void SetUp() override {
    SeamTest::SetUp();
    g_seam.GetNtProc = [](const char* name) -> FARPROC {
      const char* missing = g_answers.missingCall;
      if (missing && (!*missing || !strcmp(missing, name))) return nullptr;
      return PassThrough(g_seam.GetNtProc, &SysGetNtProc, name);
    };
    g_seam.GetVersionEx = [](OSVERSIONINFOA* version) -> BOOL {
      Record("program " + std::to_string(version->dwOSVersionInfoSize));
      if (g_answers.program == kMissing) return FALSE;
      version->dwPlatformId = g_answers.program;
      return TRUE;
    };
  }
};

TEST_F(Family, WhatWindowsCanDoDecides) {
  struct Case {
    const char* name;
    Answers answers;
    WindowsFamily family;
    std::vector<std::string> asked;
  } cases[] = {
      {"NT family", {nullptr, kNt}, kFamilyNt, {}},
      // "Run this program in compatibility mode for Windows 95/98", and Wine's "win98".
      {"compatibility layer reporting the 9x family", {nullptr, k9x}, kFamilyNt, {}},
      {"9x family", {"", k9x}, kFamily9x, {"program 156"}},
      {"one of the calls missing", {"NtQueryDirectoryFile", k9x}, kFamily9x, {"program 156"}},
      {"no calls, yet the NT platform reported", {"", kNt}, kFamilyUnknown, {"program 156"}},
      {"Win32s", {"", VER_PLATFORM_WIN32s}, kFamilyUnknown, {"program 156"}},
      {"nothing answers", {"", kMissing}, kFamilyUnknown, {"program 156", "program 148"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Calls().clear();
    g_answers = c.answers;
    EXPECT_EQ(c.family, GetWindowsFamily());
    EXPECT_EQ(c.family == kFamilyNt, SysHasHandleCalls() != 0);
    EXPECT_EQ(c.asked, Calls());
  }
}

// Wine's real answer, with no stand-in.
TEST(FamilyUnderWine, IsTheNtFamily) {
  EXPECT_TRUE(SysHasHandleCalls());
  EXPECT_EQ(kFamilyNt, GetWindowsFamily());
}

}  // namespace
